#include "session/ftp_component.h"

#include "session/entry_names.h"
#include "session/ftp_address.h"
#include "session/ftp_component_worker.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace quillmar {

namespace {

// A stop that has not ended the call by then cuts the control connection too.
constexpr auto StopGrace = std::chrono::milliseconds(600);
// How long a quit request waits for the worker to let go of the call.
constexpr auto QuitWait = std::chrono::milliseconds(2500);
// The longest the worker's events keep this thread from its own work (a
// repaint, Stop) at one go; a long listing arrives faster than its rows are made.
constexpr auto DeliverySlice = std::chrono::milliseconds(20);

QString Visible(QString text)
{
    return text.replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n")).replace(QChar(0), QStringLiteral("\\0"));
}

// A line break (or NUL) inside would end the command line early and let the
// rest be read as a second command.
void RefuseLineBreaks(const QString& text, const QString& what)
{
    if (!LineBreakProblem(text).isEmpty())
        throw FtpError(ftp_errors::BadName, QStringLiteral("The %1 \"%2\" holds a line break and cannot be sent to the server.")
                                                .arg(what, Visible(text)));
}

}  // namespace

// What the worker posts, in order, for this thread to deliver.
struct FtpComponent::Posted {
    std::mutex mutex;
    std::deque<std::function<void()>> items;
    bool scheduled = false;  // a delivery turn is on this thread's queue
};

struct FtpComponent::Call {
    bool done = false;                  // seen on the window thread
    std::optional<FtpError> failure;
    QString result;
    QEventLoop* loop = nullptr;

    // Set by the worker; read without an event loop when the program quits.
    std::mutex mutex;
    std::condition_variable finished;
    bool workerDone = false;
    std::optional<FtpError> workerFailure;

    void finish(std::optional<FtpError> failure)
    {
        std::lock_guard lock(mutex);
        workerFailure = std::move(failure);
        workerDone = true;
        finished.notify_all();
    }
    bool waitForWorker(std::chrono::milliseconds limit)
    {
        std::unique_lock lock(mutex);
        return finished.wait_for(lock, limit, [this] { return workerDone; });
    }
};

FtpComponent::FtpComponent(QObject* parent) : QObject(parent), posted_(std::make_unique<Posted>())
{
    setObjectName(QStringLiteral("FTP1"));
    FtpWorkerEvents events;
    events.stateChanged = [this](int connected) {
        post([this, connected] { deliverState(connected); });
    };
    events.listLines = [this](QStringList lines) {
        post([this, lines = std::move(lines)] { deliverLines(lines); });
    };
    events.progress = [this](qint64 bytes) {
        // Read on the worker's side: no transfer starts while this one runs.
        post([this, bytes, expected = expected_] { Q_EMIT Progress(bytes, expected); });
    };
    events.temporaryUpload = [this](QString path, bool onServer) {
        post([this, path, onServer] { Q_EMIT TemporaryUpload(path, onServer); });
    };
    events.connected = [this](QString protection) {
        post([this, protection] { protection_ = protection; });
    };
    events.askTrust = [this](const ServerCertificate& certificate, std::function<void(bool)> answer) {
        post([this, certificate, answer] { answer(trustQuestion_ && trustQuestion_(certificate)); });
    };
    events.askResume = [this](QString name, qint64 have, qint64 total, std::function<void(bool)> answer) {
        post([=, this] { answer(!resumeQuestion_ || resumeQuestion_(name, have, total)); });
    };
    events.askPassphrase = [this](QString keyFile, bool again, std::function<void(std::optional<QString>)> answer) {
        post([this, keyFile, again, answer] {
            answer(passphraseQuestion_ ? passphraseQuestion_(keyFile, again) : std::nullopt);
        });
    };
    events.idleDrop = [this] {
        post([this] {
            reconnectable_ = true;
            deliverState(0);
        });
    };
    events.resuming = [this](QString name, qint64 bytes, int attempt, int attempts) {
        post([=, this] { Q_EMIT Resuming(name, bytes, attempt, attempts); });
    };
    worker_ = std::make_unique<FtpWorker>(std::move(events));
}

FtpComponent::~FtpComponent()
{
    // A call still waiting below us on this thread ends with Cancelled.
    if (call_) {
        call_->failure = FtpError(ftp_errors::Cancelled, QStringLiteral("The FTP component was closed during the command."));
        call_->done = true;
        if (call_->loop)
            call_->loop->quit();
    }
    worker_.reset();
}

void FtpComponent::setHost(const QString& host) { host_ = host; }
void FtpComponent::setUserName(const QString& user) { userName_ = user; }
void FtpComponent::setPassword(const QString& password) { password_ = password; }
void FtpComponent::setPort(int port) { port_ = port; }
int FtpComponent::State() const { return state_; }
void FtpComponent::setCommand(const QString& command) { command_ = command; }
QString FtpComponent::Reply() const { return reply_; }
QString FtpComponent::Protection() const { return state_ == 1 ? protection_ : QString(); }

void FtpComponent::setTrustQuestion(std::function<bool(const ServerCertificate&)> question)
{
    trustQuestion_ = std::move(question);
}
void FtpComponent::setResumeQuestion(std::function<bool(const QString&, qint64, qint64)> question)
{
    resumeQuestion_ = std::move(question);
}
void FtpComponent::setPassphraseQuestion(std::function<std::optional<QString>(const QString&, bool)> question)
{
    passphraseQuestion_ = std::move(question);
}
void FtpComponent::setEncryptionExpected(bool expected) { encryptionExpected_ = expected; }
void FtpComponent::setTimeout(std::chrono::milliseconds timeout) { worker_->setTimeout(timeout); }
void FtpComponent::setKeepAlive(std::chrono::milliseconds interval) { worker_->setKeepAlive(interval); }
void FtpComponent::setResumePolicy(int tries, std::chrono::milliseconds firstPause)
{
    worker_->setResumePolicy(tries, firstPause);
}
bool FtpComponent::Reconnectable() const { return state_ == 0 && reconnectable_; }

void FtpComponent::setAction(int code)
{
    switch (code) {
    case Connect:
        OpenConnection();
        return;
    case ListFolder:
        List();
        return;
    case Close:
        Quit();
        return;
    default:
        throw FtpError(ftp_errors::BadName, QStringLiteral("The FTP component has no action %1.").arg(code));
    }
}

void FtpComponent::OpenConnection()
{
    RefuseLineBreaks(host_, QStringLiteral("server address"));
    RefuseLineBreaks(userName_, QStringLiteral("user name"));
    RefuseLineBreaks(password_, QStringLiteral("password"));
    const int defaultPort = (port_ >= 1 && port_ <= 65535) ? port_ : kDefaultFtpPort;
    const auto address = SplitServerAddress(host_, defaultPort);
    if (!address)
        throw FtpError(ftp_errors::Network,
                       QStringLiteral("The server address \"%1\" is not valid. %2").arg(host_, ServerAddressProblem(host_)));
    const FtpLogin login{address->host, address->port, userName_, password_, address->scheme, encryptionExpected_};
    reconnectable_ = false;
    runCall([login](FtpWorker& worker, Call&) { worker.open(login); });
}

void FtpComponent::Quit()
{
    if (call_)
        throw FtpError(ftp_errors::Busy, QStringLiteral("Another FTP command is still running."));
    reconnectable_ = false;
    if (state_ == 0)
        return;
    runCall([](FtpWorker& worker, Call&) { worker.quit(); });
}

void FtpComponent::ChangeDir(const QString& folder)
{
    RefuseLineBreaks(folder, QStringLiteral("folder name"));
    requireConnection();
    runCall([folder](FtpWorker& worker, Call&) { worker.changeFolder(folder); });
}

void FtpComponent::List()
{
    requireConnection();
    runCall([](FtpWorker& worker, Call&) { worker.list(); });
    Q_EMIT ListComplete();
}

void FtpComponent::MakeDir(const QString& folder)
{
    RefuseLineBreaks(folder, QStringLiteral("folder name"));
    requireConnection();
    runCall([folder](FtpWorker& worker, Call&) { worker.makeFolder(folder); });
}

void FtpComponent::DeleteFile(const QString& name)
{
    RefuseLineBreaks(name, QStringLiteral("file name"));
    requireConnection();
    runCall([name](FtpWorker& worker, Call&) { worker.remove(name); });
}

void FtpComponent::RemoveDir(const QString& folder)
{
    RefuseLineBreaks(folder, QStringLiteral("folder name"));
    requireConnection();
    runCall([folder](FtpWorker& worker, Call&) { worker.removeFolder(folder); });
}

void FtpComponent::GetFile(const QString& remoteName, const QString& localName, qint64 knownSize)
{
    RefuseLineBreaks(remoteName, QStringLiteral("file name"));
    requireConnection();
    expected_ = std::max<qint64>(knownSize, 0);
    const QString localPath = QFileInfo(localName).absoluteFilePath();
    runCall([=](FtpWorker& worker, Call&) { worker.download(remoteName, localPath, knownSize); });
}

void FtpComponent::PutFile(const QString& localName, const QString& remoteName, const QDateTime& modified)
{
    upload(localName, remoteName, false, modified);
}

void FtpComponent::PutFileStraight(const QString& localName, const QString& remoteName, const QDateTime& modified)
{
    upload(localName, remoteName, true, modified);
}

void FtpComponent::upload(const QString& localName, const QString& remoteName, bool straight,
                          const QDateTime& modified)
{
    RefuseLineBreaks(remoteName, QStringLiteral("file name"));
    requireConnection();
    const QFileInfo local(localName);
    const QString localPath = local.absoluteFilePath();
    expected_ = local.size();
    runCall([localPath, remoteName, straight, modified](FtpWorker& worker, Call&) {
        worker.upload(localPath, remoteName, straight, modified);
    });
}

void FtpComponent::Rename(const QString& oldName, const QString& newName)
{
    RefuseLineBreaks(oldName, QStringLiteral("name"));
    RefuseLineBreaks(newName, QStringLiteral("new name"));
    requireConnection();
    runCall([oldName, newName](FtpWorker& worker, Call&) { worker.rename(oldName, newName); });
}

void FtpComponent::SendCommand()
{
    RefuseLineBreaks(command_, QStringLiteral("command"));
    requireConnection();
    const QString line = command_;
    reply_ = runCall([line](FtpWorker& worker, Call& call) { call.result = worker.command(line).text; });
}

QString FtpComponent::CurrentFolder()
{
    requireConnection();
    return runCall([](FtpWorker& worker, Call& call) { call.result = worker.currentFolder(); });
}

qint64 FtpComponent::SizeOf(const QString& name)
{
    RefuseLineBreaks(name, QStringLiteral("name"));
    requireConnection();
    return runCall([name](FtpWorker& worker, Call& call) { call.result = QString::number(worker.sizeOf(name)); }).toLongLong();
}

QDateTime FtpComponent::ModifiedTime(const QString& name)
{
    RefuseLineBreaks(name, QStringLiteral("name"));
    requireConnection();
    // The result travels as text, as every call's does.
    const QString text = runCall([name](FtpWorker& worker, Call& call) {
        call.result = worker.modifiedTime(name).toString(Qt::ISODate);
    });
    return QDateTime::fromString(text, Qt::ISODate);
}

bool FtpComponent::SetModified(const QString& name, const QDateTime& time)
{
    RefuseLineBreaks(name, QStringLiteral("name"));
    requireConnection();
    return !runCall([name, time](FtpWorker& worker, Call& call) {
                if (worker.setModified(name, time))
                    call.result = QStringLiteral("set");
            }).isEmpty();
}

void FtpComponent::Stop()
{
    Q_EMIT StopRequested();
    if (!call_)
        return;
    worker_->abort(ftp_errors::Stopped, true);
    std::weak_ptr<Call> stopped = call_;
    QTimer::singleShot(StopGrace, this, [this, stopped] {
        if (const auto call = stopped.lock(); call && call == call_ && !call->done)
            worker_->abort(ftp_errors::Stopped, false);
    });
}

void FtpComponent::Abort()
{
    worker_->abort(ftp_errors::Cancelled, false);
}

void FtpComponent::requireConnection()
{
    if (state_ != 0)
        return;
    if (!reconnectable_)
        throw NoConnection();
    try {
        runCall([](FtpWorker& worker, Call&) { worker.reconnect(); });
    } catch (const FtpError& e) {
        // A refused login would be refused again: the person connects anew.
        if (!IsServerRefusal(e))
            throw;
        reconnectable_ = false;
        throw FtpError(e.number, QStringLiteral("The server %1 closed the idle connection and refused the login when "
                                                "Quillmar connected again: %2\nCheck the user name and password, then "
                                                "connect.")
                                     .arg(host_, e.description));
    }
    reconnectable_ = false;
    Q_EMIT Reconnected();
}

QString FtpComponent::runCall(std::function<void(FtpWorker&, Call&)> work)
{
    if (call_)
        throw FtpError(ftp_errors::Busy, QStringLiteral("Another FTP command is still running."));
    auto call = std::make_shared<Call>();
    call_ = call;
    FtpWorker* worker = worker_.get();
    worker->submit([worker, call, work = std::move(work)] { work(*worker, *call); },
                   [this, call](std::optional<FtpError> failure) {
                       call->finish(std::move(failure));
                       // The last post of the call: everything it raised is delivered before this.
                       post([call] {
                           call->done = true;
                           if (call->loop)
                               call->loop->quit();
                       });
                   });
    QPointer<FtpComponent> self(this);
    Q_EMIT Busy(true);
    bool quitting = false;
    if (self && !call->done) {
        // Input is not excluded: Stop and the close box must get through.
        QEventLoop loop;
        call->loop = &loop;
        loop.exec();
        call->loop = nullptr;
        // Only a quit request leaves the loop early; after it every loop
        // returns at once, so the worker is waited for without one.
        quitting = !call->done;
    }
    if (!self)
        throw *call->failure;  // set by the destructor
    if (quitting) {
        worker_->abort(ftp_errors::Cancelled, false);
        call->waitForWorker(QuitWait);
        call->failure = FtpError(ftp_errors::Cancelled, QStringLiteral("The FTP command was ended because the program is quitting."));
    } else {
        std::lock_guard lock(call->mutex);
        call->failure = call->workerFailure;
    }
    call_.reset();
    Q_EMIT Busy(false);
    if (call->failure)
        throw *call->failure;
    return call->result;
}

void FtpComponent::post(std::function<void()> item)
{
    bool schedule = false;
    {
        std::lock_guard lock(posted_->mutex);
        posted_->items.push_back(std::move(item));
        schedule = !std::exchange(posted_->scheduled, true);
    }
    if (schedule)
        askForTurn();
}

void FtpComponent::askForTurn()
{
    QMetaObject::invokeMethod(this, [this] { deliverPosted(); }, Qt::QueuedConnection);
}

// One turn: items in order until the slice is used up; the rest come in the
// next turn, queued behind whatever this thread has waiting meanwhile.
void FtpComponent::deliverPosted()
{
    QPointer<FtpComponent> self(this);
    QElapsedTimer turn;
    turn.start();
    {
        // From here a post asks for the next turn: an item that waits in a
        // loop of its own (a question, a call from a handler) still gets
        // what follows it.
        std::lock_guard lock(posted_->mutex);
        posted_->scheduled = false;
    }
    for (;;) {
        std::function<void()> item;
        {
            std::lock_guard lock(posted_->mutex);
            if (posted_->items.empty())
                return;
            if (turn.hasExpired(DeliverySlice.count())) {
                if (!std::exchange(posted_->scheduled, true))
                    askForTurn();
                return;
            }
            item = std::move(posted_->items.front());
            posted_->items.pop_front();
        }
        item();
        if (!self)
            return;
    }
}

void FtpComponent::deliverState(int connected)
{
    if (state_ == connected)
        return;
    state_ = connected;
    Q_EMIT StateChanged(connected);
}

void FtpComponent::deliverLines(const QStringList& lines)
{
    QPointer<FtpComponent> self(this);
    for (const QString& line : lines) {
        Q_EMIT ListEntry(line);
        if (!self)
            return;
    }
}

}  // namespace quillmar
