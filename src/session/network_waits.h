#pragma once

// What every protocol's connection needs around its network waits: the
// time-out, the stall watch, sockets an abort can cut, name look-up under
// the time-out, and the failures these end in.

#include "session/ftp_component.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <condition_variable>
#include <vector>

#include <sys/socket.h>

namespace quillmar {

// How long any network wait may last unless the component is told otherwise.
inline constexpr std::chrono::milliseconds DefaultTimeout{30000};
// A transfer moving less than this in one time-out has stalled.
inline constexpr qint64 StallBytes = 1024;

// The time-out of one connection, set from the component's thread and read
// on the worker's.
class NetworkTimeout {
public:
    void set(std::chrono::milliseconds timeout) { ms_ = std::max<long long>(1, timeout.count()); }
    std::chrono::milliseconds get() const { return std::chrono::milliseconds(ms_.load()); }
    // The wait for something that needs no more than `cap`.
    std::chrono::milliseconds atMost(std::chrono::milliseconds cap) const { return std::min(get(), cap); }

private:
    std::atomic<long long> ms_{DefaultTimeout.count()};
};

// "2.5 seconds" style figure of a wait, for messages.
QString SecondsText(std::chrono::milliseconds wait);

// The failures a connection ends in, in words a person can act on.
FtpError ConnectionLost(const QString& server, const QString& why = {});
FtpError NoAnswer(const QString& server, std::chrono::milliseconds timeout);
FtpError TransferStalled(const QString& server, std::chrono::milliseconds timeout);
// Whether a failure ends the connection it came from.
bool EndsConnection(int number);

// Ends a transfer that moves fewer than StallBytes in one time-out window,
// however the bytes trickle in. setWait bounds the next wait on the
// connection: what is left of the window while it is short of StallBytes,
// the whole window once it has them. Safe to use from two threads: one
// moving the bytes, one watching (see StallGuard).
class StallWatch {
public:
    using SetWait = std::function<void(std::chrono::microseconds)>;
    StallWatch(std::chrono::milliseconds window, SetWait setWait = {});

    // Before each wait; false once the window has run out short.
    bool arm();
    void moved(qint64 bytes);

private:
    std::mutex mutex_;
    std::chrono::microseconds window_;
    SetWait setWait_;
    std::chrono::steady_clock::time_point end_;
    qint64 bytes_ = 0;
};

// For a protocol library that waits on its own and cannot be given a
// deadline: a thread that looks at the watch while the transfer runs and
// calls cut() once when the transfer has stalled.
class StallGuard {
public:
    StallGuard(StallWatch& watch, std::function<void()> cut);
    ~StallGuard();
    StallGuard(const StallGuard&) = delete;
    StallGuard& operator=(const StallGuard&) = delete;

    bool fired() const { return fired_; }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

// The abort of the call running on one connection. abort() may come from
// any thread: it shuts down the sockets the call may be blocked on. A data
// socket is always cut; the control socket stays when the person's Stop
// can be settled on it (keepControl, with a data connection open or the
// control held, see holdControl()).
class CallAbort {
public:
    // Keeps a socket's descriptor known to abort() while it may block.
    class Socket {
    public:
        Socket(CallAbort& calls, int fd, bool data);
        ~Socket();
        Socket(const Socket&) = delete;
        Socket& operator=(const Socket&) = delete;

    private:
        CallAbort& calls_;
        int fd_;
    };

    void begin() { setRunning(true); }
    void end() { setRunning(false); }
    void abort(int number, bool keepControl);

    bool aborted() const;
    void check() const;             // throws failure() once aborted
    FtpError failure() const;       // the failure an aborted call ends in
    bool controlKept() const;       // the abort left the control connection alone
    // While held, a Stop that keeps the connection does not cut the control
    // socket even with no data connection open: the transport ends the call
    // there itself.
    void holdControl(bool held);
    // Shuts down every socket now, abort or not: for a watch that has given
    // up on the connection.
    void cut();

private:
    struct Open {
        int fd;
        bool data;
    };
    void setRunning(bool running);

    mutable std::mutex mutex_;
    bool running_ = false;
    bool aborted_ = false;
    bool controlKept_ = false;
    bool controlHeld_ = false;
    int number_ = ftp_errors::Cancelled;
    std::vector<Open> open_;
};

// A resolved address to connect to.
struct NetAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
};

// The addresses of host, IPv4 first, looked up on a thread of its own that
// is left behind when the time-out passes or the call is aborted: the
// system's resolver cannot be interrupted. Throws FtpError.
std::vector<NetAddress> LookUp(const QString& host, int port, std::chrono::milliseconds timeout, const CallAbort& calls);

// A TCP connection to the first of addresses that answers within the
// time-out, cut by an abort meanwhile; the descriptor is the caller's.
// Throws FtpError saying why none could be reached.
int ConnectTcp(const std::vector<NetAddress>& addresses, const QString& server, std::chrono::milliseconds timeout,
               CallAbort& calls);

}  // namespace quillmar
