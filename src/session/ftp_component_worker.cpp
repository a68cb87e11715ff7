#include "session/ftp_component_worker.h"

#include "session/listing.h"

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
#include <QHash>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
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
constexpr int MaxReplyLines = 1000;

// Poco's session keeps the control socket; replies are read by the worker
// with a bound on their length, so a server hanging up in mid-reply ends in
// an error rather than a loop.
class ControlSession : public Poco::Net::FTPClientSession {
public:
    explicit ControlSession(const Poco::Net::StreamSocket& socket) : FTPClientSession(socket, false) {}
    Poco::Net::DialogSocket& socket() { return *_pControlSocket; }
};

// Text from bytes a server sent: UTF-8 when they are, otherwise Latin-1, in
// which every byte stands for itself (*latin1 tells which).
QString Decode(QByteArrayView bytes, bool* latin1 = nullptr)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (latin1)
        *latin1 = utf8.hasError();
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

QString Decode(const std::string& bytes)
{
    return Decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

// Whether a FEAT reply lists feature (its lines between the first and last).
bool HasFeature(const QString& featReply, QStringView feature)
{
    const QStringList lines = featReply.split(u'\n');
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.section(u' ', 0, 0).compare(feature, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
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
          part_(QFileInfo(target).dir().filePath(QStringLiteral(".%1.XXXXXX.part").arg(QFileInfo(target).fileName())))
    {
    }

    bool open() { return part_.open(); }
    QIODevice& device() { return part_; }
    QString errorString() const { return part_.errorString(); }

    bool commit()
    {
        if (!part_.flush())
            return false;
        const QFileInfo existing(target_);
        part_.setPermissions(existing.exists() ? existing.permissions() : kNewFilePermissions);
        const QByteArray from = QFile::encodeName(part_.fileName());
        part_.close();
        if (std::rename(from.constData(), QFile::encodeName(target_).constData()) != 0)
            return false;
        part_.setAutoRemove(false);
        return true;
    }

private:
    static constexpr QFileDevice::Permissions kNewFilePermissions =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;

    QString target_;
    QTemporaryFile part_;
};

// At most one report every PostInterval; the caller sends the final count.
class ProgressThrottle {
public:
    explicit ProgressThrottle(const std::function<void(qint64)>& report) : report_(report) {}
    void moved(qint64 bytes)
    {
        const auto now = Clock::now();
        if (now - last_ >= PostInterval) {
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
        AbortableSocket(Impl& impl, int fd) : impl_(impl), fd_(fd)
        {
            std::lock_guard lock(impl_.abortMutex);
            impl_.openFds.push_back(fd_);
            if (impl_.aborted)
                ::shutdown(fd_, SHUT_RDWR);
        }
        ~AbortableSocket()
        {
            std::lock_guard lock(impl_.abortMutex);
            std::erase(impl_.openFds, fd_);
        }
        AbortableSocket(const AbortableSocket&) = delete;
        AbortableSocket& operator=(const AbortableSocket&) = delete;

    private:
        Impl& impl_;
        int fd_;
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
    std::vector<int> openFds;

    // Worker thread only.
    std::unique_ptr<ControlSession> session;
    std::unique_ptr<AbortableSocket> controlAbortable;
    bool loggedIn = false;
    bool epsvWorks = true;
    bool listsWithMlsd = false;   // the server offers machine listings
    bool listTakesDashA = true;   // until the server refuses "LIST -a"
    // Names of the last listing that were not UTF-8, shown decoded as
    // Latin-1, with the bytes the server sent: those go back in commands.
    QHash<QString, QByteArray> rawNames;
    QString serverLabel;              // "host:port", for messages
    Poco::Net::IPAddress serverHost;  // where data connections go
    std::string idleText;

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
        }
        job.finished(std::move(failure));
    }

    void checkAborted()
    {
        std::lock_guard lock(abortMutex);
        if (aborted)
            throw cancelled();
    }

    bool isAborted()
    {
        std::lock_guard lock(abortMutex);
        return aborted;
    }

    // ---- failures

    Poco::Timespan timeout() const { return Poco::Timespan(Poco::Timespan::TimeDiff(timeoutMs.load()) * 1000); }

    static FtpError cancelled()
    {
        return FtpError(ftp_errors::Cancelled, QStringLiteral("The FTP command was ended by the program."));
    }

    FtpError silent() const
    {
        return FtpError(ftp_errors::TimedOut, QStringLiteral("The server %1 did not answer within %2 seconds.")
                                                  .arg(serverLabel)
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
    // (reporting the disconnect before the failure); a refusal keeps it.
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
        if (isAborted())
            failure = cancelled();
        dropConnection();
        throw *failure;
    }

    void requireSession() const
    {
        if (!session || !loggedIn)
            throw FtpError(ftp_errors::NotConnected, QStringLiteral("There is no connection to a server."));
    }

    // ---- control connection

    void applyTimeout()
    {
        if (!session)
            return;
        try {
            session->socket().setReceiveTimeout(timeout());
            session->socket().setSendTimeout(timeout());
        } catch (const Poco::Exception&) {
            // A dead socket shows itself at the next exchange.
        }
    }

    void sendLine(const QString& line)
    {
        checkAborted();
        session->socket().sendMessage(EncodeCommand(line));
    }

    // A command whose argument is a name shown from Latin-1 sends the name's
    // own bytes; everything else goes as UTF-8.
    std::string EncodeCommand(const QString& line) const
    {
        const qsizetype blank = line.indexOf(u' ');
        if (blank > 0 && !rawNames.isEmpty()) {
            const auto raw = rawNames.constFind(line.sliced(blank + 1));
            if (raw != rawNames.cend())
                return QByteArray(line.first(blank + 1).toUtf8() + *raw).toStdString();
        }
        return Encode(line);
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
        FtpReply reply = readReply();
        if (reply.code / 100 == 2 && ChangesFolder(line))
            rawNames.clear();  // they belong to the folder just left
        return reply;
    }

    static bool ChangesFolder(const QString& line)
    {
        const QString verb = line.section(u' ', 0, 0).toUpper();
        return verb == QLatin1String("CWD") || verb == QLatin1String("CDUP") || verb == QLatin1String("XCWD");
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

    Poco::Net::SocketAddress resolve(const FtpLogin& login)
    {
        try {
            return Poco::Net::SocketAddress(Encode(login.host), Poco::UInt16(login.port));
        } catch (const Poco::Exception& e) {
            throw FtpError(ftp_errors::Network, QStringLiteral("The server address \"%1\" could not be found (%2).")
                                                    .arg(login.host, QString::fromStdString(e.displayText())));
        }
    }

    Poco::Net::StreamSocket connectControl(const Poco::Net::SocketAddress& address)
    {
        Poco::Net::StreamSocket socket(address.family());
        AbortableSocket abortable(*this, socket.impl()->sockfd());
        try {
            socket.connect(address, timeout());
        } catch (const Poco::TimeoutException&) {
            throw isAborted() ? cancelled() : silent();
        } catch (const Poco::Net::ConnectionRefusedException&) {
            throw isAborted() ? cancelled()
                              : FtpError(ftp_errors::Network,
                                         QStringLiteral("The server %1 refused the connection.").arg(serverLabel));
        } catch (const Poco::Exception& e) {
            throw isAborted() ? cancelled()
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
        controlAbortable = std::make_unique<AbortableSocket>(*this, socket.impl()->sockfd());
        serverHost = socket.peerAddress().host();
        epsvWorks = true;
        listsWithMlsd = false;
        listTakesDashA = true;
        rawNames.clear();
        applyTimeout();
        try {
            guarded([&] { logIn(login); });
        } catch (...) {
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
        // What the server offers beyond the basics decides how to list and
        // whether names travel as UTF-8.
        const FtpReply features = exchange(QStringLiteral("FEAT"));
        if (features.code == 211) {
            listsWithMlsd = HasFeature(features.text, u"MLST");
            if (HasFeature(features.text, u"UTF8"))
                exchange(QStringLiteral("OPTS UTF8 ON"));
        }
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
        data.abortable = std::make_unique<AbortableSocket>(*this, data.socket.impl()->sockfd());
        data.socket.connect(target, timeout());
        data.socket.setReceiveTimeout(timeout());
        data.socket.setSendTimeout(timeout());
        const FtpReply reply = exchange(commandLine);
        if (reply.code / 100 == 2)
            data.finalReplyPending = false;
        else if (reply.code / 100 != 1)
            throw refused(reply);
    }

    // Closes the data side and reads how the server saw the transfer.
    void finishData(DataConnection& data, bool checkReply)
    {
        data.close();
        if (!data.finalReplyPending)
            return;
        const FtpReply reply = readReply();
        if (checkReply && reply.code / 100 != 2)
            throw refused(reply);
    }

    // Opens a data connection for command; false when the server refuses it.
    bool tryOpenData(const QString& command, DataConnection& data)
    {
        try {
            openData(command, data);
            return true;
        } catch (const FtpError& e) {
            if (e.number / 100 != 5)
                throw;
            data.close();
            data.finalReplyPending = true;
            return false;
        }
    }

    // Machine listings when offered; otherwise a long listing with hidden
    // entries where the server takes "-a", else a plain one. A refusal is
    // remembered only once a plainer listing works: a folder that cannot be
    // listed at all says nothing about the commands.
    void openListing(DataConnection& data)
    {
        const bool mlsdRefused = listsWithMlsd && !tryOpenData(QStringLiteral("MLSD"), data);
        if (listsWithMlsd && !mlsdRefused)
            return;
        const bool dashARefused = listTakesDashA && !tryOpenData(QStringLiteral("LIST -a"), data);
        if (!listTakesDashA || dashARefused)
            openData(QStringLiteral("LIST"), data);
        listsWithMlsd = listsWithMlsd && !mlsdRefused;
        listTakesDashA = listTakesDashA && !dashARefused;
    }

    // One listing line as text; a line that is not UTF-8 is read as Latin-1
    // and the name in it is remembered with its bytes.
    QString listLine(const QByteArray& bytes)
    {
        bool latin1 = false;
        QString line = Decode(bytes, &latin1);
        if (latin1) {
            if (const std::optional<ListRow> row = ParseListLine(line)) {
                const QString name = row->folder ? row->text.chopped(1) : row->text;
                rawNames.insert(name, name.toLatin1());
            }
        }
        return line;
    }

    void list()
    {
        requireSession();
        rawNames.clear();
        guarded([&] {
            DataConnection data;
            openListing(data);
            std::vector<char> block(BlockSize);
            QByteArray partial;
            QStringList lines;
            auto lastPost = Clock::now();
            auto flush = [&] {
                if (!lines.isEmpty())
                    events.listLines(std::exchange(lines, {}));
                lastPost = Clock::now();
            };
            for (;;) {
                checkAborted();
                const int n = data.socket.receiveBytes(block.data(), BlockSize);
                if (n <= 0)
                    break;
                const char* p = block.data();
                const char* end = p + n;
                while (p < end) {
                    const char* newline = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
                    if (!newline) {
                        partial.append(p, end - p);
                        break;
                    }
                    partial.append(p, newline - p);
                    if (partial.endsWith('\r'))
                        partial.chop(1);
                    lines.append(listLine(partial));
                    partial.clear();
                    p = newline + 1;
                }
                if (lines.size() >= LinesPerPost || Clock::now() - lastPost >= PostInterval)
                    flush();
            }
            if (!partial.isEmpty())
                lines.append(listLine(partial));
            flush();
            finishData(data, true);
        });
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
        std::vector<char> block(BlockSize);
        qint64 total = 0;
        bool localFailed = false;
        ProgressThrottle throttle(events.progress);
        guarded([&] {
            DataConnection data;
            openData(QStringLiteral("RETR ") + remoteName, data);
            for (;;) {
                checkAborted();
                const int n = data.socket.receiveBytes(block.data(), BlockSize);
                if (n <= 0)
                    break;
                if (!WriteAll(file, block.data(), n)) {
                    localFailed = true;
                    break;
                }
                total += n;
                throttle.moved(total);
            }
            finishData(data, !localFailed);
        });
        if (localFailed || !target.commit())
            throw localWriteError(localPath, localFailed ? file.errorString() : target.errorString());
        events.progress(total);
    }

    void upload(const QString& localPath, const QString& remoteName)
    {
        requireSession();
        QFile file(localPath);
        if (!file.open(QIODevice::ReadOnly))
            throw FtpError(ftp_errors::LocalFile, QStringLiteral("The file \"%1\" cannot be read: %2")
                                                      .arg(QDir::toNativeSeparators(localPath), file.errorString()));
        std::vector<char> block(UploadBlockSize);
        qint64 total = 0;
        bool localFailed = false;
        ProgressThrottle throttle(events.progress);
        guarded([&] {
            DataConnection data;
            openData(QStringLiteral("STOR ") + remoteName, data);
            for (;;) {
                checkAborted();
                const qint64 n = file.read(block.data(), UploadBlockSize);
                if (n < 0) {
                    localFailed = true;
                    break;
                }
                if (n == 0)
                    break;
                for (qint64 sent = 0; sent < n;) {
                    const int step = data.socket.sendBytes(block.data() + sent, int(n - sent));
                    if (step <= 0)
                        throw lost(QStringLiteral("the data connection closed during the upload"));
                    sent += step;
                }
                total += n;
                throttle.moved(total);
            }
            finishData(data, !localFailed);
        });
        if (localFailed)
            throw FtpError(ftp_errors::LocalFile, QStringLiteral("The file \"%1\" could not be read to the end: %2")
                                                      .arg(QDir::toNativeSeparators(localPath), file.errorString()));
        events.progress(total);
    }
};

FtpWorker::FtpWorker(FtpWorkerEvents events) : d(std::make_unique<Impl>(std::move(events)))
{
    d->thread = std::thread([this] { d->run(); });
}

FtpWorker::~FtpWorker()
{
    {
        std::lock_guard lock(d->queueMutex);
        d->stopping = true;
    }
    abort();
    d->wake.notify_all();
    d->thread.join();
}

void FtpWorker::submit(std::function<void()> job, std::function<void(std::optional<FtpError>)> finished)
{
    {
        std::lock_guard lock(d->abortMutex);
        d->callRunning = true;
        d->aborted = false;
    }
    {
        std::lock_guard lock(d->queueMutex);
        d->jobs.push_back({std::move(job), std::move(finished)});
    }
    d->wake.notify_all();
}

void FtpWorker::abort()
{
    std::lock_guard lock(d->abortMutex);
    if (!d->callRunning)
        return;
    d->aborted = true;
    for (int fd : d->openFds)
        ::shutdown(fd, SHUT_RDWR);
}

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

void FtpWorker::rename(const QString& oldName, const QString& newName)
{
    const FtpReply from = command(QStringLiteral("RNFR ") + oldName);
    if (from.code / 100 != 3)
        throw Impl::refused(from);
    require(QStringLiteral("RNTO ") + newName);
}

void FtpWorker::list() { d->list(); }
void FtpWorker::download(const QString& remoteName, const QString& localPath) { d->download(remoteName, localPath); }
void FtpWorker::upload(const QString& localPath, const QString& remoteName) { d->upload(localPath, remoteName); }

}  // namespace quillmar
