#include "operations/transfers.h"

#include "pictures/local_pane.h"
#include "pictures/picture_cache.h"
#include "pictures/picture_rules.h"
#include "pictures/server_list_model.h"
#include "pictures/server_list_view.h"
#include "pictures/web_ready.h"
#include "session/ftp_component.h"
#include "session/session_controller.h"
#include "shell/feedback.h"
#include "shell/services.h"
#include "sites/web_address.h"

#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QTemporaryDir>

#include <list>

namespace quillmar {

TransferController::TransferController(MainContext& context, SessionController& session, QObject* parent)
    : QObject(parent), ctx_(context), session_(session)
{
}

void TransferController::Download()
{
    if (!EnsureConnected(ctx_))
        return;
    BusyPointer busy;
    ctx_.feedback.lightsBusy();
    try {
        // Rows keep their places: a download does not re-read the list.
        for (int row : ctx_.serverView.selectedRows()) {
            const ServerRow& entry = ctx_.serverModel.row(row);
            if (entry.folder || entry.text.endsWith(QLatin1Char('/')))
                continue;
            session_.DownloadFile(entry.text);
            ctx_.serverView.selectionModel()->select(ctx_.serverModel.index(row, 0),
                                                     QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        }
    } catch (const FtpError& error) {
        busy.restore();
        ctx_.reportError(error);
        return;
    }
    ctx_.feedback.lightsConnected();
    ctx_.feedback.status(QStringLiteral("Status: Download(s) Complete"));
}

void TransferController::Upload()
{
    const QString name = ctx_.localPane.currentFile();
    UploadFiles({name.isEmpty() ? QString() : QDir(ctx_.localPane.folder()).filePath(name)});
}

void TransferController::UploadFiles(const QStringList& localFiles)
{
    if (!EnsureConnected(ctx_) || localFiles.isEmpty())
        return;
    BusyPointer busy;
    // Each copy made ready for the web lives until the cache has it.
    std::list<std::optional<QTemporaryDir>> work;
    QList<std::pair<QString, WebReadyCopy>> uploaded;  // the server name and what it got
    try {
        for (const QString& localFile : localFiles) {
            const QFileInfo file(localFile);
            const QString name = file.fileName();
            if (name.isEmpty())
                throw FtpError(ftp_errors::LocalFile, QStringLiteral("Choose a file in the local file list to upload."));
            if (!file.isFile())
                throw FtpError(ftp_errors::LocalFile, QStringLiteral("The file %1 cannot be read.").arg(localFile));
            const WebReadyCopy sent = PrepareUpload(localFile, work.emplace_back());
            ctx_.state.lSize = QFileInfo(sent.file).size();
            ctx_.feedback.status(QStringLiteral("Status: Uploading %1 %2 bytes").arg(name, QString::number(ctx_.state.lSize)));
            ctx_.feedback.lightsBusy();
            ctx_.feedback.startTransfer();
            ctx_.ftp.PutFile(sent.file, name);
            ctx_.feedback.setProgress(0);
            uploaded.append({name, sent});
        }
        session_.Relist();
        ctx_.feedback.status(UploadCompleteText(uploaded.last().first, uploaded.last().second.note));
        ctx_.feedback.setProgress(0);
        ctx_.feedback.lightsConnected();
    } catch (const FtpError& error) {
        busy.restore();
        ctx_.reportError(error);
        return;
    }
    // The cache holds what the server got, made ready for the web or not.
    QStringList problems;
    for (const auto& [name, sent] : std::as_const(uploaded)) {
        QString error;
        if (IsPicture(name) && !StoreInCache(ctx_.services.appFolder, ctx_.state.place, sent.file, name, &error))
            problems.append(QStringLiteral("%1 was uploaded, but no copy could be kept for the preview: %2")
                                .arg(name, error));
    }
    busy.restore();
    // The uploads themselves went through; the person learns only the preview is missing.
    if (!problems.isEmpty())
        ctx_.reportError(FtpError(ftp_errors::LocalFile, problems.join(QLatin1Char('\n'))));
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
