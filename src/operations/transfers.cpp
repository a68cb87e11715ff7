#include "operations/transfers.h"

#include "operations/publish_plan.h"
#include "operations/published_copies.h"
#include "pictures/local_pane.h"
#include "pictures/picture_cache.h"
#include "pictures/picture_rules.h"
#include "pictures/server_list_model.h"
#include "pictures/server_list_view.h"
#include "pictures/web_ready.h"
#include "session/entry_names.h"
#include "session/ftp_component.h"
#include "browse/session_controller.h"
#include "shell/constants.h"
#include "shell/feedback.h"
#include "shell/services.h"
#include "sites/web_address.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QLocale>
#include <QMutex>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThreadPool>

#include <memory>
#include <optional>
#include <utility>

#include <list>

namespace quillmar {

namespace {

QString BytesText(qint64 bytes)
{
    return QStringLiteral("%1 bytes").arg(QLocale().toString(bytes));
}

// The question before a transfer replaces a file; All answers it for the
// rest of the command.
class ReplaceQuestion {
public:
    enum class Answer { Replace, Skip, Cancel };

    ReplaceQuestion(Dialogs& dialogs, Feedback& feedback, bool ask) : dialogs_(dialogs), feedback_(feedback), ask_(ask)
    {
    }

    // name already exists where it is going (its size there: targetSize).
    Answer ask(const QString& name, const QString& there, const QString& targetSize, const QString& from,
               const QString& sourceSize)
    {
        if (!ask_)
            return Answer::Replace;
        const QString text = QStringLiteral("Replace %1 %2 (%3) with %1 %4 (%5)?\nYes replaces it, All replaces it "
                                            "and every further one, No skips it; closing this window stops the "
                                            "transfer of the rest.")
                                 .arg(name, there, targetSize, from, sourceSize);
        // The status line tells what waits, not what the last file did.
        feedback_.status(QStringLiteral("Status: Waiting for your answer: replace %1?").arg(name));
        switch (dialogs_.confirm(text)) {
        case Dialogs::ConfirmChoice::Yes:
            return Answer::Replace;
        case Dialogs::ConfirmChoice::All:
            ask_ = false;
            return Answer::Replace;
        case Dialogs::ConfirmChoice::No:
            return Answer::Skip;
        case Dialogs::ConfirmChoice::Closed:
            break;
        }
        return Answer::Cancel;
    }

private:
    Dialogs& dialogs_;
    Feedback& feedback_;
    bool ask_;
};

// Stop asked for at any moment of a command of many files, also between
// two of them, when no call is running to be ended: the command ends before
// the next file.
class StopRequest {
public:
    explicit StopRequest(FtpComponent& ftp)
        : connection_(QObject::connect(&ftp, &FtpComponent::StopRequested, [this] { asked_ = true; }))
    {
    }
    ~StopRequest() { QObject::disconnect(connection_); }
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;
    bool asked() const { return asked_; }

private:
    QMetaObject::Connection connection_;
    bool asked_ = false;
};

FtpError StoppedBetweenFiles()
{
    return FtpError(ftp_errors::Stopped, QStringLiteral("Stopped; the files sent before are in place, the rest were "
                                                        "not sent."));
}

}  // namespace

// The cache copies of uploaded pictures are made on a thread of their own
// while the next files go up; all are in place when the command ends.
class CacheCopies {
public:
    explicit CacheCopies(QString appFolder) : appFolder_(std::move(appFolder))
    {
        pool_.setMaxThreadCount(1);
    }
    ~CacheCopies() { pool_.waitForDone(); }

    // file is what the server got, as stamped before the send; work, when
    // set, holds it until copied.
    void add(const ServerPlace& place, const QString& file, const FileStamp& asSent, const QString& name,
             std::optional<QTemporaryDir> work)
    {
        auto keep = std::make_shared<std::optional<QTemporaryDir>>(std::move(work));
        pool_.start([this, place, file, asSent, name, keep] {
            QString problem;
            if (writerFor(place).store(file, name, &problem, asSent))
                return;
            const QMutexLocker lock(&mutex_);
            problems_ << QStringLiteral("%1: %2").arg(name, problem);
        });
    }

    // Waits for every copy; what went wrong, one line a picture.
    QStringList finish()
    {
        pool_.waitForDone();
        saveLinks();
        const QMutexLocker lock(&mutex_);
        return problems_;
    }

private:
    // One writer per place in turn: a command's files mostly share one, and
    // a writer reads its place's folder once. Used by the pool's one thread only.
    CacheWriter& writerFor(const ServerPlace& place)
    {
        if (!writer_ || writerPlace_.site != place.site || writerPlace_.folder != place.folder) {
            saveLinks();
            writer_.emplace(appFolder_, place);
            writerPlace_ = place;
        }
        return *writer_;
    }

    void saveLinks()
    {
        QString problem;
        if (!writer_ || writer_->saveLinks(&problem))
            return;
        const QMutexLocker lock(&mutex_);
        problems_ << problem;
    }

    const QString appFolder_;
    std::optional<CacheWriter> writer_;
    ServerPlace writerPlace_;
    QThreadPool pool_;
    QMutex mutex_;
    QStringList problems_;
};

namespace {

// The size the server list shows for each of the local files' names it
// holds as a file.
QHash<QString, QString> ServerFileSizes(const ServerListModel& model, const QStringList& localFiles)
{
    QSet<QString> wanted;
    for (const QString& file : localFiles)
        wanted.insert(QFileInfo(file).fileName());
    QHash<QString, QString> sizes;
    for (int row = 0; row < model.size(); ++row) {
        const ServerRow& entry = model.row(row);
        if (!entry.folder && wanted.contains(entry.text))
            sizes.insert(entry.text, entry.bytes >= 0 ? BytesText(entry.bytes) : entry.size.text());
    }
    return sizes;
}

}  // namespace

TransferController::TransferController(MainContext& context, SessionController& session, QObject* parent)
    : QObject(parent), ctx_(context), session_(session), unsharer_(context.services.appFolder)
{
}

void TransferController::Download()
{
    bool cancelled = false;
    const bool done = RunCommand(ctx_, [&] {
        ctx_.feedback.lightsBusy();
        ReplaceQuestion replace(*ctx_.services.dialogs, ctx_.feedback, ctx_.state.AskReplace);
        const QDir folder(ctx_.localPane.folder());
        // Fetched rows are deselected, and the local list re-read, once at the
        // end on every way out: per file they cost more than a small transfer.
        QItemSelection fetched;
        const auto finish = qScopeGuard([&] {
            if (fetched.isEmpty())
                return;
            ctx_.serverView.selectionModel()->select(fetched, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
            ctx_.localPane.refreshFiles();
        });
        const StopRequest stop(ctx_.ftp);
        // The rows as chosen: a download does not re-read the list, but a
        // drop while a question waits empties it.
        for (const ChosenRow& chosen : ChosenRows(ctx_.serverModel, ctx_.serverView.selectedRows())) {
            if (stop.asked())
                throw StoppedBetweenFiles();
            const ServerRow& entry = chosen.row;
            if (entry.folder || entry.text.endsWith(QLatin1Char('/')))
                continue;
            const QFileInfo local(EntryPath(folder.path(), entry.text));
            if (IsPlainEntryName(entry.text) && local.exists()) {
                const auto answer =
                    replace.ask(entry.text, QStringLiteral("on this computer"), BytesText(local.size()),
                                QStringLiteral("from the server"),
                                entry.bytes >= 0 ? BytesText(entry.bytes) : entry.size.text());
                if (answer == ReplaceQuestion::Answer::Skip)
                    continue;
                if (answer == ReplaceQuestion::Answer::Cancel) {
                    cancelled = true;
                    break;
                }
            }
            session_.FetchFile(entry.text, entry.bytes);
            if (chosen.index.isValid())
                fetched.select(chosen.index, chosen.index);
        }
    });
    if (!done)
        return;
    ctx_.feedback.lightsConnected();
    ctx_.feedback.status(cancelled ? QStringLiteral("Status: Download(s) cancelled")
                                   : QStringLiteral("Status: Download(s) Complete"));
}

QString TransferController::sendFile(const QString& localFile, const ServerPlace& place, CacheCopies& copies)
{
    const QFileInfo file(localFile);
    const QString name = file.fileName();
    if (!file.isFile())
        throw FtpError(ftp_errors::LocalFile, QStringLiteral("The file %1 cannot be read.").arg(localFile));
    std::optional<QTemporaryDir> work;  // the copy made ready for the web lives until the cache has it
    const WebReadyCopy sent = PrepareUpload(localFile, work);
    const qint64 size = QFileInfo(sent.file).size();
    ctx_.feedback.status(QStringLiteral("Status: Uploading %1 %2 bytes").arg(name, QString::number(size)));
    ctx_.feedback.lightsBusy();
    ctx_.feedback.startTransfer();
    // The copy for the cache is made later, while the next file goes up: it
    // is refused if the file changes from what is sent now.
    const FileStamp asSent = StampOf(sent.file);
    // The server copy takes the local file's time where the server allows,
    // so the next comparison is exact.
    PutOnServer(sent.file, name, file.lastModified());
    ctx_.feedback.setProgress(0);
    // The cache holds what the server got, made ready for the web or not.
    if (IsPicture(name))
        copies.add(place, sent.file, asSent, name, std::move(work));
    return sent.note;
}

void TransferController::PutOnServer(const QString& file, const QString& name, const QDateTime& modified)
{
    if (straightUploads_.value(ctx_.state.place.site)) {
        ctx_.ftp.PutFileStraight(file, name, modified);
        return;
    }
    try {
        ctx_.ftp.PutFile(file, name, modified);
    } catch (const FtpError& error) {
        if (error.number != ftp_errors::RenameRefused || !MayUploadStraight(error))
            throw;
        ctx_.feedback.startTransfer();
        ctx_.ftp.PutFileStraight(file, name, modified);
    }
}

bool TransferController::MayUploadStraight(const FtpError& refusal)
{
    const QString& site = ctx_.state.place.site;
    if (straightUploads_.contains(site))
        return straightUploads_.value(site);
    const QString question =
        QStringLiteral("%1\n\nThis server does not let Quillmar rename its uploads, so each upload first goes "
                       "to a temporary name that cannot be given the right one.\n\nUpload straight to the file's "
                       "own name on this server from now on? If such an upload is interrupted, the copy on the "
                       "server is damaged.")
            .arg(refusal.description);
    // The risky way out: Enter keeps the safe one.
    const bool yes = ctx_.services.dialogs->question(question, Dialogs::Icon::Warning, kAppTitle,
                                                     Dialogs::Answer::No) == Dialogs::kYes;
    straightUploads_.insert(site, yes);
    return yes;
}

void TransferController::Upload()
{
    QStringList names = ctx_.localPane.selectedFiles();
    if (names.isEmpty() && !ctx_.localPane.currentFile().isEmpty())
        names << ctx_.localPane.currentFile();
    QStringList localFiles;
    const QDir folder(ctx_.localPane.folder());
    for (const QString& name : std::as_const(names))
        localFiles << EntryPath(folder.path(), name);
    if (localFiles.isEmpty())
        localFiles << QString();  // said below, once connected
    UploadFiles(localFiles);
}

namespace {

// The question before an upload replaces a file the server list showed
// when the command began.
ReplaceQuestion::Answer AskBeforeReplacing(const QHash<QString, QString>& serverFiles, ReplaceQuestion& replace,
                                           const QString& localFile)
{
    const QString name = QFileInfo(localFile).fileName();
    const auto existing = serverFiles.constFind(name);
    if (existing == serverFiles.cend())
        return ReplaceQuestion::Answer::Replace;
    return replace.ask(name, QStringLiteral("on the server"), *existing, QStringLiteral("from this computer"),
                       BytesText(QFileInfo(localFile).size()));
}

}  // namespace

// What one upload command has done so far; its steps below are shared by
// Upload and Publish.
struct TransferController::UploadRun {
    explicit UploadRun(MainContext& ctx)
        : light(ctx.feedback), copies(ctx.services.appFolder), rowsBefore(ctx.serverModel.rowTexts()), stop(ctx.ftp)
    {
    }
    void endFeedback()
    {
        busy.restore();
        light.end();
    }
    // The run ends here with `error` told; the window stays as it left it.
    void stopWith(MainContext& ctx, const FtpError& error)
    {
        stopped = true;
        endFeedback();
        ctx.reportError(error);
    }
    BusyPointer busy;
    CommandLight light;
    CacheCopies copies;
    const QStringList rowsBefore;
    QStringList sentNames;   // of the current server folder, as sent
    qsizetype sent = 0;
    QString lastName, lastNote;
    qsizetype failures = 0;
    bool cancelled = false;  // by the person's answer
    bool stopped = false;    // by a failure: the window stays as the failure left it
    bool closing = false;    // the window is closing: nothing more is shown
    StopRequest stop;
};

void TransferController::UploadFiles(const QStringList& localFiles)
{
    if (!EnsureConnected(ctx_) || localFiles.isEmpty())
        return;
    unsharer_.pause();
    UploadRun run(ctx_);
    if (localFiles.size() == 1 && localFiles.first().isEmpty()) {
        run.endFeedback();
        ctx_.reportError(
            FtpError(ftp_errors::LocalFile, QStringLiteral("Choose a file in the local file list to upload.")));
        return;
    }
    ReplaceQuestion replace(*ctx_.services.dialogs, ctx_.feedback, ctx_.state.AskReplace);
    // As the command found them: a drop while a question waits empties the list.
    const QHash<QString, QString> serverFiles = ServerFileSizes(ctx_.serverModel, localFiles);
    for (qsizetype i = 0; i < localFiles.size(); ++i) {
        if (run.stop.asked()) {
            run.stopWith(ctx_, StoppedBetweenFiles());
            break;
        }
        const QString& localFile = localFiles.at(i);
        const ReplaceQuestion::Answer answer = AskBeforeReplacing(serverFiles, replace, localFile);
        if (answer == ReplaceQuestion::Answer::Skip)
            continue;
        if (answer == ReplaceQuestion::Answer::Cancel) {
            run.cancelled = true;
            break;
        }
        if (!SendInRun(run, localFile, QString(), localFiles.size() - i - 1))
            break;
    }
    FinishUploads(run, [&](const QHash<QString, QString>& storedAs) -> QString {
        return run.cancelled ? QStringLiteral("Status: Upload cancelled")
               : run.failures ? QStringLiteral("Status: Upload Complete (%1 failed)").arg(run.failures)
               : run.sent == 1 ? UploadCompleteText(storedAs.value(run.lastName, run.lastName), run.lastNote)
                               : QStringLiteral("Status: Upload Complete");
    });
}


bool TransferController::SendInRun(UploadRun& run, const QString& localFile, const QString& below, qsizetype rest)
{
    const QString name = QFileInfo(localFile).fileName();
    try {
        run.lastNote = sendFile(localFile, CachePlace(below), run.copies);
        run.lastName = name;
        if (below.isEmpty())
            run.sentNames << name;
        ++run.sent;
        return true;
    } catch (const FtpError& error) {
        ++run.failures;
        if (error.number == ftp_errors::Cancelled) {
            run.closing = true;
            return false;
        }
        // Stop means stop: the rest is not offered.
        if (rest == 0 || ctx_.ftp.State() == 0 || error.number == ftp_errors::Stopped) {
            run.stopWith(ctx_, error);
            return false;
        }
        const QString question = QStringLiteral("%1 could not be uploaded:\n%2\n\nGo on with the remaining %3?")
                                     .arg(name, error.description,
                                          rest == 1 ? QStringLiteral("file") : QStringLiteral("%1 files").arg(rest));
        if (ctx_.services.dialogs->message(question, Dialogs::Buttons::YesNo, Dialogs::Icon::Information, kAppTitle)
            != Dialogs::kYes) {
            run.stopped = true;
            return false;
        }
        return true;
    }
}

ServerPlace TransferController::CachePlace(const QString& below) const
{
    ServerPlace place = ctx_.state.place;
    if (!below.isEmpty() && !place.folder.isEmpty())
        place.folder = place.folder.endsWith(u'/') ? place.folder + below : JoinPath(place.folder, below);
    return place;
}

void TransferController::FinishUploads(UploadRun& run,
                                       const std::function<QString(const QHash<QString, QString>&)>& completeText)
{
    if (run.closing)
        return;
    // Every cache copy is in place before the list and its preview are
    // re-read, and before the command says it is done.
    const QStringList cacheProblems = run.copies.finish();
    try {
        // One re-listing for the whole command.
        if (run.sent > 0 && ctx_.ftp.State() != 0)
            session_.Relist();
    } catch (const FtpError& error) {
        run.endFeedback();
        ctx_.reportError(error);
        return;
    }
    const QHash<QString, QString> storedAs = NamesStoredAs(run.sentNames, run.rowsBefore);
    if (!run.stopped) {
        ctx_.feedback.status(completeText(storedAs) + StoredAsText(storedAs));
        ctx_.feedback.setProgress(0);
        ctx_.feedback.lightsConnected();
    }
    // The preview finds a picture by the name the server shows.
    for (auto it = storedAs.cbegin(); it != storedAs.cend(); ++it)
        RenameInCache(ctx_.services.appFolder, ctx_.state.place, it.key(), it.value());
    run.endFeedback();
    unsharer_.start();
    if (!cacheProblems.isEmpty()) {
        // The uploads went through; the person learns only the preview is missing.
        ctx_.reportError(FtpError(ftp_errors::LocalFile,
                                  QStringLiteral("Uploaded, but no copy could be kept for the preview:\n%1")
                                      .arg(cacheProblems.join(u'\n'))));
    }
}

// A publishing command: its jobs by folder, what it has sent, and the
// overall progress in the status line.
struct TransferController::PublishRun {
    explicit PublishRun(UploadRun& upload) : run(upload) {}
    UploadRun& run;
    QMap<QString, QList<const PublishJob*>> byFolder;   // folder "" is the server list's
    QSet<QString> folders;                              // each folder with jobs, and those above them
    QSet<QString> serverFolders;
    PublishOutcome outcome;
    qsizetype total = 0;
    qsizetype index = 0;        // of the file on its way, from 1
    qint64 totalBytes = 0;
    qint64 doneBytes = 0;       // of the files before it
    qint64 fileBytes = 0;       // of the local file on its way
    QElapsedTimer clock;
    bool recordCopies = false;
    PublishedCopies copies;
};

namespace {

QString ParentFolder(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.first(slash);
}

}  // namespace

PublishOutcome TransferController::Publish(const QList<PublishJob>& jobs, const QSet<QString>& serverFolders)
{
    if (!EnsureConnected(ctx_) || jobs.isEmpty())
        return {};
    unsharer_.pause();
    UploadRun run(ctx_);
    PublishRun publish(run);
    publish.serverFolders = serverFolders;
    publish.total = jobs.size();
    for (const PublishJob& job : jobs) {
        const QString folder = ParentFolder(job.path);
        publish.byFolder[folder].append(&job);
        for (QString above = folder; !above.isEmpty(); above = ParentFolder(above))
            publish.folders.insert(above);
        publish.totalBytes += QFileInfo(job.localFile).size();
    }
    publish.recordCopies = ctx_.state.upload.webReady;
    if (publish.recordCopies)
        publish.copies = ReadPublishedCopies(ctx_.services.appFolder, ctx_.state.place);
    publish.clock.start();
    // The overall progress follows each file's, in the same status line.
    const QMetaObject::Connection progress =
        connect(&ctx_.ftp, &FtpComponent::Progress, this, [this, &publish](qint64 bytes, qint64 expected) {
            const qint64 sentSize = std::max<qint64>(expected, 1);
            const qint64 done = publish.doneBytes + publish.fileBytes * std::min(bytes, sentSize) / sentSize;
            ctx_.feedback.status(PublishProgressText(publish.index, publish.total, done, publish.totalBytes,
                                                     publish.clock.elapsed()));
        });
    const auto disconnect = qScopeGuard([progress] { QObject::disconnect(progress); });
    try {
        PublishFolder(publish, QString());
    } catch (const FtpError& error) {
        run.stopped = true;
        if (error.number == ftp_errors::Cancelled) {
            run.closing = true;
        } else {
            run.endFeedback();
            ctx_.reportError(error);
        }
    }
    QString problem;
    if (publish.recordCopies && publish.outcome.sentNew + publish.outcome.sentChanged > 0
        && !WritePublishedCopies(ctx_.services.appFolder, ctx_.state.place, publish.copies, &problem)) {
        qWarning("%s", qUtf8Printable(problem));
    }
    FinishUploads(run, [&](const QHash<QString, QString>&) -> QString {
        QString text = PublishedText(publish.outcome.sentNew, publish.outcome.sentChanged, publish.outcome.bytes);
        if (run.failures)
            text += QStringLiteral("; %1 failed").arg(run.failures);
        return QStringLiteral("Status: ") + text;
    });
    return publish.outcome;
}

bool TransferController::PublishFolder(PublishRun& publish, const QString& folder)
{
    for (const PublishJob* job : publish.byFolder.value(folder)) {
        if (publish.run.stop.asked())
            throw StoppedBetweenFiles();
        ++publish.index;
        const QFileInfo local(job->localFile);
        publish.fileBytes = local.size();
        const qsizetype sentBefore = publish.run.sent;
        if (!SendInRun(publish.run, job->localFile, folder, publish.total - publish.index))
            return false;
        publish.doneBytes += publish.fileBytes;
        if (publish.run.sent == sentBefore)
            continue;   // failed, and the person went on
        ++(job->isNew ? publish.outcome.sentNew : publish.outcome.sentChanged);
        publish.outcome.bytes += publish.fileBytes;
        if (publish.recordCopies && IsPicture(job->path))
            publish.copies.insert(job->path, PublishedCopy{local.size(), local.lastModified(), ctx_.ftp.ExpectedSize()});
    }
    QStringList below;
    for (const QString& candidate : std::as_const(publish.folders)) {
        if (ParentFolder(candidate) == folder)
            below << candidate;
    }
    below.sort();
    for (const QString& sub : std::as_const(below)) {
        if (publish.run.stop.asked())
            throw StoppedBetweenFiles();
        const QString name = sub.mid(folder.isEmpty() ? 0 : folder.size() + 1);
        if (!publish.serverFolders.contains(sub)) {
            ctx_.feedback.status(QStringLiteral("Status: Making the folder %1").arg(sub));
            ctx_.ftp.MakeDir(name);
        }
        bool goOn = true;
        session_.InSubFolder(name, [&] { goOn = PublishFolder(publish, sub); });
        if (!goOn)
            return false;
    }
    return true;
}

void TransferController::DownloadRows(const QStringList& texts)
{
    QItemSelectionModel* selection = ctx_.serverView.selectionModel();
    selection->clearSelection();
    for (int row = 0; row < ctx_.serverModel.rowCount(); ++row) {
        if (texts.contains(ctx_.serverModel.row(row).text))
            selection->select(ctx_.serverModel.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    Download();
}

WebReadyCopy TransferController::PrepareUpload(const QString& localFile, std::optional<QTemporaryDir>& work) const
{
    if (!ctx_.state.upload.webReady || !IsPicture(localFile))
        return {localFile, {}, {}};
    work.emplace();
    if (!work->isValid())
        throw FtpError(ftp_errors::LocalFile, QStringLiteral("No room for the copy made ready for the web: %1")
                                                  .arg(work->errorString()));
    ctx_.feedback.status(QStringLiteral("Status: Preparing %1 for the web").arg(QFileInfo(localFile).fileName()));
    WebReadyCopy copy = PrepareForWeb(localFile, ctx_.state.upload.maxSide, work->path());
    if (!copy.error.isEmpty())
        throw FtpError(ftp_errors::LocalFile, copy.error + QStringLiteral(" Nothing was uploaded."));
    return copy;
}

QHash<QString, QString> TransferController::NamesStoredAs(const QStringList& sentNames,
                                                          const QStringList& rowsBefore) const
{
    QHash<QString, QString> storedAs;
    const QStringList rowsAfter = ctx_.serverModel.rowTexts();
    if (ctx_.ftp.State() == 0 || rowsAfter.isEmpty())
        return storedAs;   // not re-listed: nothing to compare with
    for (const QString& name : sentNames) {
        // A name the list leaves out (a hidden file on some servers) is no
        // sign of another name; only a new row that matches it is.
        const QString used = rowsAfter.contains(name) ? QString() : NameServerUsed(name, rowsBefore, rowsAfter);
        if (!used.isEmpty())
            storedAs.insert(name, used);
    }
    return storedAs;
}

QString TransferController::StoredAsText(const QHash<QString, QString>& storedAs)
{
    QStringList parts;
    for (auto it = storedAs.cbegin(); it != storedAs.cend(); ++it)
        parts << QStringLiteral("the server stored \"%1\" as \"%2\"").arg(it.key(), it.value());
    parts.sort();
    return parts.isEmpty() ? QString() : QStringLiteral("; ") + parts.join(QStringLiteral("; "));
}

QString TransferController::UploadCompleteText(const QString& name, const QString& note) const
{
    QString text = QStringLiteral("Status: Upload Complete");
    if (!note.isEmpty())
        text += QStringLiteral(" (%1)").arg(note);
    const WebAddressResult web = WebAddressFor(ctx_.settings.WebAddress, ctx_.settings.WebFolder,
                                               ctx_.state.place.folder, name);
    if (!web.address.isEmpty())
        text += QStringLiteral(": ") + web.address;
    return text;
}

void TransferController::UploadByDoubleClick()
{
    QListWidget* files = ctx_.localPane.fileList();
    // Disabled, the list hands its focus to the next widget, the server
    // list; it takes it back, so keys and the side commands still act here.
    const bool hadFocus = files->hasFocus();
    files->setEnabled(false);
    Upload();
    files->setEnabled(true);
    if (hadFocus)
        files->setFocus();
}

}  // namespace quillmar
