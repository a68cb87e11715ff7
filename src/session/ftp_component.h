#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

namespace quillmar {

// A failed FTP operation: a refused command carries the server's reply code
// and text; no connection carries 10038; network trouble carries a number of
// its own and a description a person can act on.
struct FtpError : std::runtime_error {
    FtpError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), number(number), description(description) {}
    int number;
    QString description;
};

namespace ftp_errors {
constexpr int NotConnected = 10038;
constexpr int Network = 10050;   // host unknown, unreachable, connection lost
constexpr int TimedOut = 10060;  // the server went silent
constexpr int BadName = 10022;   // a name that would break the command line
constexpr int LocalFile = 10013; // the local file cannot be read or written
constexpr int Cancelled = 10004; // the call was ended by the program (window closing, quitting)
constexpr int Stopped = 10053;   // the person stopped the call
constexpr int TooLong = 10040;   // a listing past its bounds, cut there
constexpr int Busy = 10036;      // a call was made while another one is still running
constexpr int NoEncryption = 10043;  // ftps:// to a server that offers no TLS
constexpr int Untrusted = 10061;     // the person did not trust the server's certificate
constexpr int EncryptionDropped = 10044;  // a server that spoke TLS before refuses it now
constexpr int ForeignData = 10062;   // a TLS data connection showed another server's certificate
constexpr int RenameRefused = 10045; // an upload arrived, but the server would not rename it onto its name
constexpr int FtpOnly = 10046;      // a raw FTP command sent over another protocol
constexpr int LoginCancelled = 10047;  // the person cancelled a question the login needed (a key's passphrase)
constexpr int NoRowSelected = 91; // a command for a selected row found none: "connect first"
// The numbers a server's refusal carries: its reply code.
constexpr int FirstRefusal = 400;
constexpr int LastRefusal = 599;
}  // namespace ftp_errors

// The server answered and said no (its reply code and text), as against the
// connection or the machine failing, or the call being ended.
inline bool IsServerRefusal(const FtpError& error)
{
    return error.number >= ftp_errors::FirstRefusal && error.number <= ftp_errors::LastRefusal;
}

// The failure of a call that needs a connection while there is none.
inline FtpError NoConnection()
{
    return FtpError(ftp_errors::NotConnected, QStringLiteral("There is no connection to a server."));
}

class FtpWorker;
struct ServerCertificate;

// The FTP component (objectName "FTP1"). Every method blocks until the
// operation is over. The network work happens on a worker thread; meanwhile
// the caller waits in a nested event loop, and the events below are delivered
// on the caller's thread before the method returns. Busy(true) and Busy(false)
// frame each wait, so the window can hold back input meanwhile. A quit request
// during a call ends it. Failures throw FtpError.
class FtpComponent : public QObject {
    Q_OBJECT
public:
    enum ActionCode { Connect = 5, Close = 9, ListFolder = 11 };

    explicit FtpComponent(QObject* parent = nullptr);
    ~FtpComponent() override;

    // Properties.
    void setHost(const QString& host);  // "host", "host:port" or "[v6]:port"
    void setUserName(const QString& user);
    void setPassword(const QString& password);
    void setPort(int port);             // used when Host names no port
    // Runs an ActionCode: Connect is OpenConnection, ListFolder is List,
    // Close is Quit.
    void setAction(int code);
    int State() const;                  // 0 no connection, 1 connection open
    void setCommand(const QString& command);
    QString Reply() const;
    // How the connection is protected: "TLS 1.3", "Not encrypted"; empty
    // while there is none.
    QString Protection() const;

    // Asked on the window thread, during Connect, about a certificate the
    // system does not vouch for; true to go on. Without one, such a
    // certificate is refused.
    void setTrustQuestion(std::function<bool(const ServerCertificate&)> question);
    // Asked on the window thread for the passphrase of an SSH key file (again:
    // the last one given was wrong); nothing when the person cancels. Unset,
    // keys that need a passphrase are passed over.
    void setPassphraseQuestion(std::function<std::optional<QString>(const QString& keyFile, bool again)> question);

    // Asked on the window thread, when a download finds a part of the same
    // server file kept from an earlier one: go on from the `have` bytes
    // there (of `total`)? Without one, it goes on.
    void setResumeQuestion(std::function<bool(const QString& name, qint64 have, qint64 total)> question);

    // The server spoke TLS before: when it refuses AUTH TLS now, Connect ends
    // with ftp_errors::EncryptionDropped before the login is sent.
    void setEncryptionExpected(bool expected);

    // Every network wait ends after this long (30 s unless set).
    void setTimeout(std::chrono::milliseconds timeout);

    // While connected and idle this long, a NOOP keeps the server from
    // closing the connection; zero (the default) sends none.
    void setKeepAlive(std::chrono::milliseconds interval);

    // A transfer that the connection broke (lost, reset, stalled; never a
    // Stop or a refusal) is tried again up to `tries` times (3 unless set),
    // after pauses doubling from firstPause (1 s unless set), on a new
    // connection to the same login and folder, going on from where the
    // bytes stopped where the server allows.
    void setResumePolicy(int tries, std::chrono::milliseconds firstPause);

    // The server closed an idle connection: the next call that needs one
    // logs in again with the same login, goes back to the same folder and
    // raises Reconnected before it runs.
    bool Reconnectable() const;

    // Methods. Names are relative to the current remote folder; local names
    // to the process's current folder.
    // Connects to Host and logs in with UserName and Password.
    void OpenConnection();
    void Quit();
    void ChangeDir(const QString& folder);
    void List();
    void MakeDir(const QString& folder);
    void DeleteFile(const QString& name);
    void RemoveDir(const QString& folder);
    // knownSize: the size the listing or the server gave, -1 when unknown;
    // Progress carries it (an upload expects the local file's size). A
    // download the connection gave out on, or that the program ended, keeps
    // its part of a large file for the next download of it to go on from.
    void GetFile(const QString& remoteName, const QString& localName, qint64 knownSize = -1);
    // modified, when valid, is given to the server copy where the server
    // allows (one call with the upload; a refusal is no failure).
    void PutFile(const QString& localName, const QString& remoteName, const QDateTime& modified = {});
    // Uploads straight to remoteName, for servers that refuse renames: an
    // interrupted upload then leaves a damaged copy under that name.
    void PutFileStraight(const QString& localName, const QString& remoteName, const QDateTime& modified = {});
    void Rename(const QString& oldName, const QString& newName);
    void SendCommand();   // FTP only: other protocols fail with ftp_errors::FtpOnly
    // The server's current folder, empty when it does not say; over any protocol.
    QString CurrentFolder();
    // The size of an entry of the current folder, -1 when the server does not say.
    qint64 SizeOf(const QString& name);
    // When an entry of the current folder last changed (UTC), invalid when
    // the server does not say; over any protocol.
    QDateTime ModifiedTime(const QString& name);
    // Gives an entry of the current folder the time it last changed; false
    // where the server does not offer that.
    bool SetModified(const QString& name, const QDateTime& time);

    // The size the transfer in progress (or the last one) expects; 0 when
    // unknown.
    qint64 ExpectedSize() const { return expected_; }

    // Ends the call in progress (if any) with a Stopped failure within a
    // second. A transfer's connection stays when the server answers ABOR
    // soon after; otherwise it is closed. Safe to call at any time; raises
    // StopRequested either way, so a command of many calls ends too.
    void Stop();

    // Ends the call in progress (if any) at once with a Cancelled failure,
    // closing the connection; used when the window closes. Safe at any time.
    void Abort();

Q_SIGNALS:
    void StateChanged(int connected);
    void ListEntry(const QString& line);
    void ListComplete();
    // bytes moved so far of the expected size (0 when unknown).
    void Progress(qint64 bytes, qint64 expected);
    void Busy(bool running);
    // Stop was asked for, during a call or between two.
    void StopRequested();
    // A call logged in again after the server had closed an idle connection.
    void Reconnected();
    // A transfer of `name` broke after `bytes`; try `attempt` of `attempts`
    // follows after a pause.
    void Resuming(const QString& name, qint64 bytes, int attempt, int attempts);
    // An upload's temporary file (path from the login folder) may now be on
    // the server, or is gone from there (renamed onto its name, removed, or
    // kept on purpose and named in a failure). One that never leaves was left
    // behind by a cut connection.
    void TemporaryUpload(const QString& path, bool onServer);

private:
    struct Call;
    struct Posted;

    // From the worker: item runs on this thread after everything posted
    // before it, in turns that leave this thread free in between.
    void post(std::function<void()> item);
    void askForTurn();   // a turn of deliverPosted on this thread's queue
    void deliverPosted();

    // Runs work on the worker thread and waits for it in a nested loop; the
    // events it posts are delivered before this returns. Returns the text the
    // work left in the call (the reply of SendCommand).
    QString runCall(std::function<void(FtpWorker&, Call&)> work);
    // PutFile, or PutFileStraight when straight.
    void upload(const QString& localName, const QString& remoteName, bool straight, const QDateTime& modified);
    // Throws NotConnected, unless the connection can come back (see Reconnectable).
    void requireConnection();
    void deliverState(int connected);
    void deliverLines(const QStringList& lines);

    QString host_;
    QString userName_;
    QString password_;
    QString command_;
    QString reply_;
    QString protection_;
    std::function<bool(const ServerCertificate&)> trustQuestion_;
    std::function<bool(const QString&, qint64, qint64)> resumeQuestion_;
    std::function<std::optional<QString>(const QString&, bool)> passphraseQuestion_;
    bool encryptionExpected_ = false;
    bool reconnectable_ = false;   // the server closed an idle connection
    int port_ = 21;
    qint64 expected_ = 0;          // of the transfer in progress; set before its call starts
    int state_ = 0;                // as last reported on this thread
    std::shared_ptr<Call> call_;   // the call in progress, if any
    std::unique_ptr<Posted> posted_;  // outlives the worker, which posts to it
    std::unique_ptr<FtpWorker> worker_;
};

}  // namespace quillmar
