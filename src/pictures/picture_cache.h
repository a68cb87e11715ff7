#pragma once

#include "session/server_place.h"

#include <QHash>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <optional>

namespace quillmar {

// The picture cache: the folder "Cache" in the application folder holds a
// copy of every picture uploaded (or fetched for a preview), kept by server
// place: Cache/<site>/<server folder>/<name>. The folders and files are found
// whatever letter case they were created with.

// The cache folder: an existing folder named "cache" in any letter case, or
// the path where "Cache" would be created. Never creates anything.
QString CacheFolder(const QString& appFolder);

// The cache folder, created when missing; empty with *error set on failure.
QString EnsureCacheFolder(const QString& appFolder, QString* error = nullptr);

// A folder name that stays one plain entry: text the file-name rule accepts
// stays as it is; anything else has "%", separators and NUL written as %XX
// ("." and ".." become "%2E" and "%2E%2E").
QString SafeFolderName(const QString& text);

// Where the entry for a name of a place lives; empty when the place is not
// known or the name is not a plain entry name (it could reach outside).
// An entry or folder whose name differs only in letter case is preferred to
// a missing exact one. A trailing "/" (a folder row) is ignored.
QString CacheEntryPath(const QString& appFolder, const ServerPlace& place, const QString& name);

// A file's size and modification time when it was sent: a copy made later
// is refused once the file no longer matches, since it would not hold what
// the server received.
struct FileStamp {
    qint64 size = -1;
    qint64 modifiedNs = -1;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of a file now; size -1 when it cannot be read.
FileStamp StampOf(const QString& file);

// A file on its disk, with its stamp.
struct FileIdentity {
    qint64 device = -1;
    qint64 inode = -1;
    FileStamp stamp;
    bool operator==(const FileIdentity&) const = default;
};

// Copies a local file into the cache as the name of the place, replacing the
// entry of that name (in any letter case). Creates the folders on first use.
// The old entry stays if the copy fails.
bool StoreInCache(const QString& appFolder, const ServerPlace& place, const QString& localFile,
                  const QString& name, QString* error = nullptr);

// Stores a run of files into one place of the cache, as StoreInCache does
// for one: the place's folder is made and listed once, not once a file, so
// a command that uploads many pictures reads the folder once. For one
// thread at a time; an entry made meanwhile by someone else is still found
// by its exact name.
//
// With asSent (a file just uploaded, stamped before the send) the entry is a
// hard link to that file where both sit on one file system, so no bytes are
// copied; the links are recorded when the writer saves them (at the latest
// when it goes), and SoundCacheEntry no longer offers one whose file has
// changed since.
class CacheWriter {
public:
    CacheWriter(QString appFolder, ServerPlace place);
    ~CacheWriter();
    CacheWriter(const CacheWriter&) = delete;
    CacheWriter& operator=(const CacheWriter&) = delete;
    // With asSent, fails (the old entry kept) when localFile differs from it
    // before or after the copy.
    bool store(const QString& localFile, const QString& name, QString* error = nullptr,
               const std::optional<FileStamp>& asSent = std::nullopt);
    // Records the links made so far; until then they are not trusted.
    bool saveLinks(QString* error = nullptr);

private:
    bool prepare(QString* error);

    QString appFolder_;
    ServerPlace place_;
    QString folder_;                      // the place's folder, once made
    QHash<QString, QString> byFoldedName_;  // its entries, by name in any letter case
    QHash<QString, FileIdentity> linked_;   // links not yet recorded, by path below the cache
};

// Makes each shared entry a copy of its own (bytes of the file as it was
// sent; one whose file changed meanwhile is removed), until stopping says
// so; returns how many became copies.
int UnshareCacheEntries(const QString& appFolder, const std::function<bool()>& stopping);

// How many entries are still shared (recorded links).
qsizetype SharedCacheEntries(const QString& appFolder);

// Unshares on a thread of its own, after the command that made the links,
// so the uploads do not wait for copies; going, it stops after the file in
// hand (the rest stays recorded for the next time).
class CacheUnsharer {
public:
    explicit CacheUnsharer(QString appFolder);
    ~CacheUnsharer();
    CacheUnsharer(const CacheUnsharer&) = delete;
    CacheUnsharer& operator=(const CacheUnsharer&) = delete;
    void start();   // a pass over the recorded links, if any
    void pause();   // ends a pass after the file in hand

private:
    const QString appFolder_;
    std::atomic<bool> stopping_ = false;
    QThreadPool pool_;
};

// The entry of a name that holds what the server got: a copy of its own, or
// a link to a file unchanged since it was sent. A link whose file has changed
// is removed (the file stays). Empty when there is no such entry.
QString SoundCacheEntry(const QString& appFolder, const ServerPlace& place, const QString& name);

// Moves the entry (a picture or a folder's pictures) of oldName to newName
// within the place, replacing what was there. False, changing nothing, when
// there is no entry or a name is not plain.
bool RenameInCache(const QString& appFolder, const ServerPlace& place, const QString& oldName,
                   const QString& newName, QString* error = nullptr);

// Removes the entry (a picture, or a folder's pictures) of the name; false
// when there was none.
bool RemoveFromCache(const QString& appFolder, const ServerPlace& place, const QString& name);

// Deletes everything inside the cache folder, the folder itself stays. Links
// are removed, never what they point to. Returns how many files went.
int EmptyCache(const QString& appFolder);

}  // namespace quillmar
