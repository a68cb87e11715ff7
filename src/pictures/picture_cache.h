#pragma once

#include <QString>

#include <optional>

namespace quillmar {

// The picture cache: one flat folder "Cache" in the application folder that
// holds a copy of every picture uploaded, so the server list can preview it
// without a transfer. The folder is found whatever letter case it was created
// with; the files in it are looked up the same way.

// The cache folder: an existing folder named "cache" in any letter case, or
// the path where "Cache" would be created. Never creates anything.
QString CacheFolder(const QString& appFolder);

// The cache folder, created when missing; empty with *error set on failure.
QString EnsureCacheFolder(const QString& appFolder, QString* error = nullptr);

// Where the entry for a name lives; empty when the name is not a plain entry
// name (it could reach outside the cache). An existing entry whose name
// differs only in letter case is preferred to a missing exact one.
QString CacheEntryPath(const QString& appFolder, const QString& name);

// Copies a local file into the cache under the name, replacing an entry of
// that name (in any letter case). Creates the folder on first use. The old
// entry stays if the copy fails.
bool StoreInCache(const QString& appFolder, const QString& localFile, const QString& name,
                  QString* error = nullptr);

// Moves the entry of oldName to newName, replacing an entry already there.
// Returns false (and changes nothing) when there is no entry, or either name
// is not a plain entry name.
bool RenameInCache(const QString& appFolder, const QString& oldName, const QString& newName,
                   QString* error = nullptr);

// Deletes every file directly in the cache folder; the folder and anything
// below it stay. Returns how many files were deleted.
int EmptyCache(const QString& appFolder);

}  // namespace quillmar
