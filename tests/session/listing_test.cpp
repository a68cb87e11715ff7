#include "pictures/picture_rules.h"
#include "session/listing.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <limits>

namespace quillmar {
namespace {

constexpr qint64 kMax = std::numeric_limits<qint64>::max();

// A long-format file line with the given size field and name part.
QString FileLine(const QString& size, const QString& name = QStringLiteral("a.jpg"))
{
    return QStringLiteral("-rw-r--r--   1 owner group ") + size + QStringLiteral(" Jan  5 12:00 ") + name;
}

TEST(ParseListLine, SummaryLineIsDroppedInAnyCase)
{
    for (const char* line : {"total 48", "TOTAL 48", "Total 0", "toTAL"}) {
        SCOPED_TRACE(line);
        EXPECT_FALSE(ParseListLine(QString::fromLatin1(line)).has_value());
    }
    // Short lines and the word elsewhere are ordinary lines.
    for (const QString& line : {QStringLiteral("tota"), QStringLiteral(" total 48"), FileLine("1", "total")}) {
        SCOPED_TRACE(line.toStdString());
        EXPECT_TRUE(ParseListLine(line).has_value());
    }
}

TEST(ParseListLine, RowsFromLines)
{
    struct Case {
        QString line;
        QString text;
        bool folder;
        QString sizeText;
        qint64 bytes;
    };
    const Case cases[] = {
        {"drwxr-xr-x   2 owner group 4096 Jan  5 12:00 images", "images/", true, "", 0},
        {FileLine("999", "a b.jpg"), "a b.jpg", false, "999 bytes", 999},
        {FileLine("512", "  x.gif  "), "x.gif", false, "512 bytes", 512},
        {FileLine("7", "two  blanks   inside"), "two  blanks   inside", false, "7 bytes", 7},
        {"Drwxr-xr-x 2 owner group 4096 Jan 5 12:00 upper", "upper", false, "4.1 KB", 4096},
        {"lrwxrwxrwx 1 owner group 7 Jan 5 12:00 link -> target", "link -> target", false, "7 bytes", 7},
        // Fewer than eight runs of blanks: no name.
        {"drwxr-xr-x 2 owner group 4096 Jan", "/", true, "", 0},
        {"-rw-r--r-- 1 owner group 512 Jan", "", false, "512 bytes", 512},
        // Fewer than five runs: no size either.
        {"-rw-r--r-- 1 owner group", "", false, " bytes", 0},
        {"", "", false, " bytes", 0},
        // Leading blanks are the first run, so the fields shift by one.
        {"  1 owner group 512 Jan 5 12:00 n", "n", false, "512 bytes", 512},
        // A tab is not a blank: the fields shift the other way.
        {"-rw-r--r--\t1 owner group 512 Jan 5 12:00 n", "", false, "Jan bytes", 0},
        // Only CR LF together is a line end; a lone one is part of the name.
        {FileLine("10", "n\r\n"), "n", false, "10 bytes", 10},
        {FileLine("10", "n\n"), "n\n", false, "10 bytes", 10},
        {FileLine("10", "n\r"), "n\r", false, "10 bytes", 10},
        // Size fields that are not numbers: the leading number counts.
        {FileLine("abc"), "a.jpg", false, "abc bytes", 0},
        {FileLine("12abc"), "a.jpg", false, "12abc bytes", 12},
        {FileLine("1500x"), "a.jpg", false, "1.5 KB", 1500},
        {FileLine("-5"), "a.jpg", false, "-5 bytes", 0},
        // Sizes beyond 32 bits keep their true figures.
        {FileLine("5000000000"), "a.jpg", false, "5000 MB", 5000000000},
        {FileLine("32767500000"), "a.jpg", false, "32767.5 MB", 32767500000},
        {FileLine("99999999999999999999999"), "a.jpg", false, "9223372036854.78 MB", kMax},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        const std::optional<ListRow> row = ParseListLine(c.line);
        ASSERT_TRUE(row.has_value());
        EXPECT_EQ(row->text, c.text);
        EXPECT_EQ(row->folder, c.folder);
        EXPECT_EQ(row->sizeText, c.sizeText);
        EXPECT_EQ(row->bytes, c.bytes);
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

TEST(TotalsText, BytesKilobytesMegabytes)
{
    const std::tuple<qint64, qint64, const char*> cases[] = {
        {0, 0, "Total: 0 files 0 bytes"},
        {1, 999, "Total: 1 files 999 bytes"},
        {3, 512, "Total: 3 files 512 bytes"},
        {1, 1000, "Total: 1 files 1 KB"},
        {2, 1250, "Total: 2 files 1.2 KB"},
        {2, 1350, "Total: 2 files 1.4 KB"},
        {12, 45300, "Total: 12 files 45.3 KB"},
        {12, 45000, "Total: 12 files 45 KB"},
        {9, 999950, "Total: 9 files 1000 KB"},
        {9, 1000000, "Total: 9 files 1 MB"},
        {40, 12350000, "Total: 40 files 12.35 MB"},
        {40, 12345000, "Total: 40 files 12.34 MB"},
        {40, 12355000, "Total: 40 files 12.36 MB"},
        {40, 12300000, "Total: 40 files 12.3 MB"},
        {40, 1050000, "Total: 40 files 1.05 MB"},
        {40000, 5000000000, "Total: 40000 files 5000 MB"},
        {kMax, kMax, "Total: 9223372036854775807 files 9223372036854.78 MB"},
    };
    for (const auto& [files, bytes, expected] : cases) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(TotalsText(files, bytes, QLocale::c()), QString::fromLatin1(expected));
    }
}

TEST(TotalsText, LocaleDecimalSeparatorWithoutGrouping)
{
    const QLocale german(QLocale::German);
    EXPECT_EQ(TotalsText(2, 1250, german), QStringLiteral("Total: 2 files 1,2 KB"));
    EXPECT_EQ(TotalsText(40000, 1234567890000, german), QStringLiteral("Total: 40000 files 1234567,89 MB"));
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
