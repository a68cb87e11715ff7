// The picture cache folder and its entries, and the names the server
// commands accept: window-free rules.

#include "operations/server_names.h"
#include "pictures/picture_cache.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quillmar {
namespace {

void Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST(ServerNames, NamesThatLeaveTheFolderOrCarryCommandsAreRefused)
{
    for (const char* name : {"a.jpg", "pics/", "with blank.gif", ".hidden"})
        EXPECT_TRUE(ServerNameProblem(QLatin1String(name)).isEmpty()) << name;
    for (const char* name : {"", "/", ".", "..", "../", "../x", "a/b", "a\r\nDELE b", "a\nb", "/etc/passwd"})
        EXPECT_FALSE(ServerNameProblem(QLatin1String(name)).isEmpty()) << name;
}

TEST(PictureCache, FolderOfAnyCaseIsUsedAndAFileOfThatNameIsLeftAlone)
{
    QTemporaryDir app;
    EXPECT_EQ(CacheFolder(app.path()), app.filePath(QStringLiteral("Cache")));
    EXPECT_FALSE(QFileInfo::exists(app.filePath(QStringLiteral("Cache")))) << "looking never creates";
    ASSERT_TRUE(QDir(app.path()).mkdir(QStringLiteral("cache")));
    EXPECT_EQ(EnsureCacheFolder(app.path()), app.filePath(QStringLiteral("cache")));
    EXPECT_EQ(QDir(app.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"cache"});

    QTemporaryDir withFile;
    Write(withFile.filePath(QStringLiteral("CACHE")), "a file, not the folder");
    EXPECT_EQ(EnsureCacheFolder(withFile.path()), withFile.filePath(QStringLiteral("Cache")));
    EXPECT_TRUE(QFileInfo(withFile.filePath(QStringLiteral("Cache"))).isDir());
    EXPECT_EQ(Read(withFile.filePath(QStringLiteral("CACHE"))), QByteArray("a file, not the folder"));
}

TEST(PictureCache, StoreAndRenameKeepOneEntryAndRefuseEscapingNames)
{
    QTemporaryDir app;
    QTemporaryDir local;
    Write(local.filePath(QStringLiteral("a.jpg")), "first");
    const QDir cache(app.filePath(QStringLiteral("Cache")));
    Write(local.filePath(QStringLiteral("old.jpg")), "older copy");
    EXPECT_TRUE(StoreInCache(app.path(), local.filePath(QStringLiteral("old.jpg")), QStringLiteral("a.jpg")));
    // The same name in another letter case replaces the entry.
    EXPECT_TRUE(StoreInCache(app.path(), local.filePath(QStringLiteral("a.jpg")), QStringLiteral("A.JPG")));
    EXPECT_EQ(cache.entryList(QDir::Files), QStringList{"A.JPG"});
    QString error;
    EXPECT_FALSE(StoreInCache(app.path(), local.filePath(QStringLiteral("a.jpg")), QStringLiteral("../x.jpg"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(StoreInCache(app.path(), local.filePath(QStringLiteral("gone.jpg")), QStringLiteral("g.jpg")));
    for (const char* name : {"../sites.snd", "/etc/passwd", ".."})
        EXPECT_TRUE(CacheEntryPath(app.path(), QLatin1String(name)).isEmpty()) << name;

    EXPECT_FALSE(RenameInCache(app.path(), QStringLiteral("a.jpg"), QStringLiteral("../x.jpg")));
    EXPECT_FALSE(RenameInCache(app.path(), QStringLiteral("missing.jpg"), QStringLiteral("m.jpg")));
    EXPECT_TRUE(RenameInCache(app.path(), QStringLiteral("a.jpg"), QStringLiteral("b.jpg")));
    EXPECT_TRUE(RenameInCache(app.path(), QStringLiteral("b.jpg"), QStringLiteral("B.jpg")));  // letter case only
    EXPECT_EQ(cache.entryList(QDir::Files), QStringList{"B.jpg"});
    EXPECT_EQ(Read(CacheEntryPath(app.path(), QStringLiteral("b.jpg"))), QByteArray("first"));
    EXPECT_FALSE(QFileInfo::exists(app.filePath(QStringLiteral("x.jpg"))));
}

TEST(PictureCache, EmptyingDeletesOnlyFilesDirectlyInTheFolderNotWhatLinksPointTo)
{
    QTemporaryDir app;
    QTemporaryDir outside;
    const QDir cache(EnsureCacheFolder(app.path()));
    Write(cache.filePath(QStringLiteral("a.jpg")), "a");
    Write(cache.filePath(QStringLiteral(".hidden.gif")), "h");
    QDir().mkpath(cache.filePath(QStringLiteral("sub")));
    Write(cache.filePath(QStringLiteral("sub/keep.jpg")), "k");
    Write(outside.filePath(QStringLiteral("target.jpg")), "t");
    QFile::link(outside.filePath(QStringLiteral("target.jpg")), cache.filePath(QStringLiteral("link.jpg")));
    QFile::link(outside.path(), cache.filePath(QStringLiteral("linkdir")));

    EXPECT_EQ(EmptyCache(app.path()), 3);
    EXPECT_EQ(cache.entryList(QDir::Files | QDir::Hidden), QStringList());
    EXPECT_TRUE(QFileInfo::exists(cache.filePath(QStringLiteral("sub/keep.jpg"))));
    EXPECT_EQ(Read(outside.filePath(QStringLiteral("target.jpg"))), QByteArray("t"));
}

}  // namespace
}  // namespace quillmar
