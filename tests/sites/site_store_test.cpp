#include "sites/site_store.h"

#include "support/files.h"

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>

namespace quillmar {
namespace {


const QString kGap(100, u' ');

// Who may do what: owner, group and others (the current user's bits left out).
QFileDevice::Permissions Access(const QString& path)
{
    return QFile::permissions(path) & QFileDevice::Permissions(0x7077);
}
const QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

TEST(BuildSiteEntry, AddressLosesOnlyAnFtpPrefix)
{
    const std::pair<const char*, const char*> cases[] = {
        {"ftp://host", "host"},     {"FtP://host", "host"},         {"ftp://", ""},
        {"host", "host"},           {"http://host", "http://host"}, {"ftp:/host", "ftp:/host"},
        {" ftp://host", " ftp://host"}, {"ftp://host/", "host/"},   {"   ", "   "},
    };
    for (const auto& [address, stored] : cases) {
        SCOPED_TRACE(address);
        EXPECT_EQ(BuildSiteEntry("Shop", address, "me", "pw"), "Shop" + kGap + ";" + stored + ";me;pw");
    }
    EXPECT_FALSE(BuildSiteEntry("Shop", "", "me", "pw").has_value());
}

// A ";" or a line break in any field would cut the entry on the next read:
// the rule names the field; a password kept elsewhere may hold anything.
TEST(SiteFieldProblem, NamesTheFieldTheStoreCannotHold)
{
    struct Case {
        SiteFields site;
        PasswordKept password;
        const char* field;  // "" = storable
    };
    const Case cases[] = {
        {{"Shop", "shop.example", "ann", "p w!"}, PasswordKept::InStore, ""},
        {{"Home;Work", "h", "a", "p"}, PasswordKept::InStore, "Description"},
        {{"Shop", "h;2121", "a", "p"}, PasswordKept::InStore, "Server Address"},
        {{"Shop", "h", "a;b", "p"}, PasswordKept::InStore, "Login"},
        {{"Shop", "h", "a", "p;q"}, PasswordKept::InStore, "Password"},
        {{"Shop", "h", "a", "p;q"}, PasswordKept::Elsewhere, ""},
        {{"Shop", "h", "a", "p\nq"}, PasswordKept::Elsewhere, ""},
        {{"Two\nlines", "h", "a", "p"}, PasswordKept::Elsewhere, "Description"},
        {{"Shop", "h\r", "a", "p"}, PasswordKept::InStore, "Server Address"},
        {{"Shop", "h", "a\r\n", "p"}, PasswordKept::InStore, "Login"},
        {{"Shop", "h", "a", "p\r"}, PasswordKept::InStore, "Password"},
        {{"Shop", "h", "a", "p", "https://x.example/;y", "/www"}, PasswordKept::InStore, "Web address"},
        {{"Shop", "h", "a", "p", "https://x.example/", "/a\nb"}, PasswordKept::InStore, "Server folder"},
    };
    for (const Case& c : cases) {
        const QString problem = SiteFieldProblem(c.site, c.password);
        SCOPED_TRACE(problem.toStdString());
        if (*c.field == 0) {
            EXPECT_TRUE(problem.isEmpty());
            // What may be stored reads back the same.
            const QString entry = BuildSiteEntry(c.site).value();
            const SiteFields back = SplitSiteEntry(entry).value();
            EXPECT_EQ(QStringList({back.description, back.address, back.login}),
                      QStringList({c.site.description, c.site.address, c.site.login}));
        } else {
            EXPECT_TRUE(problem.startsWith(QStringLiteral("The %1 cannot be saved").arg(c.field)));
        }
    }
}

TEST(SplitSiteEntry, FourTrimmedPartsOrNothing)
{
    const std::pair<QString, QStringList> cases[] = {
        {"Shop" + kGap + ";host;me;p w ", {"Shop", "host", "me", "p w"}},
        {"Shop" + kGap + ";   ;me;pw", {"Shop", "", "me", "pw"}},
        {"a;b" + kGap + ";host;me;pw", {"a", "b", "host", "me", "pw", ""}},  // everything moves one field on
        {"\tTab ;host; me;pw; https://127.0.0.3/ ;/public_html;more", {"\tTab", "host", "me", "pw", "https://127.0.0.3/", "/public_html"}},
        {"Shop;host;me;pw;https://127.0.0.3/", {"Shop", "host", "me", "pw", "https://127.0.0.3/", ""}},
        {";;;", {"", "", "", ""}}, {"", {}}, {"Shop", {}}, {"a;b;c", {}},
    };
    for (const auto& [entry, parts] : cases) {
        SCOPED_TRACE(entry.toStdString());
        const std::optional<SiteFields> f = SplitSiteEntry(entry);
        QStringList split = f ? QStringList{f->description, f->address, f->login, f->password} : QStringList();
        if (f && !(f->webAddress.isEmpty() && f->webFolder.isEmpty()))
            split << f->webAddress << f->webFolder;
        EXPECT_EQ(split, parts);
    }
}

// A site typed as one text (--add-site): four fields or six, and an address
// a connection can use; a ";" in a password would shift the fields after it.
TEST(SiteFromText, FourOrSixFieldsWithAUsableAddress)
{
    const std::pair<QString, QString> cases[] = {   // text, what the refusal names; empty: taken
        {"Shop;127.0.0.1;ann;pw 1", ""},
        {"Shop;sftp://127.0.0.1:2222;ann;;https://127.0.0.1/;/www", ""},
        {"Shop;127.0.0.1;ann;pa;ss", "5 fields"},
        {"Shop;127.0.0.1;ann;p;a;s;s", "7 fields"},
        {"Shop;127.0.0.1;ann", "3 fields"},
        {"Shop;;ann;pw", "address"},
        {"Shop;ann@127.0.0.1;ann;pw", "@"},
    };
    for (const auto& [text, named] : cases) {
        SCOPED_TRACE(text.toStdString());
        QString problem;
        const std::optional<SiteFields> site = SiteFromText(text, &problem);
        EXPECT_EQ(site.has_value(), named.isEmpty()) << problem.toStdString();
        EXPECT_TRUE(problem.contains(named)) << problem.toStdString();
        if (site)
            EXPECT_EQ(site->address, text.section(u';', 1, 1));
    }
}

TEST(LoadSiteList, LinesEndAtCrLfCrOrLf)
{
    const std::pair<QByteArray, QStringList> cases[] = {
        {"", {}},          {"a\r\nb\r\n", {"a", "b"}}, {"a\r\n\r\nb", {"a", "", "b"}},
        {"\r\n", {""}},    {"a\n\r", {"a", ""}},       {"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
    };
    for (const auto& [bytes, lines] : cases) {
        SCOPED_TRACE(bytes.toStdString());
        QTemporaryDir folder;
        WriteFile(folder.filePath("sites.snd"), bytes);
        EXPECT_EQ(LoadSiteList(folder.path()), lines);
    }
    QTemporaryDir empty;
    EXPECT_TRUE(LoadSiteList(empty.path()).isEmpty()) << "no store, no sites";
}

TEST(SaveSiteList, CrLfLinesWithoutEmptyEntriesForTheOwnerOnly)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("sites.snd");
    WriteFile(path, "old\r\n");
    QFile::setPermissions(path, kOwnerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    const QString entry = *BuildSiteEntry("Shop", "host", "me", "p\u00e4ss \u20ac%'\"|\\/*");
    ASSERT_TRUE(SaveSiteList(folder.path(), {entry, "", "tw\u00f6"}));
    EXPECT_EQ(ReadFile(path), (entry + "\r\ntw\u00f6\r\n").toUtf8());
    EXPECT_EQ(Access(path), kOwnerOnly) << "even over a readable store";
    EXPECT_EQ(LoadSiteList(folder.path()), (QStringList{entry, "tw\u00f6"}));

    // An empty list leaves a zero-length store, still private.
    ASSERT_TRUE(SaveSiteList(folder.path(), {""}));
    EXPECT_EQ(ReadFile(path), QByteArray());
    EXPECT_EQ(Access(path), kOwnerOnly);
}

TEST(SiteStore, LinesThatAreNotUtf8KeepTheirBytesUntilEdited)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("sites.snd");
    // A store made on a single-byte system: the password "p\xe4ssw\xf6rd"
    // and a euro sign (0x80) in Windows-1252, beside an ordinary UTF-8 line.
    const QByteArray shop = "Shop" + QByteArray(100, ' ') + ";host;me;p\xe4ssw\xf6rd";
    const QByteArray euro = "Euro\x80" + QByteArray(100, ' ') + ";h2;u;x\x81y";
    const QByteArray utf8 = "Caf\xc3\xa9" + QByteArray(100, ' ') + ";h3;u;p";
    const QByteArray stored = shop + "\r\n" + euro + "\r\n" + utf8 + "\r\n";
    WriteFile(path, stored);

    const QStringList entries = LoadSiteList(folder.path());
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(SplitSiteEntry(entries[0])->password, QString::fromUtf8("p\u00e4ssw\u00f6rd"));
    EXPECT_EQ(SplitSiteEntry(entries[1])->description, QString::fromUtf8("Euro\u20ac"));
    EXPECT_EQ(SplitSiteEntry(entries[2])->description, QString::fromUtf8("Caf\u00e9"));

    // Saved unchanged, every byte stays; an edited entry is written as UTF-8.
    ASSERT_TRUE(SaveSiteList(folder.path(), entries));
    EXPECT_EQ(ReadFile(path), stored);
    QStringList edited = entries;
    edited[0] = *BuildSiteEntry("Shop", "host", "me", QString::fromUtf8("p\u00e4ssw\u00f6rd2"));
    ASSERT_TRUE(SaveSiteList(folder.path(), edited));
    EXPECT_EQ(ReadFile(path), edited[0].toUtf8() + "\r\n" + euro + "\r\n" + utf8 + "\r\n");
    EXPECT_EQ(LoadSiteList(folder.path()), edited);
}

TEST(AddSiteEntry, AddedOnceAfterALastLineWithoutItsEnd)
{
    QTemporaryDir folder;
    WriteFile(folder.filePath("sites.snd"), "Mine;mine.test;me;pw");
    const QString demo = *BuildSiteEntry("Demo", "127.0.0.1:2121", "demo", "demo");
    ASSERT_TRUE(AddSiteEntry(folder.path(), demo));
    ASSERT_TRUE(AddSiteEntry(folder.path(), demo));
    EXPECT_EQ(ReadFile(folder.filePath("sites.snd")), ("Mine;mine.test;me;pw\r\n" + demo + "\r\n").toUtf8());
    EXPECT_EQ(Access(folder.filePath("sites.snd")), kOwnerOnly);
}

// Saves with the process's file size limit held low, like a full disk.
bool SaveOnAFullDisk(const QString& appFolder, const QStringList& entries, QString* error)
{
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit low = saved;
    low.rlim_cur = std::min<rlim_t>(4096, saved.rlim_max);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &low);
    const bool done = SaveSiteList(appFolder, entries, error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    return done;
}

TEST(SaveSiteList, AFailedWriteIsReportedAndLeavesTheOldStore)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("sites.snd");
    WriteFile(path, "old\r\n");
    QString error;
    EXPECT_FALSE(SaveOnAFullDisk(folder.path(), QStringList(200, QString(200, u'x')), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadFile(path), QByteArray("old\r\n"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"sites.snd"});
    error.clear();
    EXPECT_FALSE(SaveSiteList(folder.filePath("missing"), {"new"}, &error));
    EXPECT_FALSE(error.isEmpty()) << "no such folder";
}

}  // namespace
}  // namespace quillmar
