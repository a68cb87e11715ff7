#pragma once

#include "session/ftp_component.h"
#include "session/transport.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace quillmar {

// What the worker reports; called on the worker thread, in the order things
// happen. The component turns each into a post to the window thread.
struct FtpWorkerEvents {
    std::function<void(int connected)> stateChanged;
    std::function<void(QStringList lines)> listLines;
    std::function<void(qint64 bytes)> progress;
    std::function<void(QString protection)> connected;   // just before stateChanged(1)
    // An upload's temporary file may be on the server now, or is gone (see
    // FtpComponent::TemporaryUpload).
    std::function<void(QString path, bool onServer)> temporaryUpload;
    // Puts the question to the person; answer(yes) may come from any thread.
    std::function<void(const ServerCertificate& certificate, std::function<void(bool)> answer)> askTrust;
    // Asks for a key's passphrase; answer (nothing: cancelled) may come from any thread.
    std::function<void(QString keyFile, bool again, std::function<void(std::optional<QString>)> answer)> askPassphrase;
    // The server closed the connection between calls; stands for
    // stateChanged(0) as well.
    std::function<void()> idleDrop;
    // A part of name kept from an earlier download holds `have` of its
    // `total` bytes: go on from there? answer(yes) may come from any thread.
    std::function<void(QString name, qint64 have, qint64 total, std::function<void(bool)> answer)> askResume;
    // A transfer broke after `bytes`; try `attempt` of `attempts` follows a pause.
    std::function<void(QString name, qint64 bytes, int attempt, int attempts)> resuming;
};

// The thread that owns the transport and runs every call on it, one at a
// time; between calls the transport watches its connection, so a server that
// hangs up is noticed without any call. Part files, temporary uploads,
// listing bounds and the pace of events are kept here, apart from the protocol.
class FtpWorker {
public:
    explicit FtpWorker(FtpWorkerEvents events);
    ~FtpWorker();   // ends any job, closes the connection, joins the thread

    FtpWorker(const FtpWorker&) = delete;
    FtpWorker& operator=(const FtpWorker&) = delete;

    // Queues job; finished runs on the worker thread after it, with the
    // failure if there was one.
    void submit(std::function<void()> job, std::function<void(std::optional<FtpError>)> finished);
    // Ends the job in progress with the failure `number` (Stopped or
    // Cancelled); does nothing between jobs. With keepControl only the data
    // connection is cut, so the control connection survives when the server
    // answers ABOR afterwards; without a data connection, or without
    // keepControl, every socket of the job is cut.
    void abort(int number, bool keepControl);
    void setTimeout(std::chrono::milliseconds timeout);
    // While connected and idle this long, a NOOP goes out; zero sends none.
    void setKeepAlive(std::chrono::milliseconds interval);
    // A broken transfer is tried again up to `tries` times, after pauses
    // doubling from firstPause.
    void setResumePolicy(int tries, std::chrono::milliseconds firstPause);

    // The operations; call them only from a job. Each throws FtpError.
    void open(const FtpLogin& login);
    // The last login again, back in the folder the connection was in.
    void reconnect();
    void quit();
    FtpReply command(const QString& line);          // a negative reply is returned, not thrown
    QString currentFolder();                        // empty when the server does not say
    qint64 sizeOf(const QString& name);             // -1 when the server does not say
    QDateTime modifiedTime(const QString& name);    // invalid when the server does not say
    bool setModified(const QString& name, const QDateTime& time);   // false where not offered
    void changeFolder(const QString& folder);
    void remove(const QString& name);
    void makeFolder(const QString& name);
    void removeFolder(const QString& name);
    void rename(const QString& oldName, const QString& newName);
    void list();
    // knownSize: the file's size as listed, -1 to ask the server.
    void download(const QString& remoteName, const QString& localPath, qint64 knownSize = -1);
    // Straight to remoteName, or by way of a temporary name renamed onto it.
    void upload(const QString& localPath, const QString& remoteName, bool straight, const QDateTime& modified = {});

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace quillmar
