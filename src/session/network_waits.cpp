#include "session/network_waits.h"

#include "session/transport.h"

#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <unistd.h>

namespace quillmar {

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait the system cannot be told to end looks for an abort.
constexpr auto AbortSlice = std::chrono::milliseconds(20);

std::chrono::microseconds Left(Clock::time_point end)
{
    return std::max(std::chrono::microseconds(0), std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()));
}

QString ErrnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

}  // namespace

QString SecondsText(std::chrono::milliseconds wait) { return QString::number(double(wait.count()) / 1000.0); }

FtpError ConnectionLost(const QString& server, const QString& why)
{
    QString text = QStringLiteral("The connection to the server %1 was lost.").arg(server);
    if (!why.isEmpty())
        text += QStringLiteral(" (%1)").arg(why);
    return FtpError(ftp_errors::Network, text);
}

FtpError NoAnswer(const QString& server, std::chrono::milliseconds timeout)
{
    return FtpError(ftp_errors::TimedOut,
                    QStringLiteral("The server %1 did not answer within %2 seconds.").arg(server, SecondsText(timeout)));
}

FtpError TransferStalled(const QString& server, std::chrono::milliseconds timeout)
{
    return FtpError(ftp_errors::TimedOut,
                    QStringLiteral("The transfer with the server %1 timed out: fewer than %2 bytes moved in %3 seconds.")
                        .arg(server)
                        .arg(StallBytes)
                        .arg(SecondsText(timeout)));
}

bool EndsConnection(int number)
{
    return number == ftp_errors::Network || number == ftp_errors::TimedOut || number == ftp_errors::Cancelled;
}

// ---- stall watch

StallWatch::StallWatch(std::chrono::milliseconds window, SetWait setWait)
    : window_(window), setWait_(std::move(setWait)), end_(Clock::now() + window_)
{
}

bool StallWatch::arm()
{
    std::lock_guard lock(mutex_);
    const Clock::time_point now = Clock::now();
    if (now >= end_) {
        if (bytes_ < StallBytes)
            return false;
        end_ = now + window_;
        bytes_ = 0;
    }
    if (bytes_ < StallBytes && setWait_)
        setWait_(std::max(std::chrono::microseconds(1000), Left(end_)));
    return true;
}

void StallWatch::moved(qint64 bytes)
{
    std::lock_guard lock(mutex_);
    bytes_ += bytes;
    if (bytes_ >= StallBytes && bytes_ - bytes < StallBytes && setWait_)
        setWait_(window_);
}

StallGuard::StallGuard(StallWatch& watch, std::function<void()> cut)
{
    thread_ = std::thread([this, &watch, cut = std::move(cut)] {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, AbortSlice, [this] { return done_; })) {
            if (!watch.arm()) {
                fired_ = true;
                cut();
                return;
            }
        }
    });
}

StallGuard::~StallGuard()
{
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

// ---- aborting

CallAbort::Socket::Socket(CallAbort& calls, int fd, bool data) : calls_(calls), fd_(fd)
{
    std::lock_guard lock(calls_.mutex_);
    calls_.open_.push_back({fd_, data});
    if (calls_.aborted_)
        ::shutdown(fd_, SHUT_RDWR);
}

CallAbort::Socket::~Socket()
{
    std::lock_guard lock(calls_.mutex_);
    std::erase_if(calls_.open_, [this](const Open& open) { return open.fd == fd_; });
}

void CallAbort::abort(int number, bool keepControl)
{
    std::lock_guard lock(mutex_);
    if (!running_)
        return;
    if (!aborted_)
        number_ = number;
    aborted_ = true;
    const bool dataOpen = std::any_of(open_.begin(), open_.end(), [](const Open& open) { return open.data; });
    controlKept_ = keepControl && (dataOpen || controlHeld_);
    for (const Open& open : open_) {
        if (open.data) {
            // Closed with a reset: bytes still queued for the server are dropped, not sent.
            const linger reset{1, 0};
            ::setsockopt(open.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
        if (open.data || !controlKept_)
            ::shutdown(open.fd, SHUT_RDWR);
    }
}

bool CallAbort::aborted() const
{
    std::lock_guard lock(mutex_);
    return aborted_;
}

void CallAbort::check() const
{
    if (aborted())
        throw failure();
}

FtpError CallAbort::failure() const
{
    std::lock_guard lock(mutex_);
    return AbortFailure(number_);
}

bool CallAbort::controlKept() const
{
    std::lock_guard lock(mutex_);
    return controlKept_;
}

void CallAbort::holdControl(bool held)
{
    std::lock_guard lock(mutex_);
    controlHeld_ = held;
}

void CallAbort::cut()
{
    std::lock_guard lock(mutex_);
    for (const Open& open : open_)
        ::shutdown(open.fd, SHUT_RDWR);
}

void CallAbort::setRunning(bool running)
{
    std::lock_guard lock(mutex_);
    running_ = running;
    aborted_ = false;
    controlKept_ = false;
}

// ---- look-up and connect

std::vector<NetAddress> LookUp(const QString& host, int port, std::chrono::milliseconds timeout, const CallAbort& calls)
{
    struct Lookup {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::vector<NetAddress> addresses;
        QString problem;
    };
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, name = host.toUtf8(), service = QByteArray::number(port)] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_ADDRCONFIG;
        addrinfo* found = nullptr;
        const int rc = ::getaddrinfo(name.constData(), service.constData(), &hints, &found);
        std::vector<NetAddress> addresses;
        for (const addrinfo* a = rc == 0 ? found : nullptr; a; a = a->ai_next) {
            NetAddress address;
            std::memcpy(&address.address, a->ai_addr, a->ai_addrlen);
            address.length = a->ai_addrlen;
            addresses.push_back(address);
        }
        if (found)
            ::freeaddrinfo(found);
        std::stable_partition(addresses.begin(), addresses.end(),
                              [](const NetAddress& a) { return a.address.ss_family == AF_INET; });
        std::lock_guard lock(lookup->mutex);
        lookup->addresses = std::move(addresses);
        lookup->problem = rc == 0 ? QString() : QString::fromLocal8Bit(::gai_strerror(rc));
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
    const auto deadline = Clock::now() + timeout;
    std::unique_lock lock(lookup->mutex);
    while (!lookup->finished) {
        calls.check();
        if (Clock::now() >= deadline)
            throw FtpError(ftp_errors::TimedOut, QStringLiteral("The server address \"%1\" could not be looked up within %2 seconds.")
                                                     .arg(host, SecondsText(timeout)));
        lookup->done.wait_for(lock, AbortSlice);
    }
    if (lookup->addresses.empty())
        throw FtpError(ftp_errors::Network, QStringLiteral("The server address \"%1\" could not be found (%2).")
                                                .arg(host, lookup->problem.isEmpty() ? QStringLiteral("no address") : lookup->problem));
    return lookup->addresses;
}

namespace {

// One connection attempt: 0 when made, otherwise the errno that ended it
// (ETIMEDOUT when the time-out passed).
int TryConnect(int fd, const NetAddress& address, std::chrono::milliseconds timeout, const CallAbort& calls)
{
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.address), address.length) != 0 && errno != EINPROGRESS)
        return errno;
    const auto end = Clock::now() + timeout;
    for (;;) {
        calls.check();
        pollfd wait{fd, POLLOUT, 0};
        if (::poll(&wait, 1, int(AbortSlice.count())) > 0)
            break;
        if (Clock::now() >= end)
            return ETIMEDOUT;
    }
    calls.check();
    int error = 0;
    socklen_t size = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
    ::fcntl(fd, F_SETFL, flags);
    return error;
}

}  // namespace

int ConnectTcp(const std::vector<NetAddress>& addresses, const QString& server, std::chrono::milliseconds timeout,
               CallAbort& calls)
{
    int lastError = EHOSTUNREACH;
    for (const NetAddress& address : addresses) {
        const int fd = ::socket(address.address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        try {
            const CallAbort::Socket abortable(calls, fd, false);
            lastError = TryConnect(fd, address, timeout, calls);
        } catch (...) {
            ::close(fd);
            throw;
        }
        if (lastError == 0)
            return fd;
        ::close(fd);
    }
    if (lastError == ETIMEDOUT)
        throw NoAnswer(server, timeout);
    if (lastError == ECONNREFUSED)
        throw FtpError(ftp_errors::Network, QStringLiteral("The server %1 refused the connection.").arg(server));
    throw FtpError(ftp_errors::Network,
                   QStringLiteral("The server %1 cannot be reached (%2).").arg(server, ErrnoText(lastError)));
}

}  // namespace quillmar
