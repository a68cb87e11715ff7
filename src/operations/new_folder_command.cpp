#include "operations/new_folder_command.h"

#include "pictures/local_pane.h"
#include "session/entry_names.h"
#include "session/ftp_component.h"
#include "browse/session_controller.h"
#include "shell/feedback.h"
#include "shell/services.h"

#include <QDir>
#include <QFileInfo>

namespace quillmar {

namespace {
const QString kTitle = QStringLiteral("Important Quillmar Question");
}

NewFolderController::NewFolderController(MainContext& context, SessionController& session, QObject* parent)
    : QObject(parent), ctx_(context), session_(session)
{
}

void NewFolderController::NewFolder()
{
    // A folder made while browsing the local folders belongs there.
    if (ctx_.state.GotFocus == FocusSide::Server && !ctx_.state.FolderListFocus)
        newFolderOnServer();
    else
        newFolderLocally();
}

void NewFolderController::newFolderLocally()
{
    const QString name = ctx_.services.dialogs->input(QStringLiteral("Enter New Folder Name."), kTitle,
                                                      QStringLiteral("New Folder"));
    if (!name.isEmpty()) {
        const QString problem = EntryNameProblem(name);
        const QDir folder(ctx_.localPane.folder());
        QString failure;
        if (!problem.isEmpty())
            failure = QStringLiteral("Cannot create the folder \"%1\": %2").arg(name, problem);
        else if (QFileInfo::exists(EntryPath(folder.path(), name)))
            failure = QStringLiteral("Cannot create the folder \"%1\": it already exists.").arg(name);
        else if (!QDir().mkdir(EntryPath(folder.path(), name)))
            failure = QStringLiteral("The folder \"%1\" could not be created in %2.").arg(name, folder.path());
        if (!failure.isEmpty()) {
            ctx_.reportError(FtpError(ftp_errors::LocalFile, failure));
            return;
        }
    }
    ctx_.localPane.refreshFolders();
}

void NewFolderController::newFolderOnServer()
{
    RunCommand(ctx_, [this] {
        const QString name = ctx_.services.dialogs->input(QStringLiteral("Enter new folder name"), kTitle,
                                                          QStringLiteral("New_Folder"));
        if (name.isEmpty())
            return;
        const QString problem = ServerNameProblem(name);
        if (!problem.isEmpty())
            throw FtpError(ftp_errors::BadName, QStringLiteral("Cannot create the folder \"%1\": %2").arg(name, problem));
        ctx_.feedback.status(QStringLiteral("Status: Creating new directory of ") + name);
        ctx_.ftp.MakeDir(name);
        session_.Relist();
        ctx_.feedback.status(QStringLiteral("Status: Folder creation complete"));
    });
}

}  // namespace quillmar
