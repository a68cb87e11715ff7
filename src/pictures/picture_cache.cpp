#include "pictures/picture_cache.h"

#include "session/part_name.h"
#include "shell/file_names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quillmar {

namespace {

const QString kCacheName = QStringLiteral("Cache");

// The entry in a folder whose name equals the given one in any letter case;
// the exact name wins.
QString FindCaseless(const QDir& folder, const QString& name, QDir::Filters filters)
{
    if (QFileInfo::exists(folder.filePath(name)))
        return name;
    const QStringList entries = folder.entryList(filters | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return {};
}

void SetError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

}  // namespace

QString CacheFolder(const QString& appFolder)
{
    const QDir app(appFolder);
    const QString found = FindCaseless(app, kCacheName, QDir::Dirs);
    if (!found.isEmpty() && QFileInfo(app.filePath(found)).isDir())
        return app.filePath(found);
    return app.filePath(kCacheName);
}

QString EnsureCacheFolder(const QString& appFolder, QString* error)
{
    const QString folder = CacheFolder(appFolder);
    if (QFileInfo(folder).isDir())
        return folder;
    if (!QDir().mkpath(folder)) {
        SetError(error, QStringLiteral("The picture cache folder %1 could not be created.").arg(folder));
        return {};
    }
    return folder;
}

QString CacheEntryPath(const QString& appFolder, const QString& name)
{
    if (!IsPlainEntryName(name))
        return {};
    const QDir folder(CacheFolder(appFolder));
    const QString found = folder.exists() ? FindCaseless(folder, name, QDir::Files) : QString();
    return folder.filePath(found.isEmpty() ? name : found);
}

bool StoreInCache(const QString& appFolder, const QString& localFile, const QString& name, QString* error)
{
    const QString problem = EntryNameProblem(name);
    if (!problem.isEmpty()) {
        SetError(error, QStringLiteral("%1 cannot be kept in the picture cache: %2").arg(name, problem));
        return false;
    }
    const QString folderPath = EnsureCacheFolder(appFolder, error);
    if (folderPath.isEmpty())
        return false;
    const QDir folder(folderPath);
    // Copy beside the entry first, so a failed copy leaves the old entry whole.
    const QString temporary = folder.filePath(HiddenPartName(name, QStringLiteral(".part")));
    QFile::remove(temporary);
    if (!QFile::copy(localFile, temporary)) {
        SetError(error, QStringLiteral("%1 could not be copied into the picture cache.").arg(localFile));
        return false;
    }
    const QString existing = FindCaseless(folder, name, QDir::Files);
    if (!existing.isEmpty())
        QFile::remove(folder.filePath(existing));
    if (!QFile::rename(temporary, folder.filePath(name))) {
        QFile::remove(temporary);
        SetError(error, QStringLiteral("%1 could not be stored in the picture cache.").arg(name));
        return false;
    }
    return true;
}

bool RenameInCache(const QString& appFolder, const QString& oldName, const QString& newName, QString* error)
{
    for (const QString& name : {oldName, newName}) {
        const QString problem = EntryNameProblem(name);
        if (!problem.isEmpty()) {
            SetError(error, QStringLiteral("The picture cache entry cannot be renamed: %1").arg(problem));
            return false;
        }
    }
    const QDir folder(CacheFolder(appFolder));
    const QString existing = folder.exists() ? FindCaseless(folder, oldName, QDir::Files) : QString();
    if (existing.isEmpty()) {
        SetError(error, QStringLiteral("The picture cache holds no copy of %1.").arg(oldName));
        return false;
    }
    const QString from = folder.filePath(existing);
    const QString to = folder.filePath(newName);
    if (existing == newName)
        return true;
    const QString taken = FindCaseless(folder, newName, QDir::Files);
    // A change of letter case only must not delete the entry it renames.
    if (!taken.isEmpty() && taken != existing)
        QFile::remove(folder.filePath(taken));
    if (!QFile::rename(from, to)) {
        SetError(error, QStringLiteral("The picture cache entry %1 could not be renamed.").arg(oldName));
        return false;
    }
    return true;
}

int EmptyCache(const QString& appFolder)
{
    const QDir folder(CacheFolder(appFolder));
    if (!folder.exists())
        return 0;
    int deleted = 0;
    const QFileInfoList entries = folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        // A link is removed itself, never what it points to.
        if (QFile::remove(entry.filePath()))
            ++deleted;
    }
    return deleted;
}

}  // namespace quillmar
