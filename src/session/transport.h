#pragma once

#include "session/ftp_component.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace quillmar {

struct FtpLogin {
    QString host;
    int port = 21;
    QString userName;
    QString password;
    QString scheme = QStringLiteral("ftp");
    bool encryptedBefore = false;   // a refused AUTH TLS ends the connect before the login
};

struct FtpReply {
    int code = 0;
    QString text;   // every line of the reply, code first
};

// "host:port" (IPv6 hosts in brackets), for messages.
inline QString ServerLabel(const FtpLogin& login)
{
    return login.host.contains(u':') ? QStringLiteral("[%1]:%2").arg(login.host).arg(login.port)
                                     : QStringLiteral("%1:%2").arg(login.host).arg(login.port);
}

// A server certificate the system does not vouch for, as the person sees it.
struct ServerCertificate {
    QString host;
    int port = 0;
    QString subject;
    QString issuer;
    QString validFrom;
    QString validUntil;
    QString problem;       // why the system does not trust it
    QString fingerprint;   // SHA-256 as colon-separated upper-case hex pairs
    // An SSH host key instead of a certificate: its type ("ssh-ed25519"), the
    // fingerprint as OpenSSH prints it ("SHA256:" and base64); subject,
    // issuer and dates stay empty.
    QString keyType;
    bool listedKeyDiffers = false;   // SSH: the person's known_hosts lists another key for this server
};

// Asked on the worker thread; true to go on with the connection.
using TrustQuestion = std::function<bool(const ServerCertificate&)>;
// The passphrase of a key file, asked on the worker thread (again: the last
// one given did not unlock it); nothing when the person cancels.
using PassphraseQuestion = std::function<std::optional<QString>(const QString& keyFile, bool again)>;

// The local side of a transfer, called on the worker thread. Receiving,
// take(block, n) keeps n bytes and returns false to end the transfer early;
// sending, fill(block, size) puts up to size bytes there and returns how
// many, 0 at the end, -1 when the local file fails. progress gets the total
// moved so far, at most a few times a second.
struct TransferLocal {
    std::function<bool(const char*, qint64)> take;
    std::function<qint64(char*, qint64)> fill;
    std::function<void(qint64)> progress;
};

// How a transfer ended that the server did not refuse. LocalFailed and
// Stalled transfers were already ended with the server.
enum class TransferEnd { Complete, LocalFailed, Stalled };

// One protocol's side of the component: everything that talks to the server.
// Every call but abort() runs on the component's worker thread and throws
// FtpError; a transport that loses its connection says so through
// disconnected before it throws.
class Transport {
public:
    virtual ~Transport() = default;

    virtual void setTimeout(std::chrono::milliseconds timeout) = 0;  // for each network wait
    virtual bool connected() const = 0;
    virtual QString protection() const = 0;   // "TLS 1.3", or "Not encrypted"

    virtual void connect(const FtpLogin& login) = 0;   // connect and log in
    virtual TransferEnd list(const TransferLocal& local) = 0;   // the listing's raw text
    virtual void changeFolder(const QString& folder) = 0;   // ".." is the parent
    // The server's current folder; empty when the server does not say.
    virtual QString currentFolder() = 0;
    // The size of an entry of the current folder, -1 when the server does
    // not say (a refusal is no failure here).
    virtual qint64 sizeOf(const QString& name) = 0;
    // When an entry of the current folder last changed (UTC); invalid when
    // the server does not say.
    virtual QDateTime modifiedTime(const QString& name)
    {
        Q_UNUSED(name);
        return {};
    }
    // Gives an entry of the current folder the time it last changed; false
    // where the server does not offer that (a refusal is no failure here).
    virtual bool setModified(const QString& name, const QDateTime& time)
    {
        Q_UNUSED(name); Q_UNUSED(time);
        return false;
    }
    virtual TransferEnd get(const QString& remoteName, const TransferLocal& local) = 0;
    virtual TransferEnd put(const TransferLocal& local, const QString& remoteName) = 0;
    // An upload to a name made for it, where nothing can be in the way.
    virtual TransferEnd putNew(const TransferLocal& local, const QString& remoteName) { return put(local, remoteName); }
    // With replace, a server that will not rename onto an existing name has
    // the target deleted and the rename tried again; *targetRemoved (when
    // given) tells whether the target may be gone, also when the call throws.
    virtual void rename(const QString& from, const QString& to, bool replace, bool* targetRemoved = nullptr) = 0;
    virtual void remove(const QString& name) = 0;
    virtual void makeFolder(const QString& name) = 0;
    virtual void removeFolder(const QString& name) = 0;
    // A raw FTP command; a refusal is returned, not thrown. Other protocols
    // throw FtpError(ftp_errors::FtpOnly).
    virtual FtpReply command(const QString& line) = 0;

    // Picking up a broken transfer part-way: local moves the bytes from
    // offset on. Nothing is returned where the server will not start
    // part-way, and the caller starts from zero.
    virtual std::optional<TransferEnd> getFrom(const QString& remoteName, qint64 offset, const TransferLocal& local)
    {
        Q_UNUSED(remoteName); Q_UNUSED(offset); Q_UNUSED(local);
        return std::nullopt;
    }
    virtual std::optional<TransferEnd> putFrom(const TransferLocal& local, const QString& remoteName, qint64 offset)
    {
        Q_UNUSED(local); Q_UNUSED(remoteName); Q_UNUSED(offset);
        return std::nullopt;
    }
    virtual void quit() = 0;                              // never throws

    // A call begins or ends: abort() acts only in between.
    virtual void beginCall() = 0;
    virtual void endCall() = 0;
    // From any thread: ends the call's network waits with the failure
    // `number`. With keepControl only a data connection is cut, when there is one.
    virtual void abort(int number, bool keepControl) = 0;
    // After a call ended by abort() with the control connection kept: tells
    // the server (ABOR) and closes the connection when it does not answer.
    virtual void settleAbort() = 0;
    // Between calls: notices a server that hung up.
    virtual void watchIdle() = 0;
    // The program is closing: a last goodbye, no waiting.
    virtual void closeAtExit() = 0;

    // Names of the last listing that were not UTF-8 (shown decoded as
    // Latin-1), each with the bytes the server sent: a command naming one
    // sends those bytes, so a row always reaches the entry it came from.
    virtual void setRawNames(QHash<QString, QByteArray> names) = 0;
};

// Text from bytes a server sent: UTF-8 when they are, otherwise Latin-1, in
// which every byte stands for itself (*latin1 tells which).
QString DecodeServerText(QByteArrayView bytes, bool* latin1 = nullptr);
// The same, written to out, which has room for bytes.size() characters;
// returns the end of what it wrote.
QChar* DecodeServerTextInto(QChar* out, QByteArrayView bytes, bool* latin1 = nullptr);

// The failure of a call ended by Transport::abort() with `number`.
FtpError AbortFailure(int number);

// The transport for an address scheme ("ftp", "ftps", "sftp"), from the module
// of that protocol, loaded on its first use; throws FtpError for a scheme
// Quillmar does not speak or a module that is missing. Without a passphrase
// question, keys that need one are passed over.
std::unique_ptr<Transport> MakeTransport(const QString& scheme, std::function<void()> disconnected, TrustQuestion trust,
                                         PassphraseQuestion passphrase = {});

// What each protocol's module offers under the name kTransportEntry.
using TransportFactory = std::unique_ptr<Transport> (*)(const QString& scheme, std::function<void()> disconnected,
                                                        TrustQuestion trust, PassphraseQuestion passphrase);
inline constexpr char kTransportEntry[] = "quillmar_make_transport";

}  // namespace quillmar
