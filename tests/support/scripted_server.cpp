#include "support/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <thread>

namespace quillmar::test {

namespace {

constexpr int PollSliceMs = 100;
constexpr int DataAcceptWaitMs = 10000;
constexpr int LineWaitMs = 30000;   // a client silent this long is given up
constexpr std::size_t MaxLine = 4096;

int Listen(const char* address, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(quint16(port));
    ::inet_pton(AF_INET, address, &where.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int LocalPort(int fd)
{
    sockaddr_in where{};
    socklen_t length = sizeof where;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&where), &length) != 0)
        return 0;
    return ntohs(where.sin_port);
}

bool SendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

bool Say(int fd, const std::string& line)
{
    const std::string text = line + "\r\n";
    return SendAll(fd, text.data(), text.size());
}

bool Readable(int fd, int ms)
{
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, ms) > 0;
}

// Commands answered the same whatever the script says.
const std::map<std::string, std::string> kFixedReplies = {
    {"USER", "331 Password, please."}, {"NOOP", "200 Still here."}, {"CWD", "250 Folder changed."},
    {"TYPE", "200 OK."}, {"ABOR", "226 Abort successful."}, {"PWD", "257 \"/\" is the current folder."},
};

}  // namespace

QStringList ScriptedServer::commands() const
{
    std::lock_guard lock(commandsMutex_);
    return commands_;
}

void ScriptedServer::Passive::close()
{
    if (data >= 0)
        ::close(data);
    if (stranger >= 0)
        ::close(stranger);
    data = stranger = -1;
}

ScriptedServer::ScriptedServer(ServerScript script) : script_(std::move(script))
{
    listener_ = Listen("127.0.0.1", script_.port);
    if (listener_ < 0)
        return;
    port_ = LocalPort(listener_);
    thread_ = std::thread([this] { run(); });
}

ScriptedServer::~ScriptedServer()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

void ScriptedServer::run()
{
    while (!stopping_) {
        if (!Readable(listener_, PollSliceMs))
            continue;
        const int control = ::accept(listener_, nullptr, nullptr);
        if (control < 0)
            continue;
        serve(control);
        ::close(control);
    }
}

// Waits for a whole line; Idle once idleMs (if >= 0) pass without one.
ScriptedServer::Wait ScriptedServer::readLine(int fd, std::string& pending, std::string& line, int idleMs)
{
    const QDeadlineTimer deadline(idleMs >= 0 ? idleMs : LineWaitMs);
    for (;;) {
        const auto newline = pending.find('\n');
        if (newline != std::string::npos) {
            line = pending.substr(0, newline);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            pending.erase(0, newline + 1);
            return Wait::Line;
        }
        if (stopping_)
            return Wait::Stopped;
        if (pending.size() > MaxLine)
            return Wait::Closed;
        if (deadline.hasExpired())
            return idleMs >= 0 ? Wait::Idle : Wait::Closed;
        if (!Readable(fd, int(std::min<qint64>(PollSliceMs, deadline.remainingTime()))))
            continue;
        char bytes[1024];
        const ssize_t n = ::recv(fd, bytes, sizeof bytes, 0);
        if (n <= 0)
            return Wait::Closed;
        pending.append(bytes, std::size_t(n));
    }
}

// Silent mode: holds the connection until the client leaves or the test ends.
void ScriptedServer::waitForPeerToGo(int fd)
{
    std::string pending;
    std::string line;
    while (readLine(fd, pending, line, -1) == Wait::Line) {
    }
}

bool ScriptedServer::openPassive(Passive& passive, int& port)
{
    passive.close();
    passive.data = Listen("127.0.0.1", 0);
    if (passive.data < 0)
        return false;
    port = LocalPort(passive.data);
    passive.stranger = Listen("127.0.0.2", port);   // -1 when the address is not usable here
    return true;
}

int ScriptedServer::acceptData(Passive& passive)
{
    const QDeadlineTimer deadline(DataAcceptWaitMs);
    while (!stopping_ && !deadline.hasExpired()) {
        pollfd entries[2] = {{passive.data, POLLIN, 0}, {passive.stranger, POLLIN, 0}};
        if (::poll(entries, passive.stranger >= 0 ? 2 : 1, PollSliceMs) <= 0)
            continue;
        if (passive.stranger >= 0 && (entries[1].revents & POLLIN)) {
            const int fd = ::accept(passive.stranger, nullptr, nullptr);
            if (fd >= 0) {
                ++strangerConnections_;
                ::close(fd);
            }
        }
        if (entries[0].revents & POLLIN) {
            const int fd = ::accept(passive.data, nullptr, nullptr);
            if (fd >= 0) {
                ++dataConnections_;
                return fd;
            }
        }
    }
    return -1;
}

bool ScriptedServer::dropsNow()
{
    if (script_.dropAfterBytes < 0 || dropped_ >= script_.drops)
        return false;
    ++dropped_;
    return true;
}

std::string ScriptedServer::retrieve(int data, qint64 from)
{
    const QByteArray file = script_.file.mid(from);
    if (dropsNow()) {
        SendAll(data, file.constData(), std::size_t(std::min(script_.dropAfterBytes, file.size())));
        return {};
    }
    const qint64 step = script_.dripBytes > 0 ? script_.dripBytes : file.size();
    for (qint64 sent = 0; sent < file.size(); sent += step) {
        if (stopping_ || !SendAll(data, file.constData() + sent, std::size_t(std::min(step, file.size() - sent))))
            return "426 Transfer aborted.";
        if (script_.dripBytes > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(script_.dripEveryMs));
    }
    return "226 Transfer complete.";
}

std::string ScriptedServer::store(int data, const std::string& name, qint64 from, bool append)
{
    QFile file(QDir(script_.folder).filePath(QString::fromStdString(name)));
    const QIODevice::OpenMode mode = append ? QIODevice::Append : from > 0 ? QIODevice::ReadWrite : QIODevice::WriteOnly;
    if (script_.folder.isEmpty() || !file.open(mode) || (from > 0 && !(file.resize(from) && file.seek(from))))
        return "553 Cannot store here.";
    const qint64 dropAt = dropsNow() ? script_.dropAfterBytes : -1;
    // A small receive buffer, so a stopped upload leaves little to drain.
    const int bufferBytes = 64 * 1024;
    ::setsockopt(data, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    char block[16 * 1024];
    for (qint64 received = 0;;) {
        if (script_.refuseStorAfterBytes >= 0 && received >= script_.refuseStorAfterBytes)
            return "552 Quota exceeded; the upload was refused.";
        if (!Readable(data, LineWaitMs))
            return "426 Timed out.";
        const qint64 wanted = dropAt >= 0 ? std::min<qint64>(sizeof block, dropAt - received) : qint64(sizeof block);
        if (wanted <= 0)
            return {};
        const ssize_t n = ::recv(data, block, std::size_t(wanted), 0);
        if (n < 0)
            return script_.hangUpOnBrokenStor ? std::string() : "426 Connection reset; transfer aborted.";
        if (n == 0)
            break;
        file.write(block, n);
        received += n;
        if (script_.storReadDelayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(script_.storReadDelayMs));
    }
    return "226 Stored.";
}

std::string ScriptedServer::list(int data)
{
    if (script_.endlessListLine) {
        const std::string block(64 * 1024, 'x');
        while (!stopping_ && SendAll(data, block.data(), block.size())) {
        }
        return "426 Listing aborted.";
    }
    std::string text = script_.listing.toStdString();
    if (!script_.folder.isEmpty()) {
        for (const QFileInfo& entry : QDir(script_.folder).entryInfoList(QDir::Files | QDir::Hidden))
            text += "-rw-r--r-- 1 owner group " + std::to_string(entry.size()) + " Jan 01 2026 " + entry.fileName().toStdString() + "\r\n";
    }
    SendAll(data, text.data(), text.size());
    if (++listings_ == script_.stallListing) {
        waitForPeerToGo(data);
        return "426 Listing aborted.";
    }
    return "226 Listed.";
}

void ScriptedServer::serve(int control)
{
    if (!script_.greet) {
        waitForPeerToGo(control);
        return;
    }
    if (!Say(control, "220 Scripted server ready."))
        return;
    std::string pending;
    std::string line;
    bool loggedIn = false;
    QString renameFrom;
    qint64 restart = 0;   // where the next transfer starts
    Passive passive;
    for (;;) {
        const bool idleHangUp = loggedIn && !(script_.idleHangUpOnce && idleHangUps_ > 0);
        const Wait wait = readLine(control, pending, line, idleHangUp ? script_.hangUpWhenIdleMs : -1);
        if (wait == Wait::Idle)
            ++idleHangUps_;
        if (wait == Wait::Idle && script_.say421)
            Say(control, "421 Idle too long, closing the connection.");
        if (wait != Wait::Line)
            break;
        {
            std::lock_guard lock(commandsMutex_);
            commands_.append(QString::fromStdString(line));
        }
        const std::string verb = line.substr(0, line.find(' '));   // the client sends verbs in capitals
        const auto fixed = kFixedReplies.find(verb);
        bool keepGoing = true;
        if (verb == "ABOR")
            std::this_thread::sleep_for(std::chrono::milliseconds(script_.aborReplyDelayMs));
        if (fixed != kFixedReplies.end()) {
            keepGoing = Say(control, fixed->second);
        } else if (verb == "PASS") {
            ++logins_;
            loggedIn = script_.refuseLoginsFrom <= 0 || logins_ < script_.refuseLoginsFrom;
            keepGoing = Say(control, loggedIn ? "230 Logged in." : "530 Login incorrect.");
        } else if (verb == "PASV" && ++passives_ == script_.hangUpOnPassive) {
            break;
        } else if (verb == "PASV") {
            int port = 0;
            if (!openPassive(passive, port)) {
                keepGoing = Say(control, "425 Cannot open a passive port.");
            } else {
                std::string host = script_.passiveHost.toStdString();
                for (char& c : host)
                    c = c == '.' ? ',' : c;
                keepGoing = Say(control, "227 Entering Passive Mode (" + host + "," + std::to_string(port / 256) + "," +
                                             std::to_string(port % 256) + ").");
            }
        } else if (verb == "REST") {
            restart = script_.refuseRest ? 0 : std::max<qint64>(0, QByteArray::fromStdString(line).mid(5).toLongLong());
            keepGoing = Say(control, script_.refuseRest ? "502 REST not understood." : "350 Restarting at " + std::to_string(restart) + ".");
        } else if (verb == "APPE" && script_.refuseAppe) {
            passive.close();
            keepGoing = Say(control, "502 APPE not understood.");
        } else if (verb == "RETR" || verb == "STOR" || verb == "APPE" || verb == "LIST") {
            const int data = passive.data >= 0 ? acceptData(passive) : -1;
            passive.close();
            if (data < 0) {
                keepGoing = Say(control, "425 No data connection.");
                continue;
            }
            Say(control, "150 Opening data connection.");
            const std::string name = line.size() > 5 ? line.substr(5) : std::string();
            if (verb == "RETR" && script_.stallAfterBytes >= 0) {
                SendAll(data, script_.file.constData(), std::size_t(std::min(script_.file.size(), script_.stallAfterBytes)));
                waitForPeerToGo(data);
                ::close(data);
                break;   // both connections end
            }
            const qint64 from = std::exchange(restart, 0);
            const bool saidComplete = verb == "RETR" && script_.completeBeforeData && Say(control, "226 Transfer complete.");
            const std::string reply = verb == "RETR"   ? retrieve(data, from)
                                      : verb == "LIST" ? list(data)
                                                       : store(data, name, verb == "APPE" ? 0 : from, verb == "APPE");
            ::close(data);
            if (reply.empty())
                break;   // hangs up
            if (!saidComplete)
                keepGoing = Say(control, reply);
        } else if (verb == "DELE" && !script_.folder.isEmpty()) {
            const bool removed = QFile::remove(QDir(script_.folder).filePath(QString::fromStdString(line.substr(5))));
            if (script_.hangUpAfterDelete)
                break;
            keepGoing = Say(control, removed ? "250 Deleted." : "550 No such file.");
        } else if (verb == "RNFR" && !script_.folder.isEmpty()) {
            renameFrom = QDir(script_.folder).filePath(QString::fromStdString(line.substr(5)));
            keepGoing = Say(control, QFile::exists(renameFrom) ? "350 Ready for RNTO." : "550 No such file.");
        } else if (verb == "RNTO" && !script_.folder.isEmpty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(script_.renameDelayMs));
            QString toName = QString::fromStdString(line.substr(5));
            if (script_.underscoreEdgeBlanks)
                toName.replace(QRegularExpression(QStringLiteral("^ | $")), QStringLiteral("_"));
            const QString to = QDir(script_.folder).filePath(toName);
            const bool refused = script_.refuseRenames || (script_.refuseRenameOntoExisting && QFile::exists(to));
            keepGoing = Say(control, !refused && QFile::rename(renameFrom, to) ? "250 Renamed." : "553 Rename refused.");
        } else if (verb == "SIZE" && !script_.folder.isEmpty()) {
            const QFileInfo entry(QDir(script_.folder).filePath(QString::fromStdString(line.substr(5))));
            keepGoing = Say(control, entry.isFile() ? "213 " + std::to_string(entry.size()) : "550 No such file.");
        } else if ((verb == "SIZE" || verb == "MDTM") && !script_.modified.isEmpty()) {
            keepGoing = Say(control, "213 " + (verb == "SIZE" ? std::to_string(script_.file.size()) : script_.modified.toStdString()));
        } else if (verb == "QUIT") {
            Say(control, "221 Goodbye.");
            break;
        } else {
            keepGoing = Say(control, "502 Not implemented here.");
        }
        if (!keepGoing)
            break;
    }
    passive.close();
}

}  // namespace quillmar::test
