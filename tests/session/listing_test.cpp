#include "pictures/picture_rules.h"
#include "session/listing.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>

namespace quillmar {
namespace {

constexpr qint64 kMax = std::numeric_limits<qint64>::max();

// A long-format file line with the given size field and name part.
QString FileLine(const QString& size, const QString& name = QStringLiteral("a.jpg"))
{
    return QStringLiteral("-rw-r--r--   1 owner group ") + size + QStringLiteral(" Jan  5 12:00 ") + name;
}

TEST(ParseListLine, SummaryEntriesGiveNoRowAndAreNotLeftOut)
{
    // The summary line in any case, blank lines, and the folder's own and
    // parent entries in every format.
    for (const char* line : {"total 48", "TOTAL 48", "Total 0", "toTAL", "", "   ", "\r\n",
                             "drwxr-xr-x    4 999      0            4096 Dec 07 00:39 .",
                             "drwxrwxrwt   16 0        0            4096 Dec 07 00:39 ..",
                             "type=cdir;sizd=4096;modify=20261207003900;UNIX.mode=0755; .",
                             "modify=20261207003900;perm=flcdmpe;type=pdir;unique=FE00UA72452; ..",
                             "12-06-26  10:15AM       <DIR>          .."}) {
        SCOPED_TRACE(line);
        bool unread = true;
        EXPECT_FALSE(ReadListLine(QString::fromUtf8(line), &unread).has_value());
        EXPECT_FALSE(unread);
    }
    EXPECT_TRUE(ParseListLine(FileLine("1", "total")).has_value());
}

TEST(ParseListLine, LinesNoFormatReadsAreLeftOut)
{
    for (const QString& line : {
             QStringLiteral("tota"), QStringLiteral(" total 48"),
             // Too few fields, no date, no name.
             QStringLiteral("drwxr-xr-x 2 owner group 4096 Jan"), QStringLiteral("-rw-r--r-- 1 owner group"),
             QStringLiteral("-rw-r--r-- 1 owner group 512 Jan 5 12:00"),
             QStringLiteral("-rw-r--r-- 1 owner group 512 Jan 5 12:00 "),
             // Leading blanks, a tab, or a size that is not a number.
             QStringLiteral("  1 owner group 512 Jan 5 12:00 n"), QStringLiteral("-rw-r--r--\t1 owner group 512 Jan 5 12:00 n"),
             FileLine("abc"), FileLine("12abc"), FileLine("-5"),
             QStringLiteral("-rw-r--r-- 1 owner group 512 Jan 55 12:00 n"), QStringLiteral("-rw-r--r-- 1 owner group 512 Jan 5 12:0 n"),
             QStringLiteral("-rwxrwxrwz 1 owner group 512 Jan 5 12:00 n"),
             QStringLiteral("12-06-26  10:15XM  <DIR>  images"), QStringLiteral("12-06-26  10:15AM  12k  a.jpg"),
             QStringLiteral("12-06-26  10:15AM  <DIR>"), QStringLiteral("type=file;size=x; a"),
             QStringLiteral("type=file;size=1;"), QStringLiteral("facts without equals; a"),
             QStringLiteral("550 No files found"),
             // Ambiguous: a name with blanks and no date, a date cut short,
             // a month no language has, EPLF without a kind or with two, an
             // AS/400 member, sizes grouped wrongly.
             QStringLiteral("-rw-r--r-- 1 owner group 512 no date.jpg"),
             QStringLiteral("-rw-r--r-- 1 owner group 512 Fooday 5 12:00 n"),
             QStringLiteral("+i8388621.48594,m825718503,up755\tnokind"), QStringLiteral("+i1,/,r,s5\tboth"),
             QStringLiteral("+i1,r,s5k\tbadsize"), QStringLiteral("+i1,r,s5 no tab"),
             QStringLiteral("QPGMR             0 08/05/03 10:05:49 *MEM       PICS.FILE/A.MBR"),
             QStringLiteral("QSYS          77824 02/23/00 15:09:55 *FILE      QSYS.LIB"),
             QStringLiteral("12-06-26  10:15AM      0,123 a.jpg"), QStringLiteral("12-06-26  10:15AM      12,34 a.jpg"),
             QStringLiteral("12-06-26  10:15AM      1,234.567 a.jpg"),
             // Names no command can use.
             FileLine("5", "../../x.jpg"), FileLine("5", "photo.jpg/"), FileLine("5", "a\rb"), FileLine("5", "n\r"),
             FileLine("5", QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b"))),
             QStringLiteral("type=file;size=5; ../../x.jpg"), QStringLiteral("type=file;size=5; photo.jpg/"),
             QStringLiteral("type=dir; a/b/"), QStringLiteral("type=file;size=5; a\rb"),
             QString(QStringLiteral("type=file;size=5; ") + QChar(0) + QStringLiteral("x")),
             QStringLiteral("12-06-26  10:15AM  12  ../x.jpg")}) {
        SCOPED_TRACE(line.toStdString());
        bool unread = false;
        EXPECT_FALSE(ReadListLine(line, &unread).has_value());
        EXPECT_TRUE(unread);
    }
}

TEST(ParseListLine, RowsFromEachFormat)
{
    struct Case { QString line; QString text; bool folder; QString sizeText; qint64 bytes; bool link = false; };
    const Case cases[] = {
        // Unix lines as vsftpd and proftpd send them: exactly one blank
        // before the name, so blanks that open or end it are kept (the
        // interoperability tests read every line of each real server).
        {"-rw-r--r--    1 999      0              10 Dec 07 00:39  leading.txt", " leading.txt", false, "10 bytes", 10},
        {"-rw-r--r--   1 quillinterop root           10 Dec  7 00:39 trailing.txt ", "trailing.txt ", false, "10 bytes", 10},
        {"drwxr-xr-x    2 999      0            4096 Dec 07 00:39 dir with blank", "dir with blank/", true, "", 0},
        {"-rw-r--r--   1 quillinterop root            0 Jan  5  2019  old.txt", " old.txt", false, "0 bytes", 0},
        {"-rw-r--r--    1 999      0              10 Dec 07 00:39 n\r\n", "n", false, "10 bytes", 10},
        // Links are named by the text before the arrow.
        {"lrwxrwxrwx    1 999      0               7 Dec 07 00:39 linkdir -> realdir", "linkdir", false, "7 bytes", 7, true},
        {"lrwxrwxrwx 1 o g 5 Jan 5 12:00 a -> b -> c", "a", false, "5 bytes", 5, true},
        // Other Unix shapes: an irregular year column, no group, glued
        // owner and group, numbers, ACL marks, devices, upper-case D.
        {"-rw-r--r-- 1 owner group 999 Jan 5 2019 a b.jpg", "a b.jpg", false, "999 bytes", 999},
        {"-rw-r--r-- 1 owner group 007 Jan 5 2019 z.jpg", "z.jpg", false, "007 bytes", 7},
        {"-rw-r--r-- 1 owner group 999 Jan 5 2019   x.gif", "x.gif", false, "999 bytes", 999},
        {"-rw-r--r--   1 owner    1500 Jan  5 12:00 nogroup.jpg", "nogroup.jpg", false, "1.5 KB", 1500},
        {"-rw-r--r--   1 averylongownernamegroup 512 Mar  5 12:00 glued", "glued", false, "512 bytes", 512},
        {"drwxr-xr-x+  3 1002 1002 4096 Feb 29 23:59 acl", "acl/", true, "", 0},
        {"-rw-r--r--@  1 me  staff  2500 Oct 10  2020 mac.jpg", "mac.jpg", false, "2.5 KB", 2500},
        {"-rw-r--r--.  1 root root  3500000 Nov  1 09:05 selinux.jpg", "selinux.jpg", false, "3.5 MB", 3500000},
        {"crw-rw-rw-   1 root tty     5,   0 Dec  6 12:00 tty0", "tty0", false, "0 bytes", 0},
        {"brw-rw----   1 root disk    8,0 Dec  6 12:00 sda", "sda", false, "0 bytes", 0},
        {"Drwxr-xr-x 2 owner group 4096 Jan  5 12:00 upper", "upper", false, "4.1 KB", 4096},
        // A group named like a month does not fool the date search.
        {"-rw-r--r-- 1 owner jan 12 May  5 12:00 m.jpg", "m.jpg", false, "12 bytes", 12},
        {"-rw-r--r-- 1 owner group 5000000000 Jan  5 12:00 big", "big", false, "5000 MB", 5000000000},
        {"-rw-r--r-- 1 owner group 99999999999999999999999 Jan  5 12:00 huge", "huge", false, "9223372036854.78 MB", kMax},
        // Windows (IIS) lines: two- and four-digit years, 12- and 24-hour
        // times; blanks inside the name are kept.
        {"12-06-26  10:15AM       <DIR>          images", "images/", true, "", 0},
        {"12-06-26  10:15PM                12345 my photo  1.jpg", "my photo  1.jpg", false, "12.3 KB", 12345},
        {"12-06-2026  22:15       <DIR>          Old Pictures", "Old Pictures/", true, "", 0},
        {"01-31-2026  09:00                  999 a.gif\r\n", "a.gif", false, "999 bytes", 999},
        // Machine listing lines: the name is all after the blank that ends
        // the facts, exactly as sent.
        {"type=file;size=10;modify=20261207003900;UNIX.mode=0644;unique=fe00ga724b2;  leading.txt", " leading.txt", false, "10 bytes", 10},
        {"modify=20261207003900;perm=adfrw;size=10;type=file;unique=FE00UA724E2; trailing.txt ", "trailing.txt ", false, "10 bytes", 10},
        {"type=dir;sizd=4096;modify=20261207003900;UNIX.mode=0755; dir with blank", "dir with blank/", true, "", 0},
        {"Type=DIR;Modify=20261207003900; caps", "caps/", true, "", 0},
        {"type=OS.unix=slink:;size=7;modify=20261207003900; linkdir", "linkdir", false, "7 bytes", 7, true},
        {"modify=20261207003900;perm=adfrw;size=8;type=OS.unix=symlink;unique=FE00UA72462; linkfile", "linkfile", false, "8 bytes", 8, true},
        {"type=unknown;size=0;modify=20261207003949; tty0", "tty0", false, "0 bytes", 0},
        // As the machine listing's own definition shows them.
        {"Type=file;Size=25730;Modify=19940728095854;Perm=; capmux.tar.z", "capmux.tar.z", false, "25.7 KB", 25730},
        {"Type=dir;Modify=19990112030508;Perm=flcdmpe; incoming", "incoming/", true, "", 0},
        {"type=file;size=1; a; b=c; d", "a; b=c; d", false, "1 bytes", 1},
        // Lines collected from servers set up for other languages and systems.
        // Month names in other languages, the day before the month, numbers
        // for months, East Asian dates and ISO dates.
        {"-rw-r--r--   1 ftp      ftp          1234 M\u00e4r  3 12:00 Preise.jpg", "Preise.jpg", false, "1.2 KB", 1234},
        {"drwxr-xr-x   2 ftp      ftp          4096 Okt 19  2005 Ordner", "Ordner/", true, "", 0},
        {"-rw-r--r--   1 ftp      ftp           512 19. Sep 14:00 datei.txt", "datei.txt", false, "512 bytes", 512},
        {"-rw-r--r--   1 ftp      ftp           700 26. Juli, 2005 bild 1.jpg", "bild 1.jpg", false, "700 bytes", 700},
        {"-rw-r--r--   1 user     group        2048 \u043c\u0430\u0439 12 09:30 \u0444\u043e\u0442\u043e.jpg",
         "\u0444\u043e\u0442\u043e.jpg", false, "2 KB", 2048},
        {"-rw-r--r--   1 user     group         512  3\u6708 29\u65e5 03:26 \u5199\u771f.jpg", "\u5199\u771f.jpg", false, "512 bytes", 512},
        {"drwxr-xr-x   2 user     group        4096 10\u6708  5\u65e5  2005 album", "album/", true, "", 0},
        {"-rw-r--r--   1 user     group         100 2005\u5e74 3\u6708 29\u65e5 old.jpg", "old.jpg", false, "100 bytes", 100},
        {"-rw-r--r--   1 user     group         999  3\uc6d4 29\uc77c 03:26 \uc0ac\uc9c4.jpg", "\uc0ac\uc9c4.jpg", false, "999 bytes", 999},
        {"-rw-r--r--   1 user     group        1500 3 29 03:26 shot.jpg", "shot.jpg", false, "1.5 KB", 1500},
        {"-rw-r--r--   1 user     group        1500 2005-06-07 21:22 iso.jpg", "iso.jpg", false, "1.5 KB", 1500},
        {"-rw-r--r-- 1 user group 1500 2005-06-07 21:22:33.000000000 +0200 full time.jpg", "full time.jpg", false, "1.5 KB", 1500},
        // No date, a group with blanks, seven-letter permissions, a blank
        // before the type, the "/" some servers add to folders.
        {"-rw-r--r--   1 user     group        1500 nodate.jpg", "nodate.jpg", false, "1.5 KB", 1500},
        {"-rw-r--r--   1 ftp      Domain Users    5890 Aug 29  2013 domain.txt", "domain.txt", false, "5.9 KB", 5890},
        {"-rw-r--r--   1 ftp      Web Site Admin Group  77 Aug 29  2013 admins.txt", "admins.txt", false, "77 bytes", 77},
        {"drwxrwx   1 owner    group           0 Jan  5 12:00 short", "short/", true, "", 0},
        {"-rwxrwx   1 owner    group          10 Jan  5 12:00 s.jpg", "s.jpg", false, "10 bytes", 10},
        {" -rw-r--r--   1 owner group         600 Jan  5 12:00 lead.jpg", "lead.jpg", false, "600 bytes", 600},
        {"drwxr-xr-x   2 owner group        4096 Jan  5 12:00 slashed/", "slashed/", true, "", 0},
        // Windows lines with four-digit years and grouped sizes.
        {"04/27/2000  09:09PM       <DIR>          Bilder", "Bilder/", true, "", 0},
        {"2000-04-27  21:09             9,730 preis liste.jpg", "preis liste.jpg", false, "9.7 KB", 9730},
        {"06-12-2026  10:15 AM      1.234.567 big.jpg", "big.jpg", false, "1.23 MB", 1234567},
        // NetWare, EPLF, VxWorks, AS/400.
        {"d [R----F--] supervisor            512       Jan 16 18:53    login", "login/", true, "", 0},
        {"- [R----F--] rhesus             214059       Oct 20 15:27    cx.exe", "cx.exe", false, "214.1 KB", 214059},
        {"+i8388621.48594,m825718503,r,s280,up755\tpicture.jpg", "picture.jpg", false, "280 bytes", 280},
        {"+i8388621.50690,m824255907,/,\t514", "514/", true, "", 0},
        {"0 DIR 05-12-97 16:52 photos", "photos/", true, "", 0},
        {"      4096 05-12-97 16:52 a b.jpg", "a b.jpg", false, "4.1 KB", 4096},
        {"QSYS            77824 02/23/00 15:09:55 *DIR       QSYS.LIB/", "QSYS.LIB/", true, "", 0},
        {"QPGMR            9216 08/05/03 10:05:49 *STMF      price list.jpg", "price list.jpg", false, "9.2 KB", 9216},
        // Machine listings: a tab before the name; no size fact, no size text.
        {"type=file;size=2500;modify=20261207003900;\ttabbed.jpg", "tabbed.jpg", false, "2.5 KB", 2500},
        {"type=file;modify=20261207003900; nosize.jpg", "nosize.jpg", false, "", 0},
    };
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        bool unread = true;
        const std::optional<ListRow> row = ReadListLine(c.line, &unread);
        ASSERT_TRUE(row.has_value());
        EXPECT_FALSE(unread);
        EXPECT_EQ(row->text, c.text);
        EXPECT_EQ(row->folder, c.folder);
        EXPECT_EQ(row->size.text(), c.sizeText);
        EXPECT_EQ(row->bytes, c.bytes);
        EXPECT_EQ(row->link, c.link);
    }
    QLocale::setDefault(saved);
}

// The printed list's date column: each format's date as its server gave it.
TEST(ParseListLine, DateTextFromEachFormat)
{
    const std::pair<QString, QString> cases[] = {
        {"-rw-r--r--    1 999      0              10 Dec 07 00:39  leading.txt", "Dec 07 00:39"},
        {"-rw-r--r-- 1 owner group 999 Jan 5 2019 a b.jpg", "Jan 5 2019"},
        {"-rw-r--r-- 1 owner group 999 Jan  5  2019 padded.jpg", "Jan 5 2019"},
        {"drwxr-xr-x+  3 1002 1002 4096 Feb 29 23:59 acl", "Feb 29 23:59"},
        {"12-06-26  10:15PM                12345 my photo  1.jpg", "12-06-26 10:15PM"},
        {"12-06-2026  22:15       <DIR>          Old Pictures", "12-06-2026 22:15"},
        {"type=file;size=10;modify=20261207003900.123;UNIX.mode=0644; a.txt", "2026-12-07 00:39 UTC"},
        {"type=file;size=10;modify=2026; odd.txt", "2026"},
        {"type=file;size=10; undated.txt", ""},
    };
    for (const auto& [line, date] : cases) {
        SCOPED_TRACE(line.toStdString());
        const std::optional<ListRow> row = ParseListLine(line);
        ASSERT_TRUE(row.has_value());
        EXPECT_EQ(row->dateText, date);
    }
}

// A row's texts are made in one allocation; each must still behave as a
// string of its own: grown while the other lives, or alone after it is gone,
// without touching the other, and ending in a NUL like any QString.
TEST(ParseListLine, EachTextOfARowStandsAlone)
{
    const QString line = FileLine(QStringLiteral("4096"), QStringLiteral("b.jpg"));
    const QString expected[] = {QStringLiteral("b.jpg"), QStringLiteral("Jan 5 12:00")};
    const auto textsOf = [](ListRow& row) { return std::array<QString*, 2>{&row.text, &row.dateText}; };
    for (int grown = 0; grown < 2; ++grown) {
        SCOPED_TRACE(grown);
        std::optional<ListRow> row = ParseListLine(line);
        ASSERT_TRUE(row.has_value());
        std::array<QString*, 2> texts = textsOf(*row);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(*texts[i], expected[i]);
            EXPECT_EQ(texts[i]->utf16()[texts[i]->size()], u'\0');
        }
        texts[grown]->append(QStringLiteral("+more"));
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(*texts[i], i == grown ? expected[i] + QStringLiteral("+more") : expected[i]);

        row = ParseListLine(line);
        texts = textsOf(*row);
        texts[1 - grown]->clear();
        texts[grown]->append(u'!');
        texts[grown]->prepend(u'<');
        EXPECT_EQ(*texts[grown], u'<' + expected[grown] + u'!');
        EXPECT_EQ(texts[grown]->utf16()[texts[grown]->size()], u'\0');
    }
}

// One rule for the list's "Size" column, the totals panel and the picture
// facts: the same bytes read the same everywhere.
TEST(SizeRule, ColumnTotalsAndPictureFactsAgree)
{
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    const std::pair<qint64, const char*> cases[] = {
        {0, "0 bytes"},        {999, "999 bytes"},        {1000, "1 KB"},          {1499, "1.5 KB"},
        {1450, "1.4 KB"},      {2500, "2.5 KB"},          {4096, "4.1 KB"},        {999949, "999.9 KB"},
        {999950, "1000 KB"},   {1000000, "1 MB"},         {2500000, "2.5 MB"},     {1050000, "1.05 MB"},
        {12345000, "12.34 MB"}, {12355000, "12.36 MB"},   {3221225472, "3221.23 MB"},
    };
    for (const auto& [bytes, expected] : cases) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(RowSizeText(QString::number(bytes)), QString::fromLatin1(expected));
        EXPECT_EQ(TotalsText(1, bytes, QLocale::c()), QStringLiteral("Total: 1 files ") + QLatin1String(expected));
        EXPECT_EQ(SizeText(bytes), QString::fromLatin1(expected));
    }
    EXPECT_EQ(SizeText(-1), QStringLiteral("0 bytes"));
    // Below 1000 the column shows the field as it came.
    EXPECT_EQ(RowSizeText(QStringLiteral("007")), QStringLiteral("007 bytes"));
    EXPECT_EQ(RowSizeText(QString()), QStringLiteral(" bytes"));
    // The default locale's separator, also in the column.
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(RowSizeText(QStringLiteral("1250")), QStringLiteral("1,2 KB"));
    QLocale::setDefault(saved);
}

// Size steps and rounding are the size rule's (above); here the file count,
// the largest values and the locale's decimal separator without grouping.
TEST(TotalsText, BytesKilobytesMegabytes)
{
    const QLocale c = QLocale::c(), german(QLocale::German);
    const std::tuple<qint64, qint64, QLocale, const char*> cases[] = {
        {0, 0, c, "Total: 0 files 0 bytes"},
        {3, 512, c, "Total: 3 files 512 bytes"},
        {40000, 5000000000, c, "Total: 40000 files 5000 MB"},
        {kMax, kMax, c, "Total: 9223372036854775807 files 9223372036854.78 MB"},
        {2, 1250, german, "Total: 2 files 1,2 KB"},
        {40000, 1234567890000, german, "Total: 40000 files 1234567,89 MB"},
    };
    for (const auto& [files, bytes, locale, expected] : cases) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(TotalsText(files, bytes, locale), QString::fromLatin1(expected));
    }
}

TEST(SizeFromReply, NumberAfterTheCodeOrPrevious)
{
    const std::tuple<const char*, qint64> cases[] = {
        {"213 12345", 12345},
        {"213 1 234 567", 1234567},
        {"213   42  ", 42},
        {"213 42abc", 42},
        {"213 42\r\n", 42},
        {"213 abc", 0},
        {"550 No such file", 0},
        {"213", 0},
        {"2", 0},
        {"213 5000000000", 5000000000},
        {"213 99999999999999999999999", kMax},
        {"213 12.6", 13},
        {"213 12.5", 12},
        {"213 13.5", 14},
        {"213 12.51", 13},
        {"213 12.4", 12},
    };
    for (const auto& [reply, expected] : cases) {
        SCOPED_TRACE(reply);
        EXPECT_EQ(SizeFromReply(QString::fromLatin1(reply), 7), expected);
    }
    // Preliminary, odd or empty replies keep the earlier size.
    for (const char* reply : {"150 Opening 1234", "1", "0 5", ""}) {
        SCOPED_TRACE(reply);
        EXPECT_EQ(SizeFromReply(QString::fromLatin1(reply), 7), 7);
    }
}

TEST(AddToTotal, StopsAtTheLargestValue)
{
    EXPECT_EQ(AddToTotal(10, 5), 15);
    EXPECT_EQ(AddToTotal(kMax - 1, 5), kMax);
    EXPECT_EQ(AddToTotal(kMax, kMax), kMax);
}

}  // namespace
}  // namespace quillmar
