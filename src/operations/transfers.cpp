#include "operations/transfers.h"

#include "pictures/local_pane.h"
#include "pictures/picture_cache.h"
#include "pictures/picture_rules.h"
#include "pictures/server_list_model.h"
#include "pictures/server_list_view.h"
#include "session/ftp_component.h"
#include "session/session_controller.h"
#include "shell/feedback.h"
#include "shell/file_names.h"
#include "shell/services.h"

#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QListWidget>

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
    if (!EnsureConnected(ctx_))
        return;
    BusyPointer busy;
    const QString name = ctx_.localPane.currentFile();
    const QString localFile = QDir(ctx_.localPane.folder()).filePath(name);
    try {
        const QFileInfo file(localFile);
        if (name.isEmpty())
            throw FtpError(ftp_errors::LocalFile, QStringLiteral("Choose a file in the local file list to upload."));
        if (!file.isFile())
            throw FtpError(ftp_errors::LocalFile, QStringLiteral("The file %1 cannot be read.").arg(localFile));
        ctx_.feedback.status(QStringLiteral("Status: Uploading %1 %2 bytes").arg(name, QString::number(file.size())));
        ctx_.state.lSize = file.size();
        ctx_.feedback.lightsBusy();
        ctx_.ftp.PutFile(localFile, name);
        session_.Relist();
        ctx_.feedback.status(QStringLiteral("Status: Upload Complete"));
        ctx_.feedback.setProgress(0);
        ctx_.feedback.lightsConnected();
    } catch (const FtpError& error) {
        busy.restore();
        ctx_.reportError(error);
        return;
    }
    QString error;
    const bool kept = !IsPicture(name) || StoreInCache(ctx_.services.appFolder, localFile, name, &error);
    busy.restore();
    if (!kept) {
        // The upload itself went through; the person learns only the preview is missing.
        ctx_.reportError(FtpError(ftp_errors::LocalFile,
                              QStringLiteral("%1 was uploaded, but no copy could be kept for the preview: %2")
                                  .arg(name, error)));
    }
}

void TransferController::UploadByDoubleClick()
{
    QListWidget* files = ctx_.localPane.fileList();
    files->setEnabled(false);
    Upload();
    files->setEnabled(true);
}

}  // namespace quillmar
