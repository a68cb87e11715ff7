#include "session/ftp_component_worker.h"

#include "session/kept_download.h"
#include "session/list_splitter.h"
#include "session/network_waits.h"
#include "session/part_name.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

#include <sys/file.h>
#include <unistd.h>

namespace quillmar {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto PostInterval = std::chrono::milliseconds(50);
constexpr auto IdleWatchInterval = std::chrono::milliseconds(200);
// What a broken transfer gets unless told otherwise: three more tries,
// after 1 s, 2 s and 4 s.
constexpr int DefaultResumeTries = 3;
constexpr auto DefaultResumePause = std::chrono::milliseconds(1000);
// The longest a clean-up connection after a cut one may keep the next call waiting.
constexpr auto CleanUpWait = std::chrono::milliseconds(5000);

bool WriteAll(QIODevice& file, const char* data, qint64 size)
{
    return size == 0 || file.write(data, size) == size;
}

// A part file is locked while a download writes it, so another download of
// the same file (a second window) never takes it over or removes it. The
// lock goes with the process, also when it is killed.
bool LockPart(QFile& part)
{
    return ::flock(part.handle(), LOCK_EX | LOCK_NB) == 0;
}

// A part kept from an earlier download, opened and locked, and how many of
// its bytes to go on from.
struct KeptPart {
    std::unique_ptr<QFile> file;
    KeptDownload record;
    qint64 bytes = 0;
};

// Where a download lands: a hidden part file beside the target, which
// replaces the target in one rename once the whole file is there. A part
// worth keeping has a record beside it (see kept_download.h) from the start,
// so a killed program leaves both; an orderly end that may go on later keeps
// them (keep()), and every other way out removes them. Unlike a save of our
// own data files the part is not forced to disk as it grows: that doubled
// the time of a large download, and the rename still never leaves half a
// file under the target's name.
class DownloadTarget {
public:
    explicit DownloadTarget(const QString& target) : target_(target), record_(KeptDownloadRecordPath(target)) {}

    ~DownloadTarget()
    {
        if (!done_ && part_)
            part_->remove();
        if (!done_ && recorded_)
            QFile::remove(record_);
    }

    DownloadTarget(const DownloadTarget&) = delete;
    DownloadTarget& operator=(const DownloadTarget&) = delete;

    QString targetName() const { return QFileInfo(target_).fileName(); }
    QString recordPath() const { return record_; }

    // A new, empty part file; with `kept`, its record is written beside it.
    bool open(std::optional<KeptDownload> kept)
    {
        auto fresh = std::make_unique<QTemporaryFile>(QFileInfo(target_).dir().filePath(DownloadPartTemplate(targetName())));
        fresh->setAutoRemove(false);
        const bool opened = fresh->open();
        part_ = std::move(fresh);
        if (!opened)
            return false;
        LockPart(*part_);   // a new file: no one else has it
        // Without its record the part is simply not kept: the download goes on.
        if (kept) {
            kept->part = QFileInfo(part_->fileName()).fileName();
            record(*kept);
        }
        return true;
    }

    // The kept part, cut to its bytes and written on from there.
    bool openKept(KeptPart kept)
    {
        part_ = std::move(kept.file);
        const qint64 bytes = kept.bytes;
        if (!part_->resize(bytes) || !part_->seek(bytes))
            return false;
        KeptDownload record = std::move(kept.record);
        record.synced = std::min(record.synced, bytes);
        record.bootId = QSysInfo::bootUniqueId();
        this->record(record);
        return true;
    }

    QIODevice& device() { return *part_; }
    // Empties the part file for a transfer that starts again from zero.
    bool restart()
    {
        if (recorded_ && kept_.synced > 0) {
            KeptDownload emptied = kept_;
            emptied.synced = 0;
            record(emptied);
        }
        return part_->resize(0) && part_->seek(0);
    }
    QString errorString() const { return problem_.isEmpty() ? part_->errorString() : problem_; }

    // Leaves the part file and its record for a later download to go on
    // from, with what is now on the disk; false when there is nothing worth
    // keeping (the part and record go as on any other way out).
    bool keep()
    {
        if (!recorded_ || !part_->isOpen() || part_->pos() == 0 || !part_->flush() || ::fsync(part_->handle()) != 0)
            return false;
        KeptDownload synced = kept_;
        synced.synced = part_->pos();
        part_->close();
        done_ = record(synced);
        return done_;
    }

    bool commit()
    {
        if (!part_->flush())
            return false;
        const QFileInfo existing(target_);
        part_->setPermissions(existing.exists() ? existing.permissions() : kNewFilePermissions);
        // Renamed while still open and locked, so no other download takes it meanwhile.
        const QByteArray from = QFile::encodeName(part_->fileName());
        if (std::rename(from.constData(), QFile::encodeName(target_).constData()) != 0) {
            problem_ = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        part_->close();
        done_ = true;
        if (recorded_)
            QFile::remove(record_);
        return true;
    }

private:
    static constexpr QFileDevice::Permissions kNewFilePermissions =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;

    // A record that cannot be written leaves the part unkept; the download goes on.
    bool record(const KeptDownload& kept)
    {
        if (!SaveKeptDownload(record_, kept))
            return false;
        kept_ = kept;
        recorded_ = true;
        return true;
    }

    QString target_;
    QString record_;
    std::unique_ptr<QFile> part_;
    KeptDownload kept_;                  // the record as written ...
    bool recorded_ = false;              // ... when there is one
    bool done_ = false;                  // the part is in place, or kept
    QString problem_;   // the system's reason a rename or a record failed
};

// Where a path taken from a folder leads, relative to the login folder ("" is
// that folder): ".." goes up, a name goes down, a path starting with "/"
// starts over from the server's root.
QString ServerPathFrom(const QString& from, const QString& change)
{
    const QString joined = QDir::cleanPath(change.startsWith(u'/') || from.isEmpty() ? change : from + u'/' + change);
    return joined == QLatin1String(".") ? QString() : joined;
}

// At most one report every PostInterval; the caller sends the final count.
class ProgressThrottle {
public:
    explicit ProgressThrottle(const std::function<void(qint64)>& report) : report_(report) {}
    void moved(qint64 bytes)
    {
        const auto now = Clock::now();
        if (report_ && now - last_ >= PostInterval) {
            last_ = now;
            report_(bytes);
        }
    }

private:
    const std::function<void(qint64)>& report_;
    Clock::time_point last_ = Clock::now();
};

}  // namespace

struct FtpWorker::Impl {
    struct Job {
        std::function<void()> work;
        std::function<void(std::optional<FtpError>)> finished;
    };

    explicit Impl(FtpWorkerEvents e) : events(std::move(e)) {}

    FtpWorkerEvents events;
    NetworkTimeout waits;
    std::atomic<long long> keepAliveMs{0};
    std::atomic<int> resumeTries{DefaultResumeTries};
    std::atomic<long long> resumePauseMs{DefaultResumePause.count()};

    std::mutex queueMutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    bool stopping = false;

    // The transport and the call's abort, shared with the window thread.
    std::mutex callMutex;
    std::shared_ptr<Transport> transport;
    QString transportScheme;
    bool callRunning = false;
    std::optional<std::pair<int, bool>> abortRequest;
    std::condition_variable abortWake;   // ends a pause between tries

    // Worker thread only.
    QString serverLabel;
    std::optional<QString> uploadTemp;   // the temporary upload on the server
    // The bytes of the names that are not UTF-8, kept with the folder they
    // were listed in (its path as reached from the login folder, "" there),
    // so going into a folder and back still sends them as the server wrote them.
    QHash<QString, QHash<QString, QByteArray>> rawNamesByFolder;
    QString folderPath;
    // Uploads kept under their temporary names because the server would
    // not rename them (target path from the login folder -> temporary name).
    QHash<QString, QString> keptUploads;
    std::optional<FtpLogin> lastLogin;   // for cleaning up after a cut connection, and reconnecting
    Clock::time_point lastExchange = Clock::now();   // the end of the last call or keep-alive
    // While a transfer may still resume, a lost connection is not reported:
    // the window sees one only when the transfer gives up.
    bool holdDisconnect = false;
    bool disconnectHeld = false;

    std::thread thread;

    // ---- thread and jobs

    void run()
    {
        std::unique_lock lock(queueMutex);
        for (;;) {
            wake.wait_for(lock, IdleWatchInterval, [this] { return stopping || !jobs.empty(); });
            if (stopping)
                break;
            if (!jobs.empty()) {
                Job job = std::move(jobs.front());
                jobs.pop_front();
                lock.unlock();
                runJob(job);
                lock.lock();
                continue;
            }
            lock.unlock();
            if (const auto t = current())
                watchWhileIdle(*t);
            lock.lock();
        }
        lock.unlock();
        if (const auto t = current())
            t->closeAtExit();
    }

    // Notices a server that hung up, and keeps a quiet connection alive.
    // Runs only between calls, so a NOOP never meets a transfer.
    void watchWhileIdle(Transport& t)
    {
        const bool wasConnected = t.connected();
        holdDisconnect = true;
        t.watchIdle();
        const auto interval = std::chrono::milliseconds(keepAliveMs.load());
        if (interval.count() > 0 && t.connected() && Clock::now() - lastExchange >= interval) {
            try {
                t.command(QStringLiteral("NOOP"));
            } catch (const FtpError&) {
                // The transport has reported the lost connection.
            }
            lastExchange = Clock::now();
        }
        holdDisconnect = false;
        if (!std::exchange(disconnectHeld, false))
            return;
        // One event, so the window never sees the disconnect without knowing
        // that the next call may connect again.
        if (wasConnected && events.idleDrop)
            events.idleDrop();
        else
            events.stateChanged(0);
    }

    std::shared_ptr<Transport> current()
    {
        std::lock_guard lock(callMutex);
        return transport;
    }

    void runJob(Job& job)
    {
        const auto t = current();
        if (t)
            t->setTimeout(waits.get());
        std::optional<FtpError> failure;
        try {
            checkAborted();
            job.work();
        } catch (const FtpError& e) {
            failure = e;
        } catch (const std::exception& e) {
            failure = FtpError(ftp_errors::Network, QString::fromLocal8Bit(e.what()));
        }
        {
            std::lock_guard lock(callMutex);
            callRunning = false;
            abortRequest.reset();
            if (transport)
                transport->endCall();
        }
        lastExchange = Clock::now();
        job.finished(std::move(failure));
        // The call has returned; the server hears about the stop meanwhile.
        if (const auto now = current()) {
            now->settleAbort();
            removeUploadTemp(*now);
        }
        if (uploadTemp)
            removeOverNewConnection(*std::exchange(uploadTemp, std::nullopt));
    }

    // A temporary upload that a cut connection left behind is removed at
    // once over a short connection of its own, where the server lets us in
    // without a question; otherwise it stays announced for the next connect.
    void removeOverNewConnection(const QString& temp)
    {
        {
            std::lock_guard lock(queueMutex);
            if (!lastLogin || stopping)
                return;
        }
        try {
            const auto cleaner = MakeTransport(lastLogin->scheme, {}, [](const ServerCertificate&) { return false; });
            cleaner->setTimeout(waits.atMost(CleanUpWait));
            cleaner->beginCall();
            cleaner->connect(*lastLogin);
            RemoveTemp(*cleaner, ServerPathFrom(folderPath, temp));
            cleaner->quit();
            announceTemp(temp, false);
        } catch (const FtpError&) {
            // Not reachable now: the next connect to the site removes it.
        }
    }

    // Removes a temporary upload. A refusal settles it too (the server has
    // no such file, or never lets it go): asking again would change nothing.
    // Throws only when the connection fails.
    static void RemoveTemp(Transport& t, const QString& temp)
    {
        try {
            t.remove(temp);
        } catch (const FtpError& e) {
            if (!IsServerRefusal(e))
                throw;
        }
    }

    void checkAborted()
    {
        std::lock_guard lock(callMutex);
        if (abortRequest && !transport)
            throw AbortFailure(abortRequest->first);
    }

    void checkCallEnded()
    {
        std::lock_guard lock(callMutex);
        if (abortRequest)
            throw AbortFailure(abortRequest->first);
    }

    void abort(int number, bool keepControl)
    {
        std::lock_guard lock(callMutex);
        if (!callRunning)
            return;
        abortRequest = {number, keepControl};
        abortWake.notify_all();
        if (transport)
            transport->abort(number, keepControl);
    }

    Transport& session()
    {
        const auto t = current();
        if (!t || !t->connected())
            throw NoConnection();
        return *t;
    }

    void reportDisconnect()
    {
        if (holdDisconnect)
            disconnectHeld = true;
        else
            events.stateChanged(0);
    }

    // ---- resuming broken transfers

    // A transfer the connection broke (lost, reset, stalled), as opposed
    // to one stopped, refused or failing on this computer.
    static bool Broken(const FtpError& e)
    {
        constexpr int ServiceClosing = 421;
        constexpr int TransferAborted = 426;
        return e.number == ftp_errors::Network || e.number == ftp_errors::TimedOut || e.number == ServiceClosing ||
               e.number == TransferAborted;
    }

    // Waits before the next try; Stop or a closing window ends the wait at once.
    void pauseBeforeTry(std::chrono::milliseconds pause)
    {
        std::unique_lock lock(callMutex);
        abortWake.wait_for(lock, pause, [this] { return abortRequest.has_value(); });
        if (abortRequest)
            throw AbortFailure(abortRequest->first);
    }

    // Runs attempt(tried) and, while the connection breaks it, tries again
    // after a growing pause on a connection made anew; done() tells how far
    // the bytes had got.
    void resumeBroken(const QString& name, const std::function<void(int)>& attempt, const std::function<qint64()>& done)
    {
        struct Hold {
            Impl& impl;
            explicit Hold(Impl& i) : impl(i) { impl.holdDisconnect = true; }
            ~Hold()
            {
                impl.holdDisconnect = false;
                const auto t = impl.current();
                if (std::exchange(impl.disconnectHeld, false) && !(t && t->connected()))
                    impl.events.stateChanged(0);
            }
        } hold(*this);
        const int tries = resumeTries.load();
        auto pause = std::chrono::milliseconds(resumePauseMs.load());
        for (int tried = 0;; ++tried) {
            try {
                if (tried > 0) {
                    pauseBeforeTry(pause);
                    pause *= 2;
                    if (!current()->connected())
                        loginAgain(true);
                }
                attempt(tried);
                return;
            } catch (const FtpError& e) {
                if (!Broken(e) || tried >= tries)
                    throw tried > 0 && Broken(e) ? gaveUp(name, tried, e) : e;
                if (events.resuming)
                    events.resuming(name, done(), tried + 1, tries);
            }
        }
    }

    static FtpError gaveUp(const QString& name, int tries, const FtpError& last)
    {
        return FtpError(last.number, QStringLiteral("%1\n%2 was tried again %3 times and could not be finished; "
                                                    "check the connection and try again later.")
                                         .arg(last.description, name)
                                         .arg(tries));
    }

    // ---- failures

    FtpError stalled() const
    {
        return TransferStalled(serverLabel, waits.get());
    }

    // ---- operations

    void open(const FtpLogin& login)
    {
        std::shared_ptr<Transport> old;
        auto fresh = current();
        if (!fresh || transportScheme != login.scheme) {
            fresh = MakeTransport(login.scheme, [this] { reportDisconnect(); },
                                  [this](const ServerCertificate& certificate) { return askTrust(certificate); },
                                  [this](const QString& keyFile, bool again) { return askPassphrase(keyFile, again); });
            fresh->setTimeout(waits.get());
            std::lock_guard lock(callMutex);
            fresh->beginCall();
            if (abortRequest)
                fresh->abort(abortRequest->first, abortRequest->second);
            old = std::exchange(transport, fresh);
            transportScheme = login.scheme;
        }
        if (old && old->connected()) {
            old->closeAtExit();
            events.stateChanged(0);
        }
        serverLabel = ServerLabel(login);
        lastLogin = login;
        rawNamesByFolder.clear();
        folderPath.clear();
        keptUploads.clear();
        fresh->connect(login);
        events.connected(fresh->protection());
        events.stateChanged(1);
    }

    // Logs in again where the connection ended: the same login, back in
    // the same folder. Quietly for a transfer that resumes (for the window
    // the connection never ended); as a connect otherwise.
    void loginAgain(bool quietly)
    {
        if (!lastLogin)
            throw NoConnection();
        const QString folder = folderPath;
        if (quietly) {
            current()->connect(*lastLogin);
        } else {
            auto names = rawNamesByFolder;
            auto kept = keptUploads;
            open(*lastLogin);
            rawNamesByFolder = std::move(names);
            keptUploads = std::move(kept);
        }
        Transport& t = session();
        folderPath.clear();
        if (!folder.isEmpty())
            t.changeFolder(folder);
        folderPath = folder;
        t.setRawNames(rawNamesByFolder.value(folder));
    }

    // Puts a question to the person through post(answer) and waits for the
    // answer; an ended call or a closing program answers refusal.
    template <class T, class Post>
    T ask(Post post, T refusal)
    {
        auto answer = std::make_shared<std::promise<T>>();
        std::future<T> given = answer->get_future();
        post([answer](T said) { answer->set_value(std::move(said)); });
        while (given.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
            std::scoped_lock lock(callMutex, queueMutex);
            if (abortRequest || stopping)
                return refusal;
        }
        try {
            return given.get();
        } catch (const std::future_error&) {
            return refusal;   // the question was never put: the component is gone
        }
    }

    bool askTrust(const ServerCertificate& certificate)
    {
        return ask<bool>([&](auto answer) { events.askTrust(certificate, std::move(answer)); }, false);
    }

    std::optional<QString> askPassphrase(const QString& keyFile, bool again)
    {
        if (!events.askPassphrase)
            return std::nullopt;
        return ask<std::optional<QString>>(
            [&](auto answer) { events.askPassphrase(keyFile, again, std::move(answer)); }, std::nullopt);
    }

    // Whether to go on from `have` bytes kept of name; a call ended while
    // the question is up ends here, with the part still kept.
    bool askResume(const QString& name, qint64 have, qint64 total)
    {
        if (!events.askResume)
            return true;
        const bool yes = ask<bool>([&](auto answer) { events.askResume(name, have, total, std::move(answer)); }, false);
        checkCallEnded();
        return yes;
    }

    void quit()
    {
        if (const auto t = current())
            t->quit();
    }

    void list()
    {
        Transport& t = session();
        ListSplitter lines(events.listLines);
        const TransferEnd ending = t.list({[&](const char* p, qint64 n) { return lines.take(p, n); }, {}, {}});
        lines.finish();
        QHash<QString, QByteArray> names = lines.takeRawNames();
        rawNamesByFolder.insert(folderPath, names);
        t.setRawNames(std::move(names));
        if (ending == TransferEnd::Stalled)
            throw stalled();
        if (ending == TransferEnd::LocalFailed)
            throw FtpError(ftp_errors::TooLong, ListSplitter::boundText());
    }

    static FtpError localWriteError(const QString& path, const QString& why)
    {
        return FtpError(ftp_errors::LocalFile,
                        QStringLiteral("The file \"%1\" cannot be written: %2").arg(QDir::toNativeSeparators(path), why));
    }

    // Lands in a part file beside the target; the target is replaced only
    // once the server has confirmed the whole transfer. A part kept from an
    // earlier try at the same file is offered to go on from.
    void download(const QString& remoteName, const QString& localPath, qint64 knownSize)
    {
        Transport& t = session();
        DownloadTarget target(localPath);
        std::optional<KeptDownload> seen = describeDownload(t, remoteName, target.targetName(), knownSize);
        std::optional<KeptPart> earlier = keptPartToContinue(target, seen);
        if (!(earlier ? target.openKept(std::move(*earlier)) : target.open(seen)))
            throw localWriteError(localPath, target.errorString());
        QIODevice& file = target.device();
        qint64 total = 0;
        ProgressThrottle throttle(events.progress);
        // Each block reaches the disk as it arrives: larger writes into the
        // page cache measured several times slower here.
        auto local = [&](qint64 offset) -> TransferLocal {
            return {[&](const char* p, qint64 n) { return WriteAll(file, p, n); }, {},
                    [&, offset](qint64 moved) { throttle.moved(total = offset + moved); }};
        };
        try {
            resumeBroken(
                remoteName,
                [&](int) {
                    Transport& now = session();
                    // What arrived before a break (or before an earlier
                    // download ended) stays; the server sends the rest.
                    const qint64 kept = file.pos();
                    std::optional<TransferEnd> ending;
                    if (kept > 0)
                        ending = now.getFrom(remoteName, kept, local(kept));
                    if (!ending) {
                        if (kept > 0 && !target.restart())
                            throw localWriteError(localPath, file.errorString());
                        ending = now.get(remoteName, local(0));
                    }
                    if (*ending == TransferEnd::Stalled)
                        throw stalled();
                    if (*ending == TransferEnd::LocalFailed)
                        throw localWriteError(localPath, file.errorString());
                },
                [&] { return file.pos(); });
        } catch (const FtpError& e) {
            // A connection that gave out, or a program closing, may go on
            // later; a Stop, a refusal or a local failure starts afresh.
            if ((Broken(e) || e.number == ftp_errors::Cancelled) && target.keep())
                throw FtpError(e.number, QStringLiteral("%1\nWhat arrived of %2 is kept; download it again to go on "
                                                        "from there.")
                                             .arg(e.description, remoteName));
            throw;
        }
        if (!target.commit())
            throw localWriteError(localPath, target.errorString());
        events.progress(total);
    }

    // The server file as a record of a kept part would describe it; empty
    // for a file too small to be worth keeping, or one whose size or date
    // the server does not tell.
    std::optional<KeptDownload> describeDownload(Transport& t, const QString& remoteName, const QString& targetName,
                                                 qint64 knownSize)
    {
        const qint64 size = knownSize >= 0 ? knownSize : t.sizeOf(remoteName);
        if (size < KeepPartFrom || !lastLogin)
            return std::nullopt;
        const QDateTime modified = t.modifiedTime(remoteName);
        if (!modified.isValid())
            return std::nullopt;
        KeptDownload seen;
        seen.site = QStringLiteral("%1://%2@%3").arg(lastLogin->scheme, lastLogin->userName, serverLabel);
        seen.folder = folderPath;
        seen.name = remoteName;
        seen.target = targetName;
        seen.size = size;
        seen.modified = modified;
        seen.bootId = QSysInfo::bootUniqueId();
        return seen;
    }

    // A part kept for this target that the person wants to go on from; a
    // kept part that does not match the server file, or that the person
    // declines, is removed. A record for another target (a long name cut to
    // the same hidden name), or a part another download is writing, is left
    // alone, and this download keeps nothing.
    std::optional<KeptPart> keptPartToContinue(const DownloadTarget& target, std::optional<KeptDownload>& seen)
    {
        const std::optional<KeptDownload> record = LoadKeptDownload(target.recordPath());
        if (!record && !QFileInfo::exists(target.recordPath()))
            return std::nullopt;
        if (record && record->target != target.targetName()) {
            seen.reset();
            return std::nullopt;
        }
        const bool ours = record && IsDownloadPartName(record->part, target.targetName());
        const QFileInfo partInfo(QFileInfo(target.recordPath()).dir().filePath(ours ? record->part : QString()));
        std::unique_ptr<QFile> part;
        if (ours && partInfo.isFile() && !partInfo.isSymLink()) {
            part = std::make_unique<QFile>(partInfo.filePath());
            if (!part->open(QIODevice::ReadWrite)) {
                part.reset();
            } else if (!LockPart(*part)) {
                seen.reset();
                return std::nullopt;
            }
        }
        const qint64 usable = seen && part ? ResumableBytes(*record, *seen, part->size(), QSysInfo::bootUniqueId()) : 0;
        if (usable > 0 && askResume(seen->name, usable, seen->size))
            return KeptPart{std::move(part), *record, usable};
        part.reset();
        if (ours)
            QFile::remove(partInfo.filePath());
        QFile::remove(target.recordPath());
        return std::nullopt;
    }

    // Stored under a temporary name and renamed onto the target after the
    // server's final reply, so a failed upload never damages the server's
    // copy; straight to the target where the person chose that.
    void upload(const QString& localPath, const QString& remoteName, bool straight, const QDateTime& modified)
    {
        Transport& t = session();
        QFile file(localPath);
        if (!file.open(QIODevice::ReadOnly))
            throw FtpError(ftp_errors::LocalFile, QStringLiteral("The file \"%1\" cannot be read: %2")
                                                      .arg(QDir::toNativeSeparators(localPath), file.errorString()));
        const QString stored = straight ? remoteName : UploadTempName(remoteName);
        if (!straight) {
            uploadTemp = stored;
            announceTemp(stored, true);
        }
        qint64 total = 0;
        ProgressThrottle throttle(events.progress);
        auto local = [&](qint64 offset) -> TransferLocal {
            return {{}, [&](char* p, qint64 n) { return file.read(p, n); },
                    [&, offset](qint64 moved) { throttle.moved(total = offset + moved); }};
        };
        try {
            resumeBroken(
                remoteName,
                [&](int tried) {
                    const Try attempt = tried > 0 ? Try::Again : straight ? Try::First : Try::FirstToAFreshName;
                    putFrom(t, file, localPath, stored, attempt, local, total);
                },
                [&] { return total; });
            if (!straight)
                renameOntoTarget(t, stored, remoteName);
        } catch (const FtpError& e) {
            // A stopped upload is cleaned up after the server has heard of the stop.
            if (e.number != ftp_errors::Stopped)
                removeUploadTemp(t);
            throw;
        }
        if (!straight) {
            uploadTemp.reset();
            announceTemp(stored, false);
        }
        removeKeptUpload(t, remoteName);
        keepTime(t, remoteName, modified);
        events.progress(total);
    }

    // The upload is done; a server that will not take the time only makes
    // the next comparison lean on sizes and its own time.
    void keepTime(Transport& t, const QString& remoteName, const QDateTime& modified)
    {
        if (!modified.isValid())
            return;
        try {
            t.setModified(remoteName, modified);
        } catch (const FtpError& error) {
            if (error.number == ftp_errors::Stopped || error.number == ftp_errors::Cancelled)
                throw;
        }
    }

    // One try of an upload. A retry goes on from what the server holds of
    // the file (REST STOR, or APPE), as long as that is no more than the
    // earlier tries sent: a try broken before its STOR leaves the old copy
    // under a straight upload's name, and going on after its bytes would
    // join the two. Otherwise, or on a server offering neither, the whole
    // file goes again.
    enum class Try { FirstToAFreshName, First, Again };
    void putFrom(Transport& t, QFile& file, const QString& localPath, const QString& stored, Try attempt,
                 const std::function<TransferLocal(qint64)>& local, qint64 sentBefore)
    {
        std::optional<TransferEnd> ending;
        if (attempt == Try::Again) {
            const qint64 held = std::max<qint64>(t.sizeOf(stored), 0);
            if (held > 0 && held <= sentBefore && held <= file.size() && file.seek(held))
                ending = t.putFrom(local(held), stored, held);
        }
        if (!ending) {
            if (!file.seek(0))
                throw FtpError(ftp_errors::LocalFile, QStringLiteral("The file \"%1\" cannot be read: %2")
                                                          .arg(QDir::toNativeSeparators(localPath), file.errorString()));
            // A retry's name may hold an earlier try's bytes.
            ending = attempt == Try::FirstToAFreshName ? t.putNew(local(0), stored) : t.put(local(0), stored);
        }
        if (*ending == TransferEnd::Stalled)
            throw stalled();
        if (*ending == TransferEnd::LocalFailed)
            throw FtpError(ftp_errors::LocalFile, QStringLiteral("The file \"%1\" could not be read to the end: %2")
                                                      .arg(QDir::toNativeSeparators(localPath), file.errorString()));
    }

    // The last step of an upload by way of a temporary name.
    void renameOntoTarget(Transport& t, const QString& temp, const QString& remoteName)
    {
        bool targetMayBeGone = false;
        try {
            t.rename(temp, remoteName, true, &targetMayBeGone);
        } catch (const FtpError& e) {
            if (targetMayBeGone)
                throw keepUpload(temp, remoteName, e);
            if (e.number == ftp_errors::Stopped)
                throw stoppedWhilePuttingInPlace(t, remoteName);
            if (!IsServerRefusal(e))
                throw;
            throw FtpError(ftp_errors::RenameRefused,
                           QStringLiteral("The server refused to rename the upload to %1: %2\nThe server's copy of "
                                          "%1 was left as it was.")
                               .arg(remoteName, e.description));
        }
    }

    // Once the old copy may be gone, the upload under its temporary name is
    // the only copy on the server: it stays, and the failure names it.
    FtpError keepUpload(const QString& temp, const QString& remoteName, const FtpError& cause)
    {
        uploadTemp.reset();
        announceTemp(temp, false);
        keptUploads.insert(ServerPathFrom(folderPath, remoteName), temp);
        if (IsServerRefusal(cause))
            return FtpError(ftp_errors::RenameRefused,
                            QStringLiteral("Your upload is on the server as %1; the server refused to rename it to %2: "
                                           "%3\nThe old copy of %2 was deleted before that, so keep the file under "
                                           "the temporary name.")
                                .arg(temp, remoteName, cause.description));
        return FtpError(cause.number, QStringLiteral("Your upload is on the server as %1; it could not be renamed to "
                                                     "%2, whose old copy may already be deleted: %3")
                                          .arg(temp, remoteName, cause.description));
    }

    // What a Stop during the final rename left: the server had answered
    // (the connection is still there) and nothing was replaced, or no one
    // can tell yet.
    FtpError stoppedWhilePuttingInPlace(Transport& t, const QString& remoteName) const
    {
        if (t.connected())
            return FtpError(ftp_errors::Stopped, QStringLiteral("The upload was stopped before it replaced %1; the "
                                                                "server's copy of %1 was left as it was.")
                                                     .arg(remoteName));
        return FtpError(ftp_errors::Stopped,
                        QStringLiteral("Stopped while the server was putting the upload in place as %1. The connection "
                                       "was closed before it answered, so whether %1 is the new copy is not known; "
                                       "the list shows it once you connect again.")
                            .arg(remoteName));
    }

    // A complete upload to a name makes a copy kept for it under a
    // temporary name redundant.
    void removeKeptUpload(Transport& t, const QString& remoteName)
    {
        const QString kept = keptUploads.take(ServerPathFrom(folderPath, remoteName));
        if (kept.isEmpty())
            return;
        try {
            t.remove(kept);
        } catch (const FtpError&) {
            // Named to the person when it was kept; nothing is lost.
        }
    }

    void announceTemp(const QString& temp, bool onServer)
    {
        if (events.temporaryUpload)
            events.temporaryUpload(ServerPathFrom(folderPath, temp), onServer);
    }

    // Best effort: a failed upload leaves no temporary file behind. One the
    // server no longer has, or will not remove, is no longer ours to clean
    // up; one that a lost connection kept stays announced.
    void removeUploadTemp(Transport& t)
    {
        if (!uploadTemp || !t.connected())
            return;
        const QString temp = *uploadTemp;
        try {
            RemoveTemp(t, temp);
        } catch (const FtpError&) {
            return;   // still there: cleaned up over a new connection
        }
        uploadTemp.reset();
        announceTemp(temp, false);
    }
};

FtpWorker::FtpWorker(FtpWorkerEvents events) : d(std::make_unique<Impl>(std::move(events)))
{
    // A server closing a data connection mid-send is reported as an error, not a signal that ends the program.
    static const bool pipeSignalIgnored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    Q_UNUSED(pipeSignalIgnored);
    d->thread = std::thread([this] { d->run(); });
}

FtpWorker::~FtpWorker()
{
    {
        std::lock_guard lock(d->queueMutex);
        d->stopping = true;
    }
    abort(ftp_errors::Cancelled, false);
    d->wake.notify_all();
    d->thread.join();
}

void FtpWorker::submit(std::function<void()> job, std::function<void(std::optional<FtpError>)> finished)
{
    {
        std::lock_guard lock(d->callMutex);
        d->callRunning = true;
        d->abortRequest.reset();
        if (d->transport)
            d->transport->beginCall();
    }
    {
        std::lock_guard lock(d->queueMutex);
        d->jobs.push_back({std::move(job), std::move(finished)});
    }
    d->wake.notify_all();
}

void FtpWorker::abort(int number, bool keepControl) { d->abort(number, keepControl); }

void FtpWorker::setTimeout(std::chrono::milliseconds timeout)
{
    d->waits.set(timeout);
}

void FtpWorker::setResumePolicy(int tries, std::chrono::milliseconds firstPause)
{
    d->resumeTries = std::max(0, tries);
    d->resumePauseMs = std::max<long long>(0, firstPause.count());
}

void FtpWorker::setKeepAlive(std::chrono::milliseconds interval) { d->keepAliveMs = std::max<long long>(0, interval.count()); }

void FtpWorker::open(const FtpLogin& login) { d->open(login); }
void FtpWorker::reconnect() { d->loginAgain(false); }
void FtpWorker::quit() { d->quit(); }
FtpReply FtpWorker::command(const QString& line) { return d->session().command(line); }
QString FtpWorker::currentFolder() { return d->session().currentFolder(); }
qint64 FtpWorker::sizeOf(const QString& name) { return d->session().sizeOf(name); }
QDateTime FtpWorker::modifiedTime(const QString& name) { return d->session().modifiedTime(name); }
bool FtpWorker::setModified(const QString& name, const QDateTime& time) { return d->session().setModified(name, time); }
void FtpWorker::changeFolder(const QString& folder)
{
    Transport& t = d->session();
    t.changeFolder(folder);
    d->folderPath = ServerPathFrom(d->folderPath, folder);
    t.setRawNames(d->rawNamesByFolder.value(d->folderPath));
}
void FtpWorker::remove(const QString& name) { d->session().remove(name); }
void FtpWorker::makeFolder(const QString& name) { d->session().makeFolder(name); }
void FtpWorker::removeFolder(const QString& name) { d->session().removeFolder(name); }
void FtpWorker::rename(const QString& oldName, const QString& newName) { d->session().rename(oldName, newName, false); }
void FtpWorker::list() { d->list(); }
void FtpWorker::download(const QString& remoteName, const QString& localPath, qint64 knownSize)
{
    d->download(remoteName, localPath, knownSize);
}
void FtpWorker::upload(const QString& localPath, const QString& remoteName, bool straight, const QDateTime& modified)
{
    d->upload(localPath, remoteName, straight, modified);
}

}  // namespace quillmar
