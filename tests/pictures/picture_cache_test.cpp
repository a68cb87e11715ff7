// The picture cache folder and its entries: window-free rules.

#include "pictures/picture_cache.h"
#include "support/files.h"

#include <QDir>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace quillmar {
namespace {

// A file of these bytes in folder, by its path.
QString Written(const QTemporaryDir& folder, const QString& name, const QByteArray& bytes)
{
    WriteFile(folder.filePath(name), bytes);
    return folder.filePath(name);
}

TEST(PictureCache, FolderOfAnyCaseIsUsedAndAFileOfThatNameIsLeftAlone)
{
    QTemporaryDir app;
    EXPECT_EQ(CacheFolder(app.path()), app.filePath("Cache"));
    EXPECT_FALSE(QFileInfo::exists(app.filePath("Cache"))) << "looking never creates";
    ASSERT_TRUE(QDir(app.path()).mkdir("cache"));
    EXPECT_EQ(EnsureCacheFolder(app.path()), app.filePath("cache"));
    EXPECT_EQ(QDir(app.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"cache"});

    QTemporaryDir withFile;
    Written(withFile, "CACHE", "a file, not the folder");
    EXPECT_EQ(EnsureCacheFolder(withFile.path()), withFile.filePath("Cache"));
    EXPECT_TRUE(QFileInfo(withFile.filePath("Cache")).isDir());
    EXPECT_EQ(ReadFile(withFile.filePath("CACHE")), QByteArray("a file, not the folder"));
}

TEST(PictureCache, EntriesAreKeptBySiteAndFolderUnderSafeNames)
{
    QTemporaryDir dir, local;
    const QString app = dir.path(), red = Written(local, "red.jpg", "red");
    const ServerPlace top{"demo@127.0.0.1:21", "/"}, sub{top.site, "/pics/my .."}, other{"demo@127.0.0.2:21", "/"};
    EXPECT_TRUE(StoreInCache(app, top, Written(local, "big.jpg", "big"), "a.jpg"));
    EXPECT_TRUE(StoreInCache(app, sub, red, "a.jpg"));
    EXPECT_EQ(ReadFile(CacheEntryPath(app, top, "a.jpg")), QByteArray("big"));
    EXPECT_EQ(ReadFile(CacheEntryPath(app, sub, "A.JPG")), QByteArray("red"));
    const QString longest(254, u'n');   // its part name must still fit in a file name
    EXPECT_TRUE(StoreInCache(app, top, red, longest));
    EXPECT_EQ(ReadFile(CacheEntryPath(app, top, longest)), QByteArray("red"));
    EXPECT_FALSE(QFileInfo::exists(CacheEntryPath(app, other, "a.jpg")));
    EXPECT_EQ(CacheEntryPath(app, sub, "a.jpg"), dir.filePath("Cache/demo@127.0.0.1:21/pics/my ../a.jpg"));

    // Folder names the file-name rule refuses are written so they stay one
    // folder; names that could reach outside, or an unknown place, give none.
    const std::pair<const char*, const char*> names[] = {
        {"pics", "pics"}, {"..", "%2E%2E"}, {".", "%2E"}, {"a\\b", "a%5Cb"}, {"50%", "50%25"}, {"", "%00"},
    };
    for (const auto& [text, safe] : names)
        EXPECT_EQ(SafeFolderName(text), safe) << text;
    const ServerPlace escaping{"..", "/../.."}, unknown{top.site, QString()};
    EXPECT_TRUE(StoreInCache(app, escaping, red, "e.jpg"));
    EXPECT_TRUE(CacheEntryPath(app, escaping, "e.jpg").startsWith(dir.filePath("Cache/%2E%2E/")));
    for (const char* name : {"../sites.snd", "/etc/passwd", ".."})
        EXPECT_TRUE(CacheEntryPath(app, top, name).isEmpty()) << name;
    EXPECT_TRUE(CacheEntryPath(app, unknown, "a.jpg").isEmpty());
    QString error;
    EXPECT_FALSE(StoreInCache(app, unknown, red, "a.jpg", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(StoreInCache(app, top, red, "../x.jpg"));
    EXPECT_FALSE(StoreInCache(app, top, local.filePath("gone.jpg"), "g.jpg"));
    EXPECT_EQ(ReadFile(CacheEntryPath(app, top, "a.jpg")), QByteArray("big"));
}

TEST(PictureCache, RenameAndRemoveFollowTheServerWithinOnePlace)
{
    QTemporaryDir dir, local;
    const QString app = dir.path(), first = Written(local, "a.jpg", "first");
    const ServerPlace top{"demo@h", "/"}, pics{top.site, "/pics"};
    ASSERT_TRUE(StoreInCache(app, top, first, "a.jpg"));
    ASSERT_TRUE(StoreInCache(app, pics, first, "p.jpg"));
    const QDir topFolder(dir.filePath("Cache/demo@h"));

    EXPECT_FALSE(RenameInCache(app, top, "a.jpg", "../x.jpg"));
    EXPECT_FALSE(RenameInCache(app, top, "missing.jpg", "m.jpg"));
    EXPECT_TRUE(RenameInCache(app, top, "a.jpg", "b.jpg"));
    EXPECT_TRUE(RenameInCache(app, top, "b.jpg", "B.jpg"));  // letter case only
    EXPECT_EQ(topFolder.entryList(QDir::Files), QStringList{"B.jpg"});
    // A folder row renamed on the server takes its pictures along.
    EXPECT_TRUE(RenameInCache(app, top, "pics/", "photos"));
    EXPECT_EQ(ReadFile(CacheEntryPath(app, {top.site, "/photos"}, "p.jpg")), QByteArray("first"));

    EXPECT_TRUE(RemoveFromCache(app, top, "b.jpg"));
    EXPECT_FALSE(RemoveFromCache(app, top, "b.jpg"));
    EXPECT_TRUE(RemoveFromCache(app, top, "photos/"));
    EXPECT_EQ(topFolder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("x.jpg")));
}

// Qt reads a path that starts with ":" as a resource: such names and folders
// still land in their place in the cache, and never in the working folder.
TEST(PictureCache, NamesAndFoldersStartingWithAColonStayInTheirPlace)
{
    QTemporaryDir dir, local, working;
    const QString app = dir.path(), startDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(working.path()));
    WriteFile(local.path() + "/:a.jpg", "colon");
    const ServerPlace place{"demo@h", "/:x"};
    const QString folder = app + "/Cache/demo@h/:x/";
    EXPECT_TRUE(StoreInCache(app, place, local.path() + "/:a.jpg", ":a.jpg"));
    EXPECT_EQ(CacheEntryPath(app, place, ":a.jpg"), folder + ":a.jpg");
    EXPECT_EQ(ReadFile(folder + ":a.jpg"), QByteArray("colon"));
    EXPECT_TRUE(RenameInCache(app, place, ":a.jpg", ":b.jpg"));
    EXPECT_EQ(ReadFile(folder + ":b.jpg"), QByteArray("colon"));
    EXPECT_TRUE(RemoveFromCache(app, place, ":b.jpg"));
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    EXPECT_EQ(QDir(working.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    QDir::setCurrent(startDir);
}

TEST(PictureCache, EmptyingDeletesEverythingInsideButNotWhatLinksPointTo)
{
    QTemporaryDir app, outside;
    const QDir cache(EnsureCacheFolder(app.path()));
    WriteFile(cache.filePath("a.jpg"), "a");  // an old flat entry
    WriteFile(cache.filePath(".hidden.gif"), "h");
    QDir().mkpath(cache.filePath("site/sub"));
    WriteFile(cache.filePath("site/sub/deep.jpg"), "k");
    WriteFile(outside.filePath("target.jpg"), "t");
    QFile::link(outside.filePath("target.jpg"), cache.filePath("link.jpg"));
    QFile::link(outside.path(), cache.filePath("site/linkdir"));

    EXPECT_EQ(EmptyCache(app.path()), 4);
    EXPECT_EQ(cache.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot), QStringList());
    EXPECT_TRUE(cache.exists());
    EXPECT_EQ(ReadFile(outside.filePath("target.jpg")), QByteArray("t"));
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
        QTemporaryDir local(base + "/quillmar-cache-test-XXXXXX");
        ASSERT_TRUE(local.isValid());
        const ServerPlace place{"demo@h", "/pics"};
        WriteFile(local.filePath("old"), "old");
        ASSERT_TRUE(StoreInCache(app.path(), place, local.filePath("old"), "A.JPG"));

        CacheWriter writer(app.path(), place);
        const QStringList names = {"a.jpg", "b.jpg", "B.JPG"};
        for (const QString& name : names) {
            WriteFile(local.filePath(name), name.toUtf8());
            QFile::setPermissions(local.filePath(name), QFile::ReadOwner | QFile::WriteOwner);
            QString problem;
            ASSERT_TRUE(writer.store(local.filePath(name), name, &problem)) << problem.toStdString();
        }
        const QDir folder(QFileInfo(CacheEntryPath(app.path(), place, "a.jpg")).path());
        EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden), QStringList({"a.jpg", "B.JPG"}));
        for (const QString& name : names)
            WriteFile(local.filePath(name), "edited after the upload");
        EXPECT_EQ(ReadFile(folder.filePath("a.jpg")), QByteArray("a.jpg"));
        EXPECT_EQ(ReadFile(folder.filePath("B.JPG")), QByteArray("B.JPG"));
        EXPECT_EQ(QFile::permissions(folder.filePath("a.jpg")) & ~QFile::Permissions(0x0F00),
                  QFile::ReadOwner | QFile::WriteOwner);

        // The same name again replaces its entry; a folder of that name gives way.
        WriteFile(local.filePath("again"), "sent again");
        ASSERT_TRUE(folder.mkdir("c.jpg"));
        for (const QString name : {"a.jpg", "c.jpg"}) {
            ASSERT_TRUE(writer.store(local.filePath("again"), name, nullptr)) << name.toStdString();
            EXPECT_EQ(ReadFile(folder.filePath(name)), QByteArray("sent again")) << name.toStdString();
        }
    }
}

ino_t Inode(const QString& path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

// An uploaded picture's entry is a link to the file sent where both share a
// file system (the temporary folder), a copy where they do not (shared memory
// files): either way it is offered only while it holds what was sent, and
// the person's file is never touched.
TEST(PictureCache, AnUploadedPictureIsOfferedOnlyWhileItHoldsWhatWasSent)
{
    for (const QString& base : {QDir::tempPath(), QStringLiteral("/dev/shm")}) {
        SCOPED_TRACE(base.toStdString());
        if (!QFileInfo(base).isWritable())
            continue;
        const bool shared = base == QDir::tempPath();
        QTemporaryDir app;
        QTemporaryDir local(base + "/quillmar-cache-test-XXXXXX");
        const ServerPlace place{"demo@127.0.0.1:21", "/pics"};
        const QString file = Written(local, "a.jpg", "sent");
        const FileStamp sent = StampOf(file);
        ASSERT_EQ(sent.size, 4);
        {
            CacheWriter writer(app.path(), place);
            QString problem;
            ASSERT_TRUE(writer.store(file, "a.jpg", &problem, sent)) << problem.toStdString();
            // Sent again unchanged: nothing to redo, nothing left beside it.
            ASSERT_TRUE(writer.store(file, "a.jpg", &problem, sent)) << problem.toStdString();
        }
        const QString entry = CacheEntryPath(app.path(), place, "a.jpg");
        EXPECT_EQ(QFileInfo(entry).dir().entryList(QDir::Files | QDir::Hidden), QStringList{"a.jpg"});
        EXPECT_EQ(Inode(entry) == Inode(file), shared);
        EXPECT_EQ(SoundCacheEntry(app.path(), place, "a.jpg"), entry);
        // The server renames it: the entry and its trust follow.
        ASSERT_TRUE(RenameInCache(app.path(), place, "a.jpg", "b.jpg"));
        EXPECT_EQ(SoundCacheEntry(app.path(), place, "b.jpg"), CacheEntryPath(app.path(), place, "b.jpg"));

        // Edited in place, then gone from the local folder.
        WriteFile(file, "edited after sending");
        CacheWriter writer(app.path(), place);
        QString problem;
        EXPECT_FALSE(writer.store(file, "b.jpg", &problem, sent));
        EXPECT_TRUE(problem.contains("changed after it was uploaded")) << problem.toStdString();
        QFile::remove(file);
        const QString offered = SoundCacheEntry(app.path(), place, "b.jpg");
        EXPECT_EQ(offered.isEmpty(), shared);
        EXPECT_EQ(ReadFile(CacheEntryPath(app.path(), place, "b.jpg")), shared ? "<missing>" : "sent");
    }
}

// After the command its shared entries become copies of their own: an
// entry whose file is unchanged keeps the bytes sent through later edits;
// one whose file changed before that is dropped.
TEST(PictureCache, UnsharingKeepsWhatWasSentAndDropsWhatChanged)
{
    QTemporaryDir app, local;
    const ServerPlace place{"demo@127.0.0.1:21", "/pics"};
    {
        CacheWriter writer(app.path(), place);
        for (const char* name : {"kept.jpg", "edited.jpg"}) {
            const QString file = Written(local, name, "sent");
            ASSERT_TRUE(writer.store(file, name, nullptr, StampOf(file)));
        }
    }
    ASSERT_EQ(SharedCacheEntries(app.path()), 2);
    WriteFile(local.filePath("edited.jpg"), "edited before the copy");
    EXPECT_EQ(UnshareCacheEntries(app.path(), [] { return false; }), 1);
    EXPECT_EQ(SharedCacheEntries(app.path()), 0);
    EXPECT_FALSE(QFileInfo::exists(CacheEntryPath(app.path(), place, "edited.jpg")));
    const QString kept = CacheEntryPath(app.path(), place, "kept.jpg");
    EXPECT_NE(Inode(kept), Inode(local.filePath("kept.jpg")));
    WriteFile(local.filePath("kept.jpg"), "edited after the copy");
    EXPECT_EQ(SoundCacheEntry(app.path(), place, "kept.jpg"), kept);
    EXPECT_EQ(ReadFile(kept), "sent");
    EXPECT_EQ(ReadFile(local.filePath("edited.jpg")), "edited before the copy");
    EXPECT_EQ(QFileInfo(kept).dir().entryList(QDir::Files | QDir::Hidden), QStringList{"kept.jpg"});
}

// A link no record vouches for, made by someone else or left by a writer
// that never saved, is not offered, and removing it keeps the file; a record
// reaches nothing outside the cache.
TEST(PictureCache, OnlyARecordWithinTheCacheVouchesForALink)
{
    QTemporaryDir app, local;
    const ServerPlace place{"demo@127.0.0.1:21", "/pics"};
    const QString file = Written(local, "a.jpg", "mine");
    ASSERT_TRUE(StoreInCache(app.path(), place, file, "a.jpg"));
    const QString entry = CacheEntryPath(app.path(), place, "a.jpg");
    ASSERT_TRUE(QFile::remove(entry));
    ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(entry).constData()), 0);
    EXPECT_EQ(SoundCacheEntry(app.path(), place, "a.jpg"), QString());
    EXPECT_EQ(ReadFile(file), QByteArray("mine"));

    // A record naming a path outside the cache, its file "changed", is ignored.
    const QString outside = Written(local, "outside.jpg", "theirs");
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(outside).constData(), &status), 0);
    const QString below = QDir(CacheFolder(app.path())).relativeFilePath(outside);
    ASSERT_TRUE(below.startsWith("../"));
    WriteFile(app.filePath("cache-links.json"),
              QStringLiteral(R"({"%1": "%2 %3 1 1"})").arg(below).arg(status.st_dev).arg(status.st_ino).toUtf8());
    EXPECT_EQ(SharedCacheEntries(app.path()), 0);
    UnshareCacheEntries(app.path(), [] { return false; });
    EXPECT_EQ(ReadFile(outside), "theirs");
}

}  // namespace
}  // namespace quillmar
