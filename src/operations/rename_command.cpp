#include "operations/rename_command.h"

#include "pictures/local_pane.h"
#include "pictures/picture_cache.h"
#include "pictures/server_list_view.h"
#include "session/entry_names.h"
#include "session/ftp_component.h"
#include "browse/session_controller.h"
#include "shell/constants.h"
#include "shell/feedback.h"
#include "shell/services.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quillmar {

namespace {

const QString kPrompt = QStringLiteral("Enter New File Name.");

void RequireServerName(const QString& name)
{
    const QString problem = ServerNameProblem(name);
    if (!problem.isEmpty())
        throw FtpError(ftp_errors::BadName, QStringLiteral("Cannot rename to \"%1\": %2").arg(name, problem));
}

}  // namespace

RenameController::RenameController(MainContext& context, SessionController& session, QObject* parent)
    : QObject(parent), ctx_(context), session_(session)
{
}

void RenameController::Rename()
{
    if (ctx_.state.GotFocus == FocusSide::Server)
        renameOnServer();
    else if (ctx_.state.GotFocus == FocusSide::Local)
        renameLocally();
}

void RenameController::renameOnServer()
{
    RunCommand(ctx_, [this] {
        const QString oldName = SelectedServerRow(ctx_.serverView);
        const QString newName = ctx_.services.dialogs->inputName(kPrompt, kAppTitle, oldName);
        if (!newName.isEmpty())  // cancelled: the server is not asked
            renameServerEntry(oldName, newName);
    });
}

void RenameController::renameServerEntry(const QString& oldName, const QString& newName)
{
    RequireServerName(newName);
    ctx_.feedback.status(QStringLiteral("Status: Renaming ") + oldName);
    ctx_.ftp.Rename(oldName, newName);
    // Only once the server has the new name does the preview copy follow it;
    // a missing copy is no failure.
    RenameInCache(ctx_.services.appFolder, ctx_.state.place, oldName, newName);
    session_.Relist();
    ctx_.feedback.status(QStringLiteral("Status: Renamed File."));
}

void RenameController::renameLocally()
{
    const bool renamed = RunCommand(ctx_, [this] {
        const QString oldName = ctx_.localPane.currentFile();
        if (oldName.isEmpty())
            throw FtpError(ftp_errors::LocalFile, QStringLiteral("Choose a file in the local file list to rename."));
        const QString newName = ctx_.services.dialogs->inputName(kPrompt, kAppTitle, oldName);
        if (newName.isEmpty())
            throw FtpError(ftp_errors::LocalFile,
                           QStringLiteral("%1 was not renamed: no new name was given.").arg(oldName));
        const QString problem = EntryNameProblem(newName);
        if (!problem.isEmpty())
            throw FtpError(ftp_errors::LocalFile, QStringLiteral("Cannot rename to \"%1\": %2").arg(newName, problem));
        const QDir folder(ctx_.localPane.folder());
        const QString target = EntryPath(folder.path(), newName);
        const bool caseOnly = oldName.compare(newName, Qt::CaseInsensitive) == 0;
        if (QFileInfo::exists(target) && !caseOnly)
            throw FtpError(ftp_errors::LocalFile,
                           QStringLiteral("%1 was not renamed: %2 already exists.").arg(oldName, newName));
        QFile file(EntryPath(folder.path(), oldName));
        if (!file.rename(target))
            throw FtpError(ftp_errors::LocalFile,
                           QStringLiteral("%1 could not be renamed: %2").arg(oldName, file.errorString()));
    }, Needs::Nothing);
    if (renamed)
        ctx_.localPane.refreshFiles();
}

void RenameController::RenameInPlace(const QString& oldText, const QString& newText)
{
    // A change of letter case only is not sent; the row keeps the server's name.
    if (oldText.compare(newText, Qt::CaseInsensitive) == 0)
        return;
    if (ctx_.ftp.State() == 0) {
        Inform(ctx_.services, QStringLiteral("You are no longer connected to server."));
        return;
    }
    RunCommand(ctx_, [&] { renameServerEntry(oldText, newText); });
}

}  // namespace quillmar
