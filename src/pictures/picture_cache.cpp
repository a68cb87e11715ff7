#include "pictures/picture_cache.h"

#include "session/entry_names.h"
#include "session/part_name.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmar {

namespace {

const QString kCacheName = QStringLiteral("Cache");
constexpr std::size_t kCopyBlock = 64 * 1024;

// The entry in a folder whose name equals the given one in any letter case;
// the exact name wins.
QString FindCaseless(const QDir& folder, const QString& name, QDir::Filters filters)
{
    if (QFileInfo::exists(EntryPath(folder.path(), name)))
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

QString EntryName(const QString& rowText)
{
    return rowText.endsWith(u'/') ? rowText.chopped(1) : rowText;
}

// The folder levels below the cache for a place: the site, then each part
// of the server folder.
QStringList PlaceLevels(const ServerPlace& place)
{
    QStringList levels{SafeFolderName(place.site)};
    for (const QString& part : place.folder.split(u'/', Qt::SkipEmptyParts))
        levels << SafeFolderName(part);
    return levels;
}

// The place's folder, each level found in any letter case; levels not there
// yet are named as they would be created.
QString PlaceFolder(const QString& appFolder, const ServerPlace& place)
{
    QString path = CacheFolder(appFolder);
    for (const QString& level : PlaceLevels(place)) {
        const QDir folder(path);
        const QString found = folder.exists() ? FindCaseless(folder, level, QDir::Dirs) : QString();
        path = EntryPath(path, found.isEmpty() || !QFileInfo(EntryPath(path, found)).isDir() ? level : found);
    }
    return path;
}

bool RemoveEntry(const QFileInfo& entry)
{
    if (entry.isDir() && !entry.isSymLink())
        return QDir(entry.filePath()).removeRecursively();
    return QFile::remove(entry.filePath());
}

// The plain way: read and write; 0 or the error number.
int CopyByReading(int in, int out)
{
    std::array<char, kCopyBlock> block;
    for (;;) {
        const ssize_t n = ::read(in, block.data(), block.size());
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        for (ssize_t written = 0; written < n;) {
            const ssize_t step = ::write(out, block.data() + written, std::size_t(n - written));
            if (step < 0 && errno != EINTR)
                return errno;
            written += std::max<ssize_t>(step, 0);
        }
    }
}

FileStamp StampOfStatus(const struct stat& status)
{
    return {qint64(status.st_size), qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

// Whether the open file still is what was sent; *why says otherwise.
bool StillAsSent(int file, const std::optional<FileStamp>& asSent, QString* why)
{
    struct stat status {};
    if (!asSent || (::fstat(file, &status) == 0 && StampOfStatus(status) == *asSent))
        return true;
    *why = QStringLiteral("it changed after it was uploaded, so a copy would not show what the server received");
    return false;
}

// A copy that no later edit of the original can reach: a reflink (blocks
// shared copy-on-write) where the file system offers one, otherwise a copy
// the kernel makes without passing the bytes through here. Never a hard
// link: an edit in place would change what the preview shows as sent.
bool CopyUnshared(const QString& from, const QString& to, QString* why, const std::optional<FileStamp>& asSent)
{
    const auto failed = [why](int code) {
        *why = QString::fromLocal8Bit(std::strerror(code));
        return false;
    };
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return failed(errno);
    struct stat source {};
    if (::fstat(in, &source) != 0) {
        const int code = errno;
        ::close(in);
        return failed(code);
    }
    if (!StillAsSent(in, asSent, why)) {
        ::close(in);
        return false;
    }
    const int out = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                           source.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO));
    if (out < 0) {
        const int code = errno;
        ::close(in);
        return failed(code);
    }
    int code = 0;
    if (::ioctl(out, FICLONE, in) != 0) {
        qint64 copied = 0;
        for (;;) {
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, std::size_t(source.st_size) + 1, 0);
            if (n > 0) {
                copied += n;
                continue;
            }
            code = n == 0 ? 0 : errno;
            break;
        }
        // Between two file systems the kernel may refuse before a byte moved.
        if (copied == 0 && (code == EXDEV || code == ENOSYS || code == EOPNOTSUPP || code == EINVAL))
            code = CopyByReading(in, out);
    }
    const bool closed = ::close(out) == 0;
    const int closeCode = errno;
    // An edit during the copy shows in the stamp too.
    const bool unchanged = code != 0 || StillAsSent(in, asSent, why);
    ::close(in);
    if (code == 0 && !closed)
        code = closeCode;
    if (code != 0)
        return failed(code);
    return unchanged;
}

}  // namespace

FileStamp StampOf(const QString& file)
{
    struct stat status {};
    if (::stat(QFile::encodeName(file).constData(), &status) != 0)
        return {};
    return StampOfStatus(status);
}

QString CacheFolder(const QString& appFolder)
{
    const QString found = FindCaseless(QDir(appFolder), kCacheName, QDir::Dirs);
    if (!found.isEmpty() && QFileInfo(EntryPath(appFolder, found)).isDir())
        return EntryPath(appFolder, found);
    return EntryPath(appFolder, kCacheName);
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

QString SafeFolderName(const QString& text)
{
    if (IsPlainEntryName(text) && !text.contains(u'%'))
        return text;
    if (text == u"." || text == u"..")
        return QString(text).replace(u'.', QLatin1StringView("%2E"));
    QString safe;
    for (const QChar c : text) {
        if (c == u'%' || c == u'/' || c == u'\\' || c == QChar(0))
            safe += u'%' + QString::number(c.unicode(), 16).toUpper().rightJustified(2, u'0');
        else
            safe += c;
    }
    return safe.isEmpty() ? QStringLiteral("%00") : safe;
}

QString CacheEntryPath(const QString& appFolder, const ServerPlace& place, const QString& name)
{
    const QString entry = EntryName(name);
    if (!place.known() || !IsPlainEntryName(entry))
        return {};
    const QString folderPath = PlaceFolder(appFolder, place);
    const QDir folder(folderPath);
    const QString found = folder.exists() ? FindCaseless(folder, entry, QDir::Files | QDir::Dirs) : QString();
    return EntryPath(folderPath, found.isEmpty() ? entry : found);
}

bool StoreInCache(const QString& appFolder, const ServerPlace& place, const QString& localFile,
                  const QString& name, QString* error)
{
    return CacheWriter(appFolder, place).store(localFile, name, error);
}

CacheWriter::CacheWriter(QString appFolder, ServerPlace place) : appFolder_(std::move(appFolder)), place_(std::move(place))
{
}

bool CacheWriter::prepare(QString* error)
{
    if (!folder_.isEmpty())
        return true;
    if (EnsureCacheFolder(appFolder_, error).isEmpty())
        return false;
    const QString folderPath = PlaceFolder(appFolder_, place_);
    if (!QDir().mkpath(folderPath)) {
        SetError(error, QStringLiteral("The picture cache folder %1 could not be created.").arg(folderPath));
        return false;
    }
    // Sorted, so the first of two names differing only in case wins, as FindCaseless has it.
    const QStringList entries =
        QDir(folderPath).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        byFoldedName_.insert(entry.toCaseFolded(), entry);  // insert keeps the first, not the last
    folder_ = folderPath;
    return true;
}

bool CacheWriter::store(const QString& localFile, const QString& name, QString* error,
                        const std::optional<FileStamp>& asSent)
{
    const QString problem = EntryNameProblem(name);
    if (!problem.isEmpty()) {
        SetError(error, QStringLiteral("%1 cannot be kept in the picture cache: %2").arg(name, problem));
        return false;
    }
    if (!place_.known()) {
        SetError(error, QStringLiteral("the server did not say which folder it shows."));
        return false;
    }
    if (!prepare(error))
        return false;
    // Copy beside the entry first, so a failed copy leaves the old entry whole.
    const QString temporary = EntryPath(folder_, HiddenPartName(name, QStringLiteral(".part")));
    QFile::remove(temporary);
    QString why;
    if (!CopyUnshared(localFile, temporary, &why, asSent)) {
        QFile::remove(temporary);
        SetError(error, QStringLiteral("%1 could not be copied into the picture cache: %2").arg(localFile, why));
        return false;
    }
    const QString folded = name.toCaseFolded();
    const QString target = EntryPath(folder_, name);
    const QFileInfo sameName(target);
    const QString existing = sameName.exists() ? name : byFoldedName_.value(folded);
    // An entry of the same name that is not a folder is replaced by the rename
    // itself, so there is no moment without an entry and a failed rename
    // leaves the old one whole; other entries must go first.
    const bool replacedByRename = existing == name && (!sameName.isDir() || sameName.isSymLink());
    if (!existing.isEmpty() && !replacedByRename) {
        RemoveEntry(QFileInfo(EntryPath(folder_, existing)));
        byFoldedName_.remove(folded);
    }
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(temporary);
        SetError(error, QStringLiteral("%1 could not be stored in the picture cache.").arg(name));
        return false;
    }
    byFoldedName_.insert(folded, name);
    return true;
}

bool RenameInCache(const QString& appFolder, const ServerPlace& place, const QString& oldName,
                   const QString& newName, QString* error)
{
    const QString from = CacheEntryPath(appFolder, place, oldName);
    const QString to = CacheEntryPath(appFolder, place, newName);
    if (from.isEmpty() || to.isEmpty()) {
        SetError(error, QStringLiteral("The picture cache entry cannot be renamed: %1")
                            .arg(EntryNameProblem(EntryName(from.isEmpty() ? oldName : newName))));
        return false;
    }
    if (!QFileInfo::exists(from)) {
        SetError(error, QStringLiteral("The picture cache holds no copy of %1.").arg(oldName));
        return false;
    }
    const QString target = EntryPath(QFileInfo(from).path(), EntryName(newName));
    if (from == target)
        return true;
    // A change of letter case only must not delete the entry it renames.
    if (to != from && QFileInfo::exists(to))
        RemoveEntry(QFileInfo(to));
    if (!QFile::rename(from, target)) {
        SetError(error, QStringLiteral("The picture cache entry %1 could not be renamed.").arg(oldName));
        return false;
    }
    return true;
}

bool RemoveFromCache(const QString& appFolder, const ServerPlace& place, const QString& name)
{
    const QString path = CacheEntryPath(appFolder, place, name);
    return !path.isEmpty() && QFileInfo::exists(path) && RemoveEntry(QFileInfo(path));
}

int EmptyCache(const QString& appFolder)
{
    const QDir folder(CacheFolder(appFolder));
    if (!folder.exists())
        return 0;
    int deleted = 0;
    // Depth first, never into a linked folder: files go, then their folders.
    QDirIterator files(folder.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        if (QFile::remove(files.next()))
            ++deleted;
    }
    const QFileInfoList entries =
        folder.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries)
        RemoveEntry(entry);
    return deleted;
}

}  // namespace quillmar
