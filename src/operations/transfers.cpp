#include "operations/transfers.h"

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
#include <QFileInfo>
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

}  // namespace

// The cache copies of uploaded pictures are made on a thread of their own
// while the next files go up; all are in place when the command ends.
class CacheCopies {
public:
    CacheCopies(QString appFolder, ServerPlace place) : appFolder_(std::move(appFolder)), place_(std::move(place))
    {
        pool_.setMaxThreadCount(1);
    }
    ~CacheCopies() { pool_.waitForDone(); }

    // file is what the server got; work, when set, holds it until copied.
    void add(const QString& file, const QString& name, std::optional<QTemporaryDir> work)
    {
        auto keep = std::make_shared<std::optional<QTemporaryDir>>(std::move(work));
        pool_.start([this, file, name, keep] {
            QString problem;
            if (StoreInCache(appFolder_, place_, file, name, &problem))
                return;
            const QMutexLocker lock(&mutex_);
            problems_ << QStringLiteral("%1: %2").arg(name, problem);
        });
    }

    // Waits for every copy; what went wrong, one line a picture.
    QStringList finish()
    {
        pool_.waitForDone();
        const QMutexLocker lock(&mutex_);
        return problems_;
    }

private:
    const QString appFolder_;
    const ServerPlace place_;
    QThreadPool pool_;
    QMutex mutex_;
    QStringList problems_;
};

namespace {

const ServerRow* ServerFile(const ServerListModel& model, const QString& name)
{
    for (int row = 0; row < model.size(); ++row) {
        const ServerRow& entry = model.row(row);
        if (!entry.folder && entry.text == name)
            return &entry;
    }
    return nullptr;
}

}  // namespace

TransferController::TransferController(MainContext& context, SessionController& session, QObject* parent)
    : QObject(parent), ctx_(context), session_(session)
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
        // Rows keep their places: a download does not re-read the list.
        for (int row : ctx_.serverView.selectedRows()) {
            const ServerRow entry = ctx_.serverModel.row(row);
            if (entry.folder || entry.text.endsWith(QLatin1Char('/')))
                continue;
            const QFileInfo local(EntryPath(folder.path(), entry.text));
            if (IsPlainEntryName(entry.text) && local.exists()) {
                const auto answer =
                    replace.ask(entry.text, QStringLiteral("on this computer"), BytesText(local.size()),
                                QStringLiteral("from the server"),
                                entry.bytes >= 0 ? BytesText(entry.bytes) : entry.sizeText);
                if (answer == ReplaceQuestion::Answer::Skip)
                    continue;
                if (answer == ReplaceQuestion::Answer::Cancel) {
                    cancelled = true;
                    break;
                }
            }
            session_.FetchFile(entry.text, entry.bytes);
            fetched.select(ctx_.serverModel.index(row, 0), ctx_.serverModel.index(row, 0));
        }
    });
    if (!done)
        return;
    ctx_.feedback.lightsConnected();
    ctx_.feedback.status(cancelled ? QStringLiteral("Status: Download(s) cancelled")
                                   : QStringLiteral("Status: Download(s) Complete"));
}

QString TransferController::sendFile(const QString& localFile, CacheCopies& copies)
{
    const QFileInfo file(localFile);
    const QString name = file.fileName();
    if (!file.isFile())
        throw FtpError(ftp_errors::LocalFile, QStringLiteral("The file %1 cannot be read.").arg(localFile));
    std::optional<QTemporaryDir> work;  // the copy made ready for the web lives until the cache has it
    const WebReadyCopy sent = PrepareUpload(localFile, work);
    ctx_.state.lSize = QFileInfo(sent.file).size();
    ctx_.feedback.status(QStringLiteral("Status: Uploading %1 %2 bytes").arg(name, QString::number(ctx_.state.lSize)));
    ctx_.feedback.lightsBusy();
    ctx_.feedback.startTransfer();
    PutOnServer(sent.file, name);
    ctx_.feedback.setProgress(0);
    // The cache holds what the server got, made ready for the web or not.
    if (IsPicture(name))
        copies.add(sent.file, name, std::move(work));
    return sent.note;
}

void TransferController::PutOnServer(const QString& file, const QString& name)
{
    if (straightUploads_.value(ctx_.state.place.site)) {
        ctx_.ftp.PutFileStraight(file, name);
        return;
    }
    try {
        ctx_.ftp.PutFile(file, name);
    } catch (const FtpError& error) {
        if (error.number != ftp_errors::RenameRefused || !MayUploadStraight(error))
            throw;
        ctx_.feedback.startTransfer();
        ctx_.ftp.PutFileStraight(file, name);
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
                                                     Dialogs::Answer::No) == int(Dialogs::Answer::Yes);
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

void TransferController::UploadFiles(const QStringList& localFiles)
{
    if (!EnsureConnected(ctx_) || localFiles.isEmpty())
        return;
    BusyPointer busy;
    CommandLight light(ctx_.feedback);
    if (localFiles.size() == 1 && localFiles.first().isEmpty()) {
        busy.restore();
        light.end();
        ctx_.reportError(
            FtpError(ftp_errors::LocalFile, QStringLiteral("Choose a file in the local file list to upload.")));
        return;
    }
    ReplaceQuestion replace(*ctx_.services.dialogs, ctx_.feedback, ctx_.state.AskReplace);
    CacheCopies copies(ctx_.services.appFolder, ctx_.state.place);
    const QStringList rowsBefore = ctx_.serverModel.rowTexts();
    QStringList sentNames;
    qsizetype sent = 0;
    QString lastName, lastNote;
    qsizetype failures = 0;
    bool cancelled = false;
    bool stopped = false;  // by a failure: the window stays as the failure left it
    for (qsizetype i = 0; i < localFiles.size(); ++i) {
        const QString& localFile = localFiles.at(i);
        const QString name = QFileInfo(localFile).fileName();
        if (const ServerRow* existing = ServerFile(ctx_.serverModel, name)) {
            const auto answer =
                replace.ask(name, QStringLiteral("on the server"),
                            existing->bytes >= 0 ? BytesText(existing->bytes) : existing->sizeText,
                            QStringLiteral("from this computer"), BytesText(QFileInfo(localFile).size()));
            if (answer == ReplaceQuestion::Answer::Skip)
                continue;
            if (answer == ReplaceQuestion::Answer::Cancel) {
                cancelled = true;
                break;
            }
        }
        try {
            lastNote = sendFile(localFile, copies);
            lastName = name;
            sentNames << name;
            ++sent;
        } catch (const FtpError& error) {
            ++failures;
            if (error.number == ftp_errors::Cancelled)
                return;  // the window is closing
            const qsizetype rest = localFiles.size() - i - 1;
            // Stop means stop: the rest is not offered.
            if (rest == 0 || ctx_.ftp.State() == 0 || error.number == ftp_errors::Stopped) {
                stopped = true;
                busy.restore();
                light.end();
                ctx_.reportError(error);
                break;
            }
            const QString question = QStringLiteral("%1 could not be uploaded:\n%2\n\nGo on with the remaining %3?")
                                         .arg(name, error.description,
                                              rest == 1 ? QStringLiteral("file") : QStringLiteral("%1 files").arg(rest));
            if (ctx_.services.dialogs->message(question, Dialogs::Buttons::YesNo, Dialogs::Icon::Information,
                                               kAppTitle) != 6) {
                stopped = true;
                break;
            }
        }
    }
    try {
        // One re-listing for the whole command.
        if (sent > 0 && ctx_.ftp.State() != 0)
            session_.Relist();
    } catch (const FtpError& error) {
        busy.restore();
        light.end();
        ctx_.reportError(error);
        return;
    }
    const QHash<QString, QString> storedAs = NamesStoredAs(sentNames, rowsBefore);
    if (!stopped) {
        const QString text = cancelled   ? QStringLiteral("Status: Upload cancelled")
                             : failures  ? QStringLiteral("Status: Upload Complete (%1 failed)").arg(failures)
                             : sent == 1 ? UploadCompleteText(storedAs.value(lastName, lastName), lastNote)
                                         : QStringLiteral("Status: Upload Complete");
        ctx_.feedback.status(text + StoredAsText(storedAs));
        ctx_.feedback.setProgress(0);
        ctx_.feedback.lightsConnected();
    }
    const QStringList cacheProblems = copies.finish();
    // The preview finds a picture by the name the server shows.
    for (auto it = storedAs.cbegin(); it != storedAs.cend(); ++it)
        RenameInCache(ctx_.services.appFolder, ctx_.state.place, it.key(), it.value());
    busy.restore();
    light.end();
    if (!cacheProblems.isEmpty()) {
        // The uploads went through; the person learns only the preview is missing.
        ctx_.reportError(FtpError(ftp_errors::LocalFile,
                                  QStringLiteral("Uploaded, but no copy could be kept for the preview:\n%1")
                                      .arg(cacheProblems.join(u'\n'))));
    }
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
    files->setEnabled(false);
    Upload();
    files->setEnabled(true);
}

}  // namespace quillmar
