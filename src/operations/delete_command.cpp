#include "operations/delete_command.h"

#include "pictures/local_pane.h"
#include "pictures/picture_cache.h"
#include "pictures/server_list_model.h"
#include "pictures/server_list_view.h"
#include "session/entry_names.h"
#include "session/ftp_component.h"
#include "session/session_controller.h"
#include "shell/feedback.h"
#include "shell/services.h"

#include <QDir>
#include <QFile>

#include <utility>

namespace quillmar {

namespace {

constexpr int kYes = 6;

// Clears the All choice whichever way the command ends.
struct AllChoiceReset {
    bool& flag;
    ~AllChoiceReset() { flag = false; }
};

}  // namespace

DeleteController::DeleteController(MainContext& context, SessionController& session, QObject* parent)
    : QObject(parent), ctx_(context), session_(session)
{
}

int DeleteController::ConfirmDelete(const QString& prompt)
{
    const QString text =
        prompt.isEmpty() ? QStringLiteral("Are you sure you want to delete ") + DeleteName + QLatin1Char('?') : prompt;
    return ctx_.services.dialogs->message(text, Dialogs::Buttons::YesNo, Dialogs::Icon::None,
                                          QStringLiteral("Confirmation"));
}

void DeleteController::EmptyImageCache()
{
    if (ConfirmDelete(QStringLiteral("Are you sure you want to empty your cache?")) != kYes)
        return;
    EmptyCache(ctx_.services.appFolder);
}

void DeleteController::Delete()
{
    AllChoiceReset reset{confirmAll_};
    if (ctx_.state.GotFocus == 2)
        deleteOnServer();
    else if (ctx_.state.GotFocus == 1)
        deleteLocally();
}

bool DeleteController::confirmFile()
{
    if (confirmAll_)
        return true;
    switch (ctx_.services.dialogs->confirm()) {
    case Dialogs::ConfirmChoice::Yes:
        return true;
    case Dialogs::ConfirmChoice::All:
        confirmAll_ = true;
        return true;
    case Dialogs::ConfirmChoice::No:
    case Dialogs::ConfirmChoice::Closed:
        break;
    }
    return false;
}

void DeleteController::deleteOnServer()
{
    if (!EnsureConnected(ctx_))
        return;
    BusyPointer busy;
    try {
        const QString current = SelectedServerRow(ctx_);
        if (current.endsWith(QLatin1Char('/'))) {
            DeleteName = current;
            if (ConfirmDelete(QString()) != kYes)
                return;
            const QString problem = ServerNameProblem(current);
            if (!problem.isEmpty())
                throw FtpError(ftp_errors::BadName, QStringLiteral("%1 cannot be deleted: %2").arg(current, problem));
            ctx_.feedback.status(QStringLiteral("Status: Deleting ") + current);
            ctx_.ftp.RemoveDir(FolderName(current));
            RemoveFromCache(ctx_.services.appFolder, ctx_.state.place, current);
            ctx_.feedback.status(QStringLiteral("Status: Delete Complete"));
        } else {
            const QList<int> rows = ctx_.serverView.selectedRows();
            for (int row : rows) {
                const QString text = ctx_.serverModel.row(row).text;
                // A folder row is no file: the folder branch removes folders.
                if (text.endsWith(QLatin1Char('/')))
                    continue;
                const bool askedEach = !confirmAll_;
                if (!confirmFile())
                    return;  // No: what was deleted stays deleted, the list is not re-read
                const bool answeredYes = askedEach && !confirmAll_;
                const QString problem = ServerNameProblem(text);
                if (!problem.isEmpty())
                    throw FtpError(ftp_errors::BadName, QStringLiteral("%1 cannot be deleted: %2").arg(text, problem));
                ctx_.feedback.status(QStringLiteral("Status: Deleting ") + text);
                ctx_.ftp.DeleteFile(text);
                RemoveFromCache(ctx_.services.appFolder, ctx_.state.place, text);
                if (answeredYes)
                    ctx_.serverModel.setDimmed(row, true);
            }
            ctx_.feedback.status(QStringLiteral("Status: Delete Complete"));
        }
        session_.Relist();
    } catch (const FtpError& error) {
        busy.restore();
        ctx_.reportError(error);
    }
}

void DeleteController::deleteLocally()
{
    const QDir folder(ctx_.localPane.folder());
    // The local list has no dimmed rows: it shows what is left on every way out.
    struct Refresh {
        LocalPane& pane;
        ~Refresh() { pane.refreshFiles(); }
    } refresh{ctx_.localPane};
    try {
        for (const QString& name : ctx_.localPane.selectedFiles()) {
            if (!confirmFile())
                return;
            const QString problem = EntryNameProblem(name);
            if (!problem.isEmpty())
                throw FtpError(ftp_errors::LocalFile, QStringLiteral("%1 cannot be deleted: %2").arg(name, problem));
            QFile file(folder.filePath(name));
            if (!file.remove())
                throw FtpError(ftp_errors::LocalFile,
                               QStringLiteral("The file %1 could not be deleted: %2").arg(file.fileName(), file.errorString()));
        }
    } catch (const FtpError& error) {
        ctx_.reportError(error);
    }
}

}  // namespace quillmar
