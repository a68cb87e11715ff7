#include "sites/site_store.h"

#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace quillmar {
namespace {

const QString kGap(100, u' ');

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Who may do what: owner, group and others (the current user's bits left out).
QFileDevice::Permissions Access(const QString& path)
{
    return QFile::permissions(path) & QFileDevice::Permissions(0x7077);
}
const QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

TEST(BuildSiteEntry, AddressLosesOnlyAnFtpPrefix)
{
    const std::pair<const char*, const char*> cases[] = {
        {"ftp://host", "host"},         {"FtP://host", "host"},       {"ftp://", ""},
        {"host", "host"},               {"http://host", "http://host"},
        {"ftp:/host", "ftp:/host"},     {" ftp://host", " ftp://host"},
        {"ftp://host/", "host/"},       {"   ", "   "},
    };
    for (const auto& [address, stored] : cases) {
        SCOPED_TRACE(address);
        EXPECT_EQ(BuildSiteEntry("Shop", QString::fromLatin1(address), "me", "pw"),
                  "Shop" + kGap + ";" + QString::fromLatin1(stored) + ";me;pw");
    }
    EXPECT_FALSE(BuildSiteEntry("Shop", "", "me", "pw").has_value());
}

TEST(SplitSiteEntry, FourTrimmedParts)
{
    struct Case {
        QString entry;
        QString description, address, login, password;
    };
    const Case cases[] = {
        {"Shop" + kGap + ";host;me;p w ", "Shop", "host", "me", "p w"},
        {"Shop" + kGap + ";   ;me;pw", "Shop", "", "me", "pw"},
        {"a;b" + kGap + ";host;me;pw", "a", "b", "host", "me"},
        {"\tTab ;host; me;pw;extra;more", "\tTab", "host", "me", "pw"},
        {";;;", "", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry.toStdString());
        const std::optional<SiteFields> fields = SplitSiteEntry(c.entry);
        ASSERT_TRUE(fields.has_value());
        EXPECT_EQ(fields->description, c.description);
        EXPECT_EQ(fields->address, c.address);
        EXPECT_EQ(fields->login, c.login);
        EXPECT_EQ(fields->password, c.password);
    }
    for (const char* entry : {"", "Shop", "a;b;c"}) {
        SCOPED_TRACE(entry);
        EXPECT_FALSE(SplitSiteEntry(QString::fromLatin1(entry)).has_value());
    }
}

TEST(SiteEntry, PasswordWithAnyCharactersSurvivesTheRoundTrip)
{
    const QString password = QStringLiteral("p\u00e4ss \u20ac%'\"|\\/*");
    const std::optional<QString> entry = BuildSiteEntry("Shop", "ftp://host", "me", password);
    ASSERT_TRUE(entry.has_value());
    QTemporaryDir folder;
    ASSERT_TRUE(SaveSiteList(folder.path(), {*entry}));
    const QStringList loaded = LoadSiteList(folder.path());
    ASSERT_EQ(loaded, QStringList{*entry});
    EXPECT_EQ(SplitSiteEntry(loaded[0])->password, password);
}

TEST(LoadSiteList, LinesEndAtCrLfCrOrLf)
{
    const std::pair<QByteArray, QStringList> cases[] = {
        {"", {}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
        {"\r\n", {""}},
        {"a\n\r", {"a", ""}},
    };
    for (const auto& [bytes, lines] : cases) {
        SCOPED_TRACE(bytes.toStdString());
        QTemporaryDir folder;
        WriteBytes(folder.filePath("sites.snd"), bytes);
        EXPECT_EQ(LoadSiteList(folder.path()), lines);
    }
}

TEST(LoadSiteList, NoStoreMeansNoSites)
{
    QTemporaryDir folder;
    EXPECT_TRUE(LoadSiteList(folder.path()).isEmpty());
    EXPECT_TRUE(LoadSiteList(folder.filePath("missing")).isEmpty());
}

TEST(SaveSiteList, WritesCrLfLinesWithoutEmptyEntriesForTheOwnerOnly)
{
    QTemporaryDir folder;
    ASSERT_TRUE(SaveSiteList(folder.path(), {"one", "", "tw\u00f6"}));
    const QString path = folder.filePath("sites.snd");
    EXPECT_EQ(ReadBytes(path), QByteArray("one\r\ntw\xc3\xb6\r\n"));
    EXPECT_EQ(Access(path), kOwnerOnly);

    // An empty list leaves a zero-length store, still private.
    ASSERT_TRUE(SaveSiteList(folder.path(), {""}));
    EXPECT_EQ(ReadBytes(path), QByteArray());
    EXPECT_EQ(Access(path), kOwnerOnly);
}

TEST(SaveSiteList, PrivateEvenOverAReadableStore)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("sites.snd");
    WriteBytes(path, "old\r\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                    | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    ASSERT_TRUE(SaveSiteList(folder.path(), {"new"}));
    EXPECT_EQ(ReadBytes(path), QByteArray("new\r\n"));
    EXPECT_EQ(Access(path), kOwnerOnly);
}

TEST(SaveSiteList, FailureIsReportedForAFolderThatIsNotThere)
{
    QTemporaryDir folder;
    WriteBytes(folder.filePath("plain"), "x");
    for (const QString& appFolder : {folder.filePath("missing"), folder.filePath("plain")}) {
        SCOPED_TRACE(appFolder.toStdString());
        QString error;
        EXPECT_FALSE(SaveSiteList(appFolder, {"one"}, &error));
        EXPECT_FALSE(error.isEmpty());
    }
}

// Holds the process's file size limit low for one scope, like a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST(SaveSiteList, FailedWriteLeavesTheOldStore)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("sites.snd");
    WriteBytes(path, "old\r\n");
    const QStringList many(200, QString(200, u'x'));

    QString error;
    bool saved = true;
    {
        const FileSizeLimit limit(4096);
        saved = SaveSiteList(folder.path(), many, &error);
    }
    EXPECT_FALSE(saved);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadBytes(path), QByteArray("old\r\n"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"sites.snd"});
}

}  // namespace
}  // namespace quillmar
