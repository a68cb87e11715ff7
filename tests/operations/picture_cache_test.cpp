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

TEST(ServerNames, RefusedNamesSayWhy)
{
    const std::pair<QString, bool> cases[] = {
        {QStringLiteral("a.jpg"), true},         {QStringLiteral("pics/"), true},
        {QStringLiteral("with blank.gif"), true}, {QStringLiteral(".hidden"), true},
        {QString(), false},                       {QStringLiteral("/"), false},
        {QStringLiteral("."), false},             {QStringLiteral(".."), false},
        {QStringLiteral("../"), false},           {QStringLiteral("../x"), false},
        {QStringLiteral("a/b"), false},           {QStringLiteral("a\r\nDELE b"), false},
        {QStringLiteral("a\nb"), false},          {QStringLiteral("/etc/passwd"), false},
    };
    for (const auto& [name, accepted] : cases) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(ServerNameProblem(name).isEmpty(), accepted) << ServerNameProblem(name).toStdString();
    }
    EXPECT_EQ(FolderName(QStringLiteral("photos/")), QStringLiteral("photos"));
}

TEST(PictureCache, FolderIsFoundInAnyLetterCaseAndCreatedOnce)
{
    QTemporaryDir app;
    EXPECT_EQ(CacheFolder(app.path()), app.filePath(QStringLiteral("Cache")));
    EXPECT_FALSE(QFileInfo::exists(app.filePath(QStringLiteral("Cache")))) << "looking never creates";
    ASSERT_TRUE(QDir(app.path()).mkdir(QStringLiteral("cache")));
    EXPECT_EQ(CacheFolder(app.path()), app.filePath(QStringLiteral("cache")));
    EXPECT_EQ(EnsureCacheFolder(app.path()), app.filePath(QStringLiteral("cache")));
    EXPECT_EQ(QDir(app.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"cache"});

    QTemporaryDir withFile;
    Write(withFile.filePath(QStringLiteral("CACHE")), "a file, not the folder");
    // A file of that name is no cache folder: the folder is made beside it.
    EXPECT_EQ(EnsureCacheFolder(withFile.path()), withFile.filePath(QStringLiteral("Cache")));
    EXPECT_TRUE(QFileInfo(withFile.filePath(QStringLiteral("Cache"))).isDir());
    EXPECT_EQ(Read(withFile.filePath(QStringLiteral("CACHE"))), QByteArray("a file, not the folder"));
}

TEST(PictureCache, StoreLookUpRenameAndRefuseEscapingNames)
{
    QTemporaryDir app;
    QTemporaryDir local;
    Write(local.filePath(QStringLiteral("a.jpg")), "first");
    Write(local.filePath(QStringLiteral("second.jpg")), "second");

    EXPECT_TRUE(StoreInCache(app.path(), local.filePath(QStringLiteral("a.jpg")), QStringLiteral("a.jpg")));
    EXPECT_EQ(Read(app.filePath(QStringLiteral("Cache/a.jpg"))), QByteArray("first"));
    // The same name in another letter case replaces the entry.
    EXPECT_TRUE(StoreInCache(app.path(), local.filePath(QStringLiteral("second.jpg")), QStringLiteral("A.JPG")));
    EXPECT_EQ(QDir(app.filePath(QStringLiteral("Cache"))).entryList(QDir::Files), QStringList{"A.JPG"});
    EXPECT_EQ(Read(CacheEntryPath(app.path(), QStringLiteral("a.jpg"))), QByteArray("second"));

    QString error;
    EXPECT_FALSE(StoreInCache(app.path(), local.filePath(QStringLiteral("a.jpg")), QStringLiteral("../x.jpg"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(StoreInCache(app.path(), local.filePath(QStringLiteral("gone.jpg")), QStringLiteral("g.jpg")));
    EXPECT_FALSE(QFileInfo::exists(app.filePath(QStringLiteral("Cache/g.jpg"))));
    for (const QString& name : {QStringLiteral("../sites.snd"), QStringLiteral("/etc/passwd"), QStringLiteral("..")})
        EXPECT_TRUE(CacheEntryPath(app.path(), name).isEmpty()) << name.toStdString();

    EXPECT_TRUE(RenameInCache(app.path(), QStringLiteral("a.jpg"), QStringLiteral("b.jpg")));
    EXPECT_EQ(QDir(app.filePath(QStringLiteral("Cache"))).entryList(QDir::Files), QStringList{"b.jpg"});
    EXPECT_FALSE(RenameInCache(app.path(), QStringLiteral("b.jpg"), QStringLiteral("../x.jpg")));
    EXPECT_FALSE(RenameInCache(app.path(), QStringLiteral("missing.jpg"), QStringLiteral("m.jpg")));
    EXPECT_FALSE(QFileInfo::exists(app.filePath(QStringLiteral("x.jpg"))));
    EXPECT_EQ(Read(app.filePath(QStringLiteral("Cache/b.jpg"))), QByteArray("second"));
    // A change of letter case keeps the entry.
    EXPECT_TRUE(RenameInCache(app.path(), QStringLiteral("b.jpg"), QStringLiteral("B.jpg")));
    EXPECT_EQ(QDir(app.filePath(QStringLiteral("Cache"))).entryList(QDir::Files), QStringList{"B.jpg"});
}

TEST(PictureCache, EmptyingDeletesOnlyFilesDirectlyInTheFolder)
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
    EXPECT_TRUE(cache.exists());

    QTemporaryDir none;
    EXPECT_EQ(EmptyCache(none.path()), 0);
    EXPECT_FALSE(QFileInfo::exists(none.filePath(QStringLiteral("Cache"))));
}

}  // namespace
}  // namespace quillmar
