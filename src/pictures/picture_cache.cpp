#include "pictures/picture_cache.h"

#include "session/entry_names.h"
#include "session/part_name.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

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

// ---- entries shared with the file that was sent
// Where the picture sent and the cache sit on one file system, the entry is
// a hard link to it: nothing is copied. An edit of that file in place would
// show in the entry too, so each such entry is recorded as it was when sent
// (in a record beside the cache folder), and one that no longer matches is
// not taken for what the server holds.

const QString kLinkRecordName = QStringLiteral("cache-links.json");
constexpr int kRecordLockWaitMs = 5000;

std::optional<FileIdentity> FileIdentityOf(const QString& path, nlink_t* links = nullptr)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    if (links)
        *links = status.st_nlink;
    return FileIdentity{qint64(status.st_dev), qint64(status.st_ino), StampOfStatus(status)};
}

// The same file on disk, whatever its stamp says now.
bool SameFile(const FileIdentity& a, const FileIdentity& b)
{
    return a.device == b.device && a.inode == b.inode;
}

QString FileIdentityText(const FileIdentity& identity)
{
    return QStringLiteral("%1 %2 %3 %4")
        .arg(identity.device)
        .arg(identity.inode)
        .arg(identity.stamp.size)
        .arg(identity.stamp.modifiedNs);
}

std::optional<FileIdentity> FileIdentityFromText(const QString& text)
{
    const QStringList parts = text.split(u' ');
    if (parts.size() != 4)
        return std::nullopt;
    std::array<qint64, 4> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        bool ok = false;
        values[i] = parts[qsizetype(i)].toLongLong(&ok);
        if (!ok)
            return std::nullopt;
    }
    return FileIdentity{values[0], values[1], {values[2], values[3]}};
}

// Shared entries as they were when sent, by path below the cache folder.
using LinkRecord = QHash<QString, FileIdentity>;

QString LinkRecordPath(const QString& appFolder)
{
    return EntryPath(appFolder, kLinkRecordName);
}

LinkRecord LoadLinkRecord(const QString& appFolder)
{
    QFile file(LinkRecordPath(appFolder));
    LinkRecord record;
    if (!file.open(QIODevice::ReadOnly))
        return record;
    const QJsonObject entries = QJsonDocument::fromJson(file.readAll()).object();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        // Only paths that stay inside the cache: an entry may be removed by its record.
        const QStringList levels = it.key().split(u'/');
        if (!std::all_of(levels.cbegin(), levels.cend(), [](const QString& level) { return IsPlainEntryName(level); }))
            continue;
        if (const auto identity = FileIdentityFromText(it.value().toString()))
            record.insert(it.key(), *identity);
    }
    return record;
}

bool SaveLinkRecord(const QString& appFolder, const LinkRecord& record, QString* error)
{
    QJsonObject entries;
    for (auto it = record.cbegin(); it != record.cend(); ++it)
        entries.insert(it.key(), FileIdentityText(it.value()));
    QSaveFile file(LinkRecordPath(appFolder));
    if (file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(entries).toJson(QJsonDocument::Compact)) >= 0
        && file.commit())
        return true;
    SetError(error, QStringLiteral("The record of the picture cache's shared copies, %1, could not be saved: %2")
                        .arg(file.fileName(), file.errorString()));
    return false;
}

// Changes the record under a lock, so writers in this and other windows
// never lose each other's entries; false with *error set when it could not
// be saved.
bool UpdateLinkRecord(const QString& appFolder, const std::function<void(LinkRecord&)>& change, QString* error)
{
    QLockFile lock(LinkRecordPath(appFolder) + QStringLiteral(".lock"));
    if (!lock.tryLock(kRecordLockWaitMs)) {
        SetError(error, QStringLiteral("The record of the picture cache's shared copies is locked by another "
                                       "program (%1).")
                            .arg(lock.fileName()));
        return false;
    }
    LinkRecord record = LoadLinkRecord(appFolder);
    const LinkRecord before = record;
    change(record);
    return record == before || SaveLinkRecord(appFolder, record, error);
}

// A path below the cache folder; empty for one outside it.
QString BelowCache(const QString& appFolder, const QString& path)
{
    const QString cache = CacheFolder(appFolder) + u'/';
    return path.startsWith(cache) ? path.mid(cache.size()) : QString();
}

// The records of an entry, or of a folder's entries, follow it to its new
// path; a record left behind would only make its entry untrusted.
void MoveLinkRecords(const QString& appFolder, const QString& from, const QString& to)
{
    if (from.isEmpty() || to.isEmpty() || !QFileInfo::exists(LinkRecordPath(appFolder)))
        return;
    UpdateLinkRecord(appFolder, [&](LinkRecord& record) {
        LinkRecord moved;
        for (auto it = record.begin(); it != record.end();) {
            if (it.key() != from && !it.key().startsWith(from + u'/')) {
                ++it;
                continue;
            }
            moved.insert(to + it.key().mid(from.size()), *it);
            it = record.erase(it);
        }
        record.insert(moved);
    }, nullptr);
}

enum class Linked { Yes, Changed, NotPossible };

// A hard link to the file as it was sent; Changed (nothing left behind) when
// the file is no longer that.
Linked LinkAsSent(const QString& from, const QString& to, const FileStamp& asSent, FileIdentity* made)
{
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return Linked::NotPossible;
    const std::optional<FileIdentity> identity = FileIdentityOf(to);
    if (!identity || identity->stamp != asSent) {
        QFile::remove(to);
        return Linked::Changed;
    }
    *made = *identity;
    return Linked::Yes;
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
    const QString folded = name.toCaseFolded();
    const QString target = EntryPath(folder_, name);
    const auto changed = [&] {
        SetError(error, QStringLiteral("%1 could not be copied into the picture cache: it changed after it was "
                                       "uploaded, so a copy would not show what the server received")
                            .arg(localFile));
        return false;
    };
    if (asSent) {
        // Sent again unchanged: the entry already is that very file.
        const std::optional<FileIdentity> entry = FileIdentityOf(target);
        if (entry && entry == FileIdentityOf(localFile)) {
            if (entry->stamp != *asSent)
                return changed();
            linked_.insert(BelowCache(appFolder_, target), *entry);
            return true;
        }
    }
    // Made beside the entry first, so a failure leaves the old entry whole.
    const QString temporary = EntryPath(folder_, HiddenPartName(name, QStringLiteral(".part")));
    QFile::remove(temporary);
    FileIdentity shared;
    const Linked link = asSent ? LinkAsSent(localFile, temporary, *asSent, &shared) : Linked::NotPossible;
    if (link == Linked::Changed)
        return changed();
    QString why;
    if (link == Linked::NotPossible && !CopyUnshared(localFile, temporary, &why, asSent)) {
        QFile::remove(temporary);
        SetError(error, QStringLiteral("%1 could not be copied into the picture cache: %2").arg(localFile, why));
        return false;
    }
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
    if (link == Linked::Yes)
        linked_.insert(BelowCache(appFolder_, target), shared);
    return true;
}

bool CacheWriter::saveLinks(QString* error)
{
    if (linked_.isEmpty())
        return true;
    const QString cache = CacheFolder(appFolder_);
    const bool saved = UpdateLinkRecord(appFolder_, [&](LinkRecord& record) {
        // Entries gone, or replaced by a copy, need no record.
        for (auto it = record.begin(); it != record.end();) {
            const std::optional<FileIdentity> now = FileIdentityOf(EntryPath(cache, it.key()));
            it = now && SameFile(*now, *it) ? std::next(it) : record.erase(it);
        }
        record.insert(linked_);
    }, error);
    linked_.clear();
    return saved;
}

CacheWriter::~CacheWriter()
{
    saveLinks();
}

int UnshareCacheEntries(const QString& appFolder, const std::function<bool()>& stopping)
{
    const LinkRecord record = LoadLinkRecord(appFolder);
    if (record.isEmpty())
        return 0;
    const QString cache = CacheFolder(appFolder);
    LinkRecord settled;   // done with, as recorded
    int unshared = 0;
    for (auto it = record.cbegin(); it != record.cend() && !stopping(); ++it) {
        const QString path = EntryPath(cache, it.key());
        const std::optional<FileIdentity> now = FileIdentityOf(path);
        settled.insert(it.key(), *it);
        if (!now || !SameFile(*now, *it))
            continue;   // replaced or gone: only the record goes
        if (now->stamp != it->stamp) {
            QFile::remove(path);   // the file changed since it was sent
            continue;
        }
        const QFileInfo entry(path);
        const QString temporary = EntryPath(entry.path(), HiddenPartName(entry.fileName(), QStringLiteral(".part")));
        QFile::remove(temporary);
        QString why;
        if (CopyUnshared(path, temporary, &why, it->stamp)
            && std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) == 0) {
            ++unshared;
        } else {
            QFile::remove(temporary);
            settled.remove(it.key());   // tried again next time
        }
    }
    UpdateLinkRecord(appFolder, [&](LinkRecord& now) {
        for (auto it = settled.cbegin(); it != settled.cend(); ++it) {
            if (now.value(it.key()) == *it)
                now.remove(it.key());
        }
    }, nullptr);
    return unshared;
}

qsizetype SharedCacheEntries(const QString& appFolder)
{
    return LoadLinkRecord(appFolder).size();
}

CacheUnsharer::CacheUnsharer(QString appFolder) : appFolder_(std::move(appFolder))
{
    pool_.setMaxThreadCount(1);
}

CacheUnsharer::~CacheUnsharer()
{
    stopping_ = true;
    pool_.waitForDone();
}

void CacheUnsharer::start()
{
    pool_.start([this] { UnshareCacheEntries(appFolder_, [this] { return stopping_.load(); }); });
}

void CacheUnsharer::pause()
{
    stopping_ = true;
    pool_.waitForDone();
    stopping_ = false;
}

QString SoundCacheEntry(const QString& appFolder, const ServerPlace& place, const QString& name)
{
    const QString path = CacheEntryPath(appFolder, place, name);
    nlink_t links = 0;
    const std::optional<FileIdentity> now = path.isEmpty() ? std::nullopt : FileIdentityOf(path, &links);
    if (!now)
        return {};
    const LinkRecord record = LoadLinkRecord(appFolder);
    const auto recorded = record.constFind(BelowCache(appFolder, path));
    const bool sameFile = recorded != record.cend() && SameFile(*recorded, *now);
    // Unrecorded, only a copy of its own can be trusted.
    if (sameFile ? recorded->stamp == now->stamp : links == 1)
        return path;
    // Shared with a file changed since it was sent: not what the server holds.
    QFile::remove(path);
    return {};
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
    MoveLinkRecords(appFolder, BelowCache(appFolder, from), BelowCache(appFolder, target));
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
    QFile::remove(LinkRecordPath(appFolder));
    return deleted;
}

}  // namespace quillmar
