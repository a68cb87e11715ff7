#include "session/ftp_component_worker.h"

#include "session/part_name.h"

#include <Poco/Exception.h>
#include <Poco/Net/DialogSocket.h>
#include <Poco/Net/FTPClientSession.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/Timespan.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <condition_variable>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace quillmar {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int BlockSize = 64 * 1024;                 // one receive or send
// An upload reads and sends larger pieces: fewer, larger sends kept pace
// with curl here where 64 KiB ones fell behind.
constexpr int UploadBlockSize = 256 * 1024;
constexpr qsizetype LinesPerPost = 2000;
constexpr auto PostInterval = std::chrono::milliseconds(50);
constexpr auto IdleWatchInterval = std::chrono::milliseconds(200);
constexpr auto QuitReplyWait = std::chrono::milliseconds(3000);
// How long the server may take to answer ABOR, or to explain a broken data
// connection, before the control connection is given up too.
constexpr auto ShortReplyWait = std::chrono::milliseconds(3000);
constexpr auto LookupSlice = std::chrono::milliseconds(20);
constexpr int MaxReplyLines = 1000;
// A transfer moving less than this in one time-out has stalled.
constexpr qint64 StallBytes = 1024;
// Bounds of one listing: a longer line is cut, a longer listing ends.
constexpr qsizetype MaxListLineBytes = 8 * 1024;
constexpr qint64 MaxListLines = 1000000;
constexpr qint64 MaxListBytes = qint64(512) * 1024 * 1024;

// Poco's session keeps the control socket; replies are read by the worker
// with a bound on their length, so a server hanging up in mid-reply ends in
// an error rather than a loop.
class ControlSession : public Poco::Net::FTPClientSession {
public:
    explicit ControlSession(const Poco::Net::StreamSocket& socket) : FTPClientSession(socket, false) {}
    Poco::Net::DialogSocket& socket() { return *_pControlSocket; }
};

QString Decode(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

std::string Encode(const QString& text)
{
    return text.toUtf8().toStdString();
}

// The three-digit code a reply line starts with, or -1.
int ReplyCode(const std::string& line)
{
    if (line.size() < 3 || !std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-')
        return -1;
    return std::stoi(line.substr(0, 3));
}

std::optional<Poco::UInt16> PortFromPasv(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(R"((\d+),\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+))"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int high = match.captured(5).toInt();
    const int low = match.captured(6).toInt();
    if (high > 255 || low > 255 || (high == 0 && low == 0))
        return std::nullopt;
    return Poco::UInt16(high * 256 + low);
}

std::optional<Poco::UInt16> PortFromEpsv(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(\((.)\1\1(\d+)\1\))"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int port = match.captured(2).toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return Poco::UInt16(port);
}

bool WriteAll(QIODevice& file, const char* data, qint64 size)
{
    return size == 0 || file.write(data, size) == size;
}

// Where a download lands: a hidden temporary file beside the target, which
// replaces the target in one rename once the whole file is there, and is
// removed on every other way out. Unlike a save of our own data files it is
// not forced to disk first: that doubled the time of a large download, and
// the rename still never leaves half a file under the target's name.
class DownloadTarget {
public:
    explicit DownloadTarget(const QString& target)
        : target_(target),
          part_(QFileInfo(target).dir().filePath(HiddenPartName(QFileInfo(target).fileName(), QStringLiteral(".XXXXXX.part"))))
    {
    }

    bool open() { return part_.open(); }
    QIODevice& device() { return part_; }
    QString errorString() const { return problem_.isEmpty() ? part_.errorString() : problem_; }

    bool commit()
    {
        if (!part_.flush())
            return false;
        const QFileInfo existing(target_);
        part_.setPermissions(existing.exists() ? existing.permissions() : kNewFilePermissions);
        const QByteArray from = QFile::encodeName(part_.fileName());
        part_.close();
        if (std::rename(from.constData(), QFile::encodeName(target_).constData()) != 0) {
            problem_ = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        part_.setAutoRemove(false);
        return true;
    }

private:
    static constexpr QFileDevice::Permissions kNewFilePermissions =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;

    QString target_;
    QTemporaryFile part_;
    QString problem_;   // the system's reason a rename failed
};

// The short hidden name an upload is stored under in the target's folder.
QString UploadTempName(const QString& remoteName)
{
    const qsizetype slash = remoteName.lastIndexOf(u'/');
    return remoteName.left(slash + 1) +
           QStringLiteral(".quillmar-%1.part").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

// Ends a transfer that moves fewer than StallBytes in one time-out, however
// the bytes trickle in: each wait on the data socket is bounded by what is
// left of the current window while that window is short of StallBytes.
class StallWatch {
public:
    StallWatch(Poco::Net::StreamSocket& socket, bool sending, Poco::Timespan window)
        : socket_(socket), sending_(sending), window_(window)
    {
    }

    // Before each wait; false once the window has run out short.
    bool arm()
    {
        const Clock::time_point now = Clock::now();
        if (now >= end_) {
            if (bytes_ < StallBytes)
                return false;
            start(now);
        }
        if (bytes_ >= StallBytes)
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(end_ - now).count();
        const Poco::Timespan wait(std::max<Poco::Timespan::TimeDiff>(1000, left));
        sending_ ? socket_.setSendTimeout(wait) : socket_.setReceiveTimeout(wait);
        return true;
    }

    void moved(qint64 bytes)
    {
        bytes_ += bytes;
        if (bytes_ >= StallBytes && bytes_ - bytes < StallBytes)
            sending_ ? socket_.setSendTimeout(window_) : socket_.setReceiveTimeout(window_);
    }

private:
    void start(Clock::time_point now)
    {
        end_ = now + std::chrono::microseconds(window_.totalMicroseconds());
        bytes_ = 0;
    }

    Poco::Net::StreamSocket& socket_;
    bool sending_;
    Poco::Timespan window_;
    Clock::time_point end_ = Clock::now() + std::chrono::microseconds(window_.totalMicroseconds());
    qint64 bytes_ = 0;
};

// Splits a listing into lines, cutting over-long ones and ending the whole
// once it passes the bounds.
class ListSplitter {
public:
    explicit ListSplitter(std::function<void(QStringList)> post) : post_(std::move(post)) {}

    // False once the listing is past its bounds.
    bool take(const char* p, qint64 size)
    {
        bytes_ += size;
        const char* end = p + size;
        while (p < end) {
            const char* newline = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
            const char* stop = newline ? newline : end;
            partial_.append(p, std::min<qsizetype>(stop - p, std::max<qsizetype>(0, MaxListLineBytes + 1 - partial_.size())));
            if (!newline)
                break;
            endLine();
            p = newline + 1;
        }
        if (lines_.size() >= LinesPerPost || Clock::now() - lastPost_ >= PostInterval)
            flush();
        return count_ <= MaxListLines && bytes_ <= MaxListBytes;
    }

    void finish()
    {
        if (!partial_.isEmpty())
            endLine();
        flush();
    }

    static QString boundText()
    {
        return QStringLiteral("The server's listing went past %1 lines or %2 MiB and was cut there; the entries "
                              "received so far are shown.")
            .arg(MaxListLines)
            .arg(MaxListBytes / (1024 * 1024));
    }

private:
    void endLine()
    {
        if (partial_.size() > MaxListLineBytes)
            partial_.truncate(MaxListLineBytes);
        else if (partial_.endsWith('\r'))
            partial_.chop(1);
        lines_.append(QString::fromUtf8(partial_));
        partial_.clear();
        ++count_;
    }

    void flush()
    {
        if (!lines_.isEmpty())
            post_(std::exchange(lines_, {}));
        lastPost_ = Clock::now();
    }

    std::function<void(QStringList)> post_;
    QByteArray partial_;
    QStringList lines_;
    qint64 count_ = 0;
    qint64 bytes_ = 0;
    Clock::time_point lastPost_ = Clock::now();
};

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

    // Keeps a socket's descriptor known to abort() while it may block.
    class AbortableSocket {
    public:
        AbortableSocket(Impl& impl, int fd, bool data) : impl_(impl), fd_(fd)
        {
            std::lock_guard lock(impl_.abortMutex);
            impl_.openFds.push_back({fd_, data});
            if (impl_.aborted)
                ::shutdown(fd_, SHUT_RDWR);
        }
        ~AbortableSocket()
        {
            std::lock_guard lock(impl_.abortMutex);
            std::erase_if(impl_.openFds, [this](const OpenFd& open) { return open.fd == fd_; });
        }
        AbortableSocket(const AbortableSocket&) = delete;
        AbortableSocket& operator=(const AbortableSocket&) = delete;

    private:
        Impl& impl_;
        int fd_;
    };

    struct OpenFd {
        int fd;
        bool data;
    };

    // A passive data connection with its command sent and accepted.
    struct DataConnection {
        Poco::Net::StreamSocket socket;
        std::unique_ptr<AbortableSocket> abortable;
        bool finalReplyPending = true;

        void close()
        {
            abortable.reset();
            socket.close();
        }
    };

    // How the byte pump between a data connection and the local side ended.
    enum class Ending { Complete, LocalFailed, Stalled, Broken };

    explicit Impl(FtpWorkerEvents e) : events(std::move(e)) {}

    FtpWorkerEvents events;
    std::atomic<long long> timeoutMs{30000};

    std::mutex queueMutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    bool stopping = false;

    std::mutex abortMutex;
    bool callRunning = false;
    bool aborted = false;
    bool controlKept = false;     // the abort cut only the data connection
    int abortNumber = ftp_errors::Cancelled;
    std::vector<OpenFd> openFds;

    // Worker thread only.
    std::unique_ptr<ControlSession> session;
    std::unique_ptr<AbortableSocket> controlAbortable;
    bool loggedIn = false;
    bool epsvWorks = true;
    QString serverLabel;              // "host:port", for messages
    Poco::Net::IPAddress serverHost;  // where data connections go
    std::string idleText;
    bool recoveryPending = false;     // a stopped transfer awaits its ABOR
    std::optional<QString> uploadTemp;  // the temporary upload on the server

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
            watchIdle();
            lock.lock();
        }
        lock.unlock();
        closeAtExit();
    }

    void runJob(Job& job)
    {
        idleText.clear();
        applyTimeout();
        std::optional<FtpError> failure;
        try {
            checkAborted();
            job.work();
        } catch (const FtpError& e) {
            failure = e;
        } catch (const Poco::Exception& e) {
            failure = FtpError(ftp_errors::Network, QString::fromStdString(e.displayText()));
            dropConnection();
        } catch (const std::exception& e) {
            failure = FtpError(ftp_errors::Network, QString::fromLocal8Bit(e.what()));
        }
        {
            std::lock_guard lock(abortMutex);
            callRunning = false;
            aborted = false;
            controlKept = false;
        }
        job.finished(std::move(failure));
        // The call has returned; the server is told about the stop meanwhile.
        if (std::exchange(recoveryPending, false))
            abandonTransfer();
        uploadTemp.reset();
    }

    void checkAborted()
    {
        std::lock_guard lock(abortMutex);
        if (aborted)
            throw abortFailure();
    }

    bool isAborted()
    {
        std::lock_guard lock(abortMutex);
        return aborted;
    }

    void abort(int number, bool keepControl)
    {
        std::lock_guard lock(abortMutex);
        if (!callRunning)
            return;
        if (!aborted)
            abortNumber = number;
        aborted = true;
        const bool dataOpen = std::any_of(openFds.begin(), openFds.end(), [](const OpenFd& open) { return open.data; });
        controlKept = keepControl && dataOpen;
        for (const OpenFd& open : openFds) {
            if (open.data) {
                // Closed with a reset: bytes still queued for the server are dropped, not sent.
                const linger reset{1, 0};
                ::setsockopt(open.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            }
            if (open.data || !controlKept)
                ::shutdown(open.fd, SHUT_RDWR);
        }
    }

    // ---- failures

    Poco::Timespan timeout() const { return Poco::Timespan(Poco::Timespan::TimeDiff(timeoutMs.load()) * 1000); }

    FtpError abortFailure() const
    {
        if (abortNumber == ftp_errors::Stopped)
            return FtpError(ftp_errors::Stopped, QStringLiteral("The FTP command was stopped."));
        return FtpError(ftp_errors::Cancelled, QStringLiteral("The FTP command was ended by the program."));
    }

    FtpError silent() const
    {
        return FtpError(ftp_errors::TimedOut, QStringLiteral("The server %1 did not answer within %2 seconds.")
                                                  .arg(serverLabel)
                                                  .arg(double(timeoutMs.load()) / 1000.0));
    }

    FtpError stalled() const
    {
        return FtpError(ftp_errors::TimedOut,
                        QStringLiteral("The transfer with the server %1 timed out: fewer than %2 bytes moved in %3 seconds.")
                            .arg(serverLabel)
                            .arg(StallBytes)
                            .arg(double(timeoutMs.load()) / 1000.0));
    }

    FtpError lost(const QString& why = {}) const
    {
        QString text = QStringLiteral("The connection to the server %1 was lost.").arg(serverLabel);
        if (!why.isEmpty())
            text += QStringLiteral(" (%1)").arg(why);
        return FtpError(ftp_errors::Network, text);
    }

    static FtpError refused(const FtpReply& reply) { return FtpError(reply.code, reply.text); }

    static bool endsConnection(int number)
    {
        return number == ftp_errors::Network || number == ftp_errors::TimedOut || number == ftp_errors::Cancelled;
    }

    // Runs one exchange with the server. Trouble on the connection closes it
    // (reporting the disconnect before the failure); a refusal keeps it, and
    // so does a stop that cut only the data connection, until ABOR tells.
    template <class Work>
    void guarded(Work&& work)
    {
        std::optional<FtpError> failure;
        try {
            work();
            return;
        } catch (const FtpError& e) {
            if (!endsConnection(e.number) && !isAborted())
                throw;
            failure = e;
        } catch (const Poco::TimeoutException&) {
            failure = silent();
        } catch (const Poco::Exception& e) {
            failure = lost(QString::fromStdString(e.displayText()));
        }
        if (isAborted()) {
            failure = abortFailure();
            std::lock_guard lock(abortMutex);
            if (controlKept && session) {
                recoveryPending = true;
                throw *failure;
            }
        }
        dropConnection();
        throw *failure;
    }

    void requireSession() const
    {
        if (!session || !loggedIn)
            throw FtpError(ftp_errors::NotConnected, QStringLiteral("There is no connection to a server."));
    }

    // ---- control connection

    void setControlWait(Poco::Timespan wait)
    {
        session->socket().setReceiveTimeout(wait);
        session->socket().setSendTimeout(wait);
    }

    void applyTimeout()
    {
        if (!session)
            return;
        try {
            setControlWait(timeout());
        } catch (const Poco::Exception&) {
            // A dead socket shows itself at the next exchange.
        }
    }

    Poco::Timespan shortWait() const
    {
        return Poco::Timespan(Poco::Timespan::TimeDiff(std::min<long long>(timeoutMs.load(), ShortReplyWait.count())) * 1000);
    }

    void sendLine(const QString& line)
    {
        checkAborted();
        session->socket().sendMessage(Encode(line));
    }

    std::string receiveLine()
    {
        std::string line;
        if (!session->socket().receiveMessage(line))
            throw lost();
        return line;
    }

    FtpReply readReply()
    {
        std::string line = receiveLine();
        const int code = ReplyCode(line);
        if (code < 0)
            throw lost(QStringLiteral("it sent \"%1\", which is not an FTP reply").arg(Decode(line).left(80)));
        FtpReply reply{code, Decode(line)};
        if (line.size() > 3 && line[3] == '-') {
            const std::string last = line.substr(0, 3) + ' ';
            for (int count = 0;; ++count) {
                if (count >= MaxReplyLines)
                    throw lost(QStringLiteral("a reply went on for more than %1 lines").arg(MaxReplyLines));
                line = receiveLine();
                reply.text += u'\n' + Decode(line);
                if (line.compare(0, 4, last) == 0 || line == last.substr(0, 3))
                    break;
            }
        }
        return reply;
    }

    FtpReply exchange(const QString& line)
    {
        sendLine(line);
        return readReply();
    }

    void dropConnection()
    {
        if (!session)
            return;
        controlAbortable.reset();
        session.reset();
        const bool wasConnected = loggedIn;
        loggedIn = false;
        if (wasConnected && events.stateChanged)
            events.stateChanged(0);
    }

    void closeAtExit()
    {
        if (session && loggedIn) {
            try {
                session->socket().sendMessage("QUIT");
            } catch (const Poco::Exception&) {
            }
        }
        loggedIn = false;  // nobody is left to tell
        dropConnection();
    }

    // After a transfer ended from our side: ABOR, the replies that close the
    // transfer, and the removal of a temporary upload. A server that does not
    // answer within a short wait loses the connection.
    void abandonTransfer()
    {
        if (!session)
            return;
        try {
            setControlWait(shortWait());
            session->socket().sendMessage("ABOR");
            for (int replies = 0; readReply().code / 100 != 2;) {
                if (++replies >= 3)
                    throw lost(QStringLiteral("it did not confirm the end of the transfer"));
            }
            // A last word about the transfer may still follow the ABOR reply.
            while (session->socket().poll(Poco::Timespan(100 * 1000), Poco::Net::Socket::SELECT_READ))
                readReply();
            removeUploadTemp();
            applyTimeout();
        } catch (const std::exception&) {
            dropConnection();
        }
    }

    // Best effort: a failed upload leaves no temporary file behind.
    void removeUploadTemp()
    {
        if (!uploadTemp || !session)
            return;
        try {
            exchange(QStringLiteral("DELE ") + *std::exchange(uploadTemp, std::nullopt));
        } catch (const FtpError&) {
        } catch (const Poco::Exception&) {
            dropConnection();
        }
    }

    // Between jobs: a server that hangs up (with or without a 421 first)
    // ends the connection here.
    void watchIdle()
    {
        if (!session)
            return;
        try {
            auto& socket = session->socket();
            if (!socket.poll(Poco::Timespan(0), Poco::Net::Socket::SELECT_READ | Poco::Net::Socket::SELECT_ERROR))
                return;
            char bytes[1024];
            const int n = socket.receiveRawBytes(bytes, sizeof bytes);
            if (n <= 0) {
                dropConnection();
                return;
            }
            idleText.append(bytes, std::size_t(n));
            if (idleText.starts_with("421") || idleText.find("\n421") != std::string::npos) {
                dropConnection();
                return;
            }
            if (idleText.size() > 4096)
                idleText.erase(0, idleText.size() - 4);
        } catch (const Poco::Exception&) {
            dropConnection();
        }
    }

    // The look-up runs on a thread of its own that is left behind when the
    // time-out passes or the call is ended: the system's resolver cannot be
    // interrupted.
    Poco::Net::SocketAddress resolve(const FtpLogin& login)
    {
        struct Lookup {
            std::mutex mutex;
            std::condition_variable done;
            std::optional<Poco::Net::SocketAddress> address;
            std::optional<QString> problem;
        };
        auto lookup = std::make_shared<Lookup>();
        std::thread([lookup, host = Encode(login.host), port = Poco::UInt16(login.port)] {
            std::optional<Poco::Net::SocketAddress> address;
            QString problem;
            try {
                address = Poco::Net::SocketAddress(host, port);
            } catch (const Poco::Exception& e) {
                problem = QString::fromStdString(e.displayText());
            }
            std::lock_guard lock(lookup->mutex);
            lookup->address = address;
            lookup->problem = problem;
            lookup->done.notify_all();
        }).detach();
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs.load());
        std::unique_lock lock(lookup->mutex);
        while (!lookup->problem) {
            checkAborted();
            if (Clock::now() >= deadline)
                throw FtpError(ftp_errors::TimedOut, QStringLiteral("The server address \"%1\" could not be looked up within %2 seconds.")
                                                         .arg(login.host)
                                                         .arg(double(timeoutMs.load()) / 1000.0));
            lookup->done.wait_for(lock, LookupSlice);
        }
        if (!lookup->address)
            throw FtpError(ftp_errors::Network, QStringLiteral("The server address \"%1\" could not be found (%2).")
                                                    .arg(login.host, *lookup->problem));
        return *lookup->address;
    }

    Poco::Net::StreamSocket connectControl(const Poco::Net::SocketAddress& address)
    {
        Poco::Net::StreamSocket socket(address.family());
        AbortableSocket abortable(*this, socket.impl()->sockfd(), false);
        try {
            socket.connect(address, timeout());
        } catch (const Poco::TimeoutException&) {
            throw isAborted() ? abortFailure() : silent();
        } catch (const Poco::Net::ConnectionRefusedException&) {
            throw isAborted() ? abortFailure()
                              : FtpError(ftp_errors::Network,
                                         QStringLiteral("The server %1 refused the connection.").arg(serverLabel));
        } catch (const Poco::Exception& e) {
            throw isAborted() ? abortFailure()
                              : FtpError(ftp_errors::Network, QStringLiteral("The server %1 cannot be reached (%2).")
                                                                  .arg(serverLabel, QString::fromStdString(e.displayText())));
        }
        return socket;
    }

    void open(const FtpLogin& login)
    {
        dropConnection();  // a new connect replaces the old connection
        serverLabel = login.host.contains(u':') ? QStringLiteral("[%1]:%2").arg(login.host).arg(login.port)
                                                : QStringLiteral("%1:%2").arg(login.host).arg(login.port);
        const Poco::Net::SocketAddress address = resolve(login);
        checkAborted();
        Poco::Net::StreamSocket socket = connectControl(address);
        socket.setNoDelay(true);
        session = std::make_unique<ControlSession>(socket);
        controlAbortable = std::make_unique<AbortableSocket>(*this, socket.impl()->sockfd(), false);
        serverHost = socket.peerAddress().host();
        epsvWorks = true;
        applyTimeout();
        try {
            guarded([&] { logIn(login); });
        } catch (...) {
            recoveryPending = false;
            dropConnection();
            throw;
        }
        loggedIn = true;
        events.stateChanged(1);
    }

    void logIn(const FtpLogin& login)
    {
        const FtpReply greeting = readReply();
        if (greeting.code / 100 != 2)
            throw refused(greeting);
        FtpReply reply = exchange(QStringLiteral("USER ") + login.userName);
        if (reply.code / 100 == 3)
            reply = exchange(QStringLiteral("PASS ") + login.password);
        if (reply.code / 100 != 2)
            throw refused(reply);
        reply = exchange(QStringLiteral("TYPE I"));
        if (reply.code / 100 != 2)
            throw refused(reply);
    }

    void quit()
    {
        if (!session)
            return;
        try {
            session->socket().setReceiveTimeout(
                Poco::Timespan(Poco::Timespan::TimeDiff(std::min<long long>(timeoutMs.load(), QuitReplyWait.count())) * 1000));
            exchange(QStringLiteral("QUIT"));
        } catch (const std::exception&) {
            // Closing anyway; the server's goodbye does not matter.
        }
        dropConnection();
    }

    // ---- data connections

    // Always the control connection's peer: a passive reply naming another
    // address must not send our data connection there.
    Poco::UInt16 passivePort()
    {
        if (epsvWorks) {
            const FtpReply reply = exchange(QStringLiteral("EPSV"));
            if (reply.code == 229) {
                if (auto port = PortFromEpsv(reply.text))
                    return *port;
            }
            epsvWorks = false;
        }
        const FtpReply reply = exchange(QStringLiteral("PASV"));
        if (reply.code != 227)
            throw refused(reply);
        const auto port = PortFromPasv(reply.text);
        if (!port)
            throw lost(QStringLiteral("its passive reply \"%1\" names no port").arg(reply.text));
        return *port;
    }

    void openData(const QString& commandLine, DataConnection& data)
    {
        const Poco::Net::SocketAddress target(serverHost, passivePort());
        data.socket = Poco::Net::StreamSocket(target.family());
        data.abortable = std::make_unique<AbortableSocket>(*this, data.socket.impl()->sockfd(), true);
        data.socket.connect(target, timeout());
        data.socket.setReceiveTimeout(timeout());
        data.socket.setSendTimeout(timeout());
        const FtpReply reply = exchange(commandLine);
        if (reply.code / 100 == 2)
            data.finalReplyPending = false;
        else if (reply.code / 100 != 1)
            throw refused(reply);
    }

    // Moves bytes between the data connection and the local side until the
    // end. Receiving, local(block, n) takes n bytes and returns false to end;
    // sending, it fills the block and returns how much, 0 at the end, -1 on
    // failure.
    template <class Local>
    Ending pump(DataConnection& data, bool sending, int blockSize, Local&& local, qint64& total,
                const std::function<void(qint64)>& progress)
    {
        std::vector<char> block(std::size_t(blockSize), '\0');
        StallWatch watch(data.socket, sending, timeout());
        ProgressThrottle throttle(progress);
        try {
            for (;;) {
                checkAborted();
                if (sending) {
                    const qint64 n = local(block.data(), qint64(blockSize));
                    if (n <= 0)
                        return n == 0 ? Ending::Complete : Ending::LocalFailed;
                    for (qint64 sent = 0; sent < n;) {
                        if (!watch.arm())
                            return Ending::Stalled;
                        const int step = data.socket.sendBytes(block.data() + sent, int(n - sent));
                        if (step <= 0)
                            return Ending::Broken;
                        sent += step;
                        watch.moved(step);
                    }
                    total += n;
                } else {
                    if (!watch.arm())
                        return Ending::Stalled;
                    const int n = data.socket.receiveBytes(block.data(), blockSize);
                    if (n <= 0)
                        return Ending::Complete;
                    watch.moved(n);
                    total += n;
                    if (!local(block.data(), qint64(n)))
                        return Ending::LocalFailed;
                }
                throttle.moved(total);
            }
        } catch (const Poco::TimeoutException&) {
            return Ending::Stalled;
        } catch (const Poco::Exception&) {
            return Ending::Broken;
        }
    }

    // One transfer: the data command, the bytes, and the server's verdict.
    // Returns how the pump ended; only Complete means the server confirmed
    // the whole transfer. A stall or a local failure is ended with ABOR and
    // reported by the caller; the connection stays when the server answers.
    template <class Local>
    Ending transfer(const QString& commandLine, bool sending, int blockSize, Local&& local, qint64& total,
                    const std::function<void(qint64)>& progress)
    {
        Ending ending = Ending::Complete;
        guarded([&] {
            DataConnection data;
            openData(commandLine, data);
            ending = pump(data, sending, blockSize, local, total, progress);
            checkAborted();
            data.close();
            if (ending == Ending::Complete)
                finishData(data);
            else if (ending == Ending::Broken)
                explainBrokenData(data);
        });
        if (ending == Ending::Stalled || ending == Ending::LocalFailed)
            abandonTransfer();
        return ending;
    }

    // Reads how the server saw the transfer.
    void finishData(DataConnection& data)
    {
        if (!data.finalReplyPending)
            return;
        const FtpReply reply = readReply();
        if (reply.code / 100 != 2)
            throw refused(reply);
    }

    // The data connection broke: the server's reason (a refusal such as a
    // full disk) is reported and the session kept; only a silent or lost
    // control connection counts as lost.
    void explainBrokenData(DataConnection& data)
    {
        const QString why = QStringLiteral("the data connection broke during the transfer");
        if (!data.finalReplyPending)
            throw lost(why);
        FtpReply reply;
        try {
            setControlWait(shortWait());
            reply = readReply();
            applyTimeout();
        } catch (const Poco::Exception&) {
            throw lost(why);
        }
        throw reply.code / 100 == 4 || reply.code / 100 == 5 ? refused(reply) : lost(why);
    }

    void list()
    {
        requireSession();
        ListSplitter lines(events.listLines);
        qint64 total = 0;
        const Ending ending = transfer(QStringLiteral("LIST"), false, BlockSize,
                                       [&](const char* p, qint64 n) { return lines.take(p, n); }, total, {});
        lines.finish();
        if (ending == Ending::Stalled)
            throw stalled();
        if (ending == Ending::LocalFailed)
            throw FtpError(ftp_errors::TooLong, ListSplitter::boundText());
    }

    static FtpError localWriteError(const QString& path, const QString& why)
    {
        return FtpError(ftp_errors::LocalFile,
                        QStringLiteral("The file \"%1\" cannot be written: %2").arg(QDir::toNativeSeparators(path), why));
    }

    void download(const QString& remoteName, const QString& localPath)
    {
        requireSession();
        // Lands in a temporary file beside the target; the target is replaced
        // only once the server has confirmed the whole transfer.
        DownloadTarget target(localPath);
        if (!target.open())
            throw localWriteError(localPath, target.errorString());
        QIODevice& file = target.device();
        // Each block reaches the disk as it arrives: larger writes into the
        // page cache measured several times slower here.
        qint64 total = 0;
        const Ending ending = transfer(QStringLiteral("RETR ") + remoteName, false, BlockSize,
                                       [&](const char* p, qint64 n) { return WriteAll(file, p, n); }, total,
                                       events.progress);
        if (ending == Ending::Stalled)
            throw stalled();
        if (ending == Ending::LocalFailed)
            throw localWriteError(localPath, file.errorString());
        if (!target.commit())
            throw localWriteError(localPath, target.errorString());
        events.progress(total);
    }

    // Stored under a temporary name and renamed onto the target after the
    // server's final reply, so a failed upload never damages the server's copy.
    void upload(const QString& localPath, const QString& remoteName)
    {
        requireSession();
        QFile file(localPath);
        if (!file.open(QIODevice::ReadOnly))
            throw FtpError(ftp_errors::LocalFile, QStringLiteral("The file \"%1\" cannot be read: %2")
                                                      .arg(QDir::toNativeSeparators(localPath), file.errorString()));
        const QString temp = UploadTempName(remoteName);
        uploadTemp = temp;
        qint64 total = 0;
        Ending ending = Ending::Complete;
        try {
            ending = transfer(QStringLiteral("STOR ") + temp, true, UploadBlockSize,
                              [&](char* p, qint64 n) { return file.read(p, n); }, total, events.progress);
        } catch (const FtpError&) {
            if (!recoveryPending)
                removeUploadTemp();
            throw;
        }
        if (ending == Ending::Stalled)
            throw stalled();
        if (ending == Ending::LocalFailed)
            throw FtpError(ftp_errors::LocalFile, QStringLiteral("The file \"%1\" could not be read to the end: %2")
                                                      .arg(QDir::toNativeSeparators(localPath), file.errorString()));
        placeUpload(temp, remoteName);
        events.progress(total);
    }

    // RNFR then RNTO: the reply that ended it, and whether RNFR was accepted.
    std::pair<FtpReply, bool> renameReply(const QString& oldName, const QString& newName)
    {
        FtpReply reply;
        bool fromAccepted = false;
        guarded([&] {
            reply = exchange(QStringLiteral("RNFR ") + oldName);
            fromAccepted = reply.code / 100 == 3;
            if (fromAccepted)
                reply = exchange(QStringLiteral("RNTO ") + newName);
        });
        return {reply, fromAccepted};
    }

    // Some servers refuse to rename onto an existing name: the target is
    // deleted and the rename tried once more.
    void placeUpload(const QString& temp, const QString& target)
    {
        auto [reply, fromAccepted] = renameReply(temp, target);
        if (reply.code / 100 != 2 && fromAccepted) {
            guarded([&] { exchange(QStringLiteral("DELE ") + target); });
            std::tie(reply, fromAccepted) = renameReply(temp, target);
        }
        if (reply.code / 100 != 2) {
            removeUploadTemp();
            throw refused(reply);
        }
        uploadTemp.reset();
    }

    void rename(const QString& oldName, const QString& newName)
    {
        requireSession();
        const FtpReply reply = renameReply(oldName, newName).first;
        if (reply.code / 100 != 2)
            throw refused(reply);
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
        std::lock_guard lock(d->abortMutex);
        d->callRunning = true;
        d->aborted = false;
        d->controlKept = false;
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
    d->timeoutMs = std::max<long long>(1, timeout.count());
}

void FtpWorker::open(const FtpLogin& login) { d->open(login); }
void FtpWorker::quit() { d->quit(); }

FtpReply FtpWorker::command(const QString& line)
{
    d->requireSession();
    FtpReply reply;
    d->guarded([&] { reply = d->exchange(line); });
    return reply;
}

void FtpWorker::require(const QString& line)
{
    const FtpReply reply = command(line);
    if (reply.code / 100 != 2)
        throw Impl::refused(reply);
}

void FtpWorker::rename(const QString& oldName, const QString& newName) { d->rename(oldName, newName); }
void FtpWorker::list() { d->list(); }
void FtpWorker::download(const QString& remoteName, const QString& localPath) { d->download(remoteName, localPath); }
void FtpWorker::upload(const QString& localPath, const QString& remoteName) { d->upload(localPath, remoteName); }

}  // namespace quillmar
