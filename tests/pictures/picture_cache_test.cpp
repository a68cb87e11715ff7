// The picture cache folder and its entries: window-free rules.

#include "pictures/picture_cache.h"
#include "support/files.h"

#include <QDir>
#include <QTemporaryDir>

namespace quillmar {
namespace {

TEST(PictureCache, FolderOfAnyCaseIsUsedAndAFileOfThatNameIsLeftAlone)
{
    QTemporaryDir app;
    EXPECT_EQ(CacheFolder(app.path()), app.filePath(QStringLiteral("Cache")));
    EXPECT_FALSE(QFileInfo::exists(app.filePath(QStringLiteral("Cache")))) << "looking never creates";
    ASSERT_TRUE(QDir(app.path()).mkdir(QStringLiteral("cache")));
    EXPECT_EQ(EnsureCacheFolder(app.path()), app.filePath(QStringLiteral("cache")));
    EXPECT_EQ(QDir(app.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"cache"});

    QTemporaryDir withFile;
    WriteFile(withFile.filePath(QStringLiteral("CACHE")), "a file, not the folder");
    EXPECT_EQ(EnsureCacheFolder(withFile.path()), withFile.filePath(QStringLiteral("Cache")));
    EXPECT_TRUE(QFileInfo(withFile.filePath(QStringLiteral("Cache"))).isDir());
    EXPECT_EQ(ReadFile(withFile.filePath(QStringLiteral("CACHE"))), QByteArray("a file, not the folder"));
}

TEST(PictureCache, EntriesAreKeptBySiteAndFolderUnderSafeNames)
{
    QTemporaryDir app;
    QTemporaryDir local;
    WriteFile(local.filePath(QStringLiteral("red.jpg")), "red");
    WriteFile(local.filePath(QStringLiteral("big.jpg")), "big");
    const ServerPlace top{QStringLiteral("demo@127.0.0.1:21"), QStringLiteral("/")};
    const ServerPlace sub{top.site, QStringLiteral("/pics/my ..")};
    const ServerPlace other{QStringLiteral("demo@127.0.0.2:21"), QStringLiteral("/")};
    EXPECT_TRUE(StoreInCache(app.path(), top, local.filePath(QStringLiteral("big.jpg")), QStringLiteral("a.jpg")));
    EXPECT_TRUE(StoreInCache(app.path(), sub, local.filePath(QStringLiteral("red.jpg")), QStringLiteral("a.jpg")));
    EXPECT_EQ(ReadFile(CacheEntryPath(app.path(), top, QStringLiteral("a.jpg"))), QByteArray("big"));
    EXPECT_EQ(ReadFile(CacheEntryPath(app.path(), sub, QStringLiteral("A.JPG"))), QByteArray("red"));
    const QString longest(254, u'n');   // its part name must still fit in a file name
    EXPECT_TRUE(StoreInCache(app.path(), top, local.filePath(QStringLiteral("red.jpg")), longest));
    EXPECT_EQ(ReadFile(CacheEntryPath(app.path(), top, longest)), QByteArray("red"));
    EXPECT_FALSE(QFileInfo::exists(CacheEntryPath(app.path(), other, QStringLiteral("a.jpg"))));
    EXPECT_EQ(CacheEntryPath(app.path(), sub, QStringLiteral("a.jpg")),
              app.filePath(QStringLiteral("Cache/demo@127.0.0.1:21/pics/my ../a.jpg")));

    // Folder names the file-name rule refuses are written so they stay one
    // folder; names that could reach outside, or an unknown place, give none.
    const std::pair<const char*, const char*> names[] = {
        {"pics", "pics"}, {"..", "%2E%2E"}, {".", "%2E"}, {"a\\b", "a%5Cb"}, {"50%", "50%25"}, {"", "%00"},
    };
    for (const auto& [text, safe] : names)
        EXPECT_EQ(SafeFolderName(QString::fromUtf8(text)), QString::fromUtf8(safe)) << text;
    const ServerPlace escaping{QStringLiteral(".."), QStringLiteral("/../..")};
    EXPECT_TRUE(StoreInCache(app.path(), escaping, local.filePath(QStringLiteral("red.jpg")), QStringLiteral("e.jpg")));
    EXPECT_TRUE(CacheEntryPath(app.path(), escaping, QStringLiteral("e.jpg")).startsWith(app.filePath(QStringLiteral("Cache/%2E%2E/"))));
    for (const char* name : {"../sites.snd", "/etc/passwd", ".."})
        EXPECT_TRUE(CacheEntryPath(app.path(), top, QLatin1String(name)).isEmpty()) << name;
    EXPECT_TRUE(CacheEntryPath(app.path(), ServerPlace{top.site, QString()}, QStringLiteral("a.jpg")).isEmpty());
    QString error;
    EXPECT_FALSE(StoreInCache(app.path(), ServerPlace{top.site, QString()}, local.filePath(QStringLiteral("red.jpg")),
                              QStringLiteral("a.jpg"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(StoreInCache(app.path(), top, local.filePath(QStringLiteral("red.jpg")), QStringLiteral("../x.jpg")));
    EXPECT_FALSE(StoreInCache(app.path(), top, local.filePath(QStringLiteral("gone.jpg")), QStringLiteral("g.jpg")));
    EXPECT_EQ(ReadFile(CacheEntryPath(app.path(), top, QStringLiteral("a.jpg"))), QByteArray("big"));
}

TEST(PictureCache, RenameAndRemoveFollowTheServerWithinOnePlace)
{
    QTemporaryDir app;
    QTemporaryDir local;
    WriteFile(local.filePath(QStringLiteral("a.jpg")), "first");
    const ServerPlace top{QStringLiteral("demo@h"), QStringLiteral("/")};
    const ServerPlace pics{top.site, QStringLiteral("/pics")};
    ASSERT_TRUE(StoreInCache(app.path(), top, local.filePath(QStringLiteral("a.jpg")), QStringLiteral("a.jpg")));
    ASSERT_TRUE(StoreInCache(app.path(), pics, local.filePath(QStringLiteral("a.jpg")), QStringLiteral("p.jpg")));
    const QDir topFolder(app.filePath(QStringLiteral("Cache/demo@h")));

    EXPECT_FALSE(RenameInCache(app.path(), top, QStringLiteral("a.jpg"), QStringLiteral("../x.jpg")));
    EXPECT_FALSE(RenameInCache(app.path(), top, QStringLiteral("missing.jpg"), QStringLiteral("m.jpg")));
    EXPECT_TRUE(RenameInCache(app.path(), top, QStringLiteral("a.jpg"), QStringLiteral("b.jpg")));
    EXPECT_TRUE(RenameInCache(app.path(), top, QStringLiteral("b.jpg"), QStringLiteral("B.jpg")));  // letter case only
    EXPECT_EQ(topFolder.entryList(QDir::Files), QStringList{"B.jpg"});
    // A folder row renamed on the server takes its pictures along.
    EXPECT_TRUE(RenameInCache(app.path(), top, QStringLiteral("pics/"), QStringLiteral("photos")));
    EXPECT_EQ(ReadFile(CacheEntryPath(app.path(), ServerPlace{top.site, QStringLiteral("/photos")}, QStringLiteral("p.jpg"))),
              QByteArray("first"));

    EXPECT_TRUE(RemoveFromCache(app.path(), top, QStringLiteral("b.jpg")));
    EXPECT_FALSE(RemoveFromCache(app.path(), top, QStringLiteral("b.jpg")));
    EXPECT_TRUE(RemoveFromCache(app.path(), top, QStringLiteral("photos/")));
    EXPECT_EQ(topFolder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    EXPECT_FALSE(QFileInfo::exists(app.filePath(QStringLiteral("x.jpg"))));
}

// Qt reads a path that starts with ":" as a resource: such names and folders
// still land in their place in the cache, and never in the working folder.
TEST(PictureCache, NamesAndFoldersStartingWithAColonStayInTheirPlace)
{
    QTemporaryDir app;
    QTemporaryDir local;
    QTemporaryDir working;
    const QString startDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(working.path()));
    WriteFile(local.path() + QStringLiteral("/:a.jpg"), "colon");
    const ServerPlace place{QStringLiteral("demo@h"), QStringLiteral("/:x")};
    const QString folder = app.path() + QStringLiteral("/Cache/demo@h/:x/");
    EXPECT_TRUE(StoreInCache(app.path(), place, local.path() + QStringLiteral("/:a.jpg"), QStringLiteral(":a.jpg")));
    EXPECT_EQ(CacheEntryPath(app.path(), place, QStringLiteral(":a.jpg")), folder + QStringLiteral(":a.jpg"));
    EXPECT_EQ(ReadFile(folder + QStringLiteral(":a.jpg")), QByteArray("colon"));
    EXPECT_TRUE(RenameInCache(app.path(), place, QStringLiteral(":a.jpg"), QStringLiteral(":b.jpg")));
    EXPECT_EQ(ReadFile(folder + QStringLiteral(":b.jpg")), QByteArray("colon"));
    EXPECT_TRUE(RemoveFromCache(app.path(), place, QStringLiteral(":b.jpg")));
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    EXPECT_EQ(QDir(working.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    QDir::setCurrent(startDir);
}

TEST(PictureCache, EmptyingDeletesEverythingInsideButNotWhatLinksPointTo)
{
    QTemporaryDir app;
    QTemporaryDir outside;
    const QDir cache(EnsureCacheFolder(app.path()));
    WriteFile(cache.filePath(QStringLiteral("a.jpg")), "a");  // an old flat entry
    WriteFile(cache.filePath(QStringLiteral(".hidden.gif")), "h");
    QDir().mkpath(cache.filePath(QStringLiteral("site/sub")));
    WriteFile(cache.filePath(QStringLiteral("site/sub/deep.jpg")), "k");
    WriteFile(outside.filePath(QStringLiteral("target.jpg")), "t");
    QFile::link(outside.filePath(QStringLiteral("target.jpg")), cache.filePath(QStringLiteral("link.jpg")));
    QFile::link(outside.path(), cache.filePath(QStringLiteral("site/linkdir")));

    EXPECT_EQ(EmptyCache(app.path()), 4);
    EXPECT_EQ(cache.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot), QStringList());
    EXPECT_TRUE(cache.exists());
    EXPECT_EQ(ReadFile(outside.filePath(QStringLiteral("target.jpg"))), QByteArray("t"));
}

// One writer stores a run of pictures from a folder on the cache's own file
// system and from one on another (where the kernel will not copy between
// them): a name differing from a cached one only in letter case replaces it,
// even one stored earlier in the run, and the copies keep what was stored,
// with the same permissions, when the local files are edited in place later.
TEST(PictureCache, AWriterReplacesCaseVariantsAndKeepsWhatWasStored)
{
    for (const QString& base : {QDir::tempPath(), QStringLiteral("/dev/shm")}) {
        SCOPED_TRACE(base.toStdString());
        if (!QFileInfo(base).isWritable())
            continue;  // a machine without shared memory files has one file system to test
        QTemporaryDir app;
        QTemporaryDir local(base + QStringLiteral("/quillmar-cache-test-XXXXXX"));
        ASSERT_TRUE(local.isValid());
        const ServerPlace place{QStringLiteral("demo@h"), QStringLiteral("/pics")};
        WriteFile(local.filePath(QStringLiteral("old")), "old");
        ASSERT_TRUE(StoreInCache(app.path(), place, local.filePath(QStringLiteral("old")), QStringLiteral("A.JPG")));

        CacheWriter writer(app.path(), place);
        const QStringList names = {QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("B.JPG")};
        for (const QString& name : names) {
            WriteFile(local.filePath(name), name.toUtf8());
            QFile::setPermissions(local.filePath(name), QFile::ReadOwner | QFile::WriteOwner);
            QString problem;
            ASSERT_TRUE(writer.store(local.filePath(name), name, &problem)) << problem.toStdString();
        }
        const QDir folder(QFileInfo(CacheEntryPath(app.path(), place, QStringLiteral("a.jpg"))).path());
        EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden), QStringList({"a.jpg", "B.JPG"}));
        for (const QString& name : names)
            WriteFile(local.filePath(name), "edited after the upload");
        EXPECT_EQ(ReadFile(folder.filePath(QStringLiteral("a.jpg"))), QByteArray("a.jpg"));
        EXPECT_EQ(ReadFile(folder.filePath(QStringLiteral("B.JPG"))), QByteArray("B.JPG"));
        EXPECT_EQ(QFile::permissions(folder.filePath(QStringLiteral("a.jpg"))) & ~QFile::Permissions(0x0F00),
                  QFile::ReadOwner | QFile::WriteOwner);
    }
}

}  // namespace
}  // namespace quillmar
