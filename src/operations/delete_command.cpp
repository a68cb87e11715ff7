#include "operations/delete_command.h"

#include "pictures/local_pane.h"
#include "pictures/picture_cache.h"
#include "pictures/server_list_model.h"
#include "pictures/server_list_view.h"
#include "session/entry_names.h"
#include "session/ftp_component.h"
#include "browse/session_controller.h"
#include "shell/feedback.h"
#include "shell/services.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

namespace quillmar {

namespace {

constexpr int kYes = 6;
const QString kFromServer = QStringLiteral("from the server");
const QString kFromComputer = QStringLiteral("from this computer");

// Clears the All choice whichever way the command ends.
struct AllChoiceReset {
    bool& flag;
    ~AllChoiceReset() { flag = false; }
};

// Local files go to the trash on the desktops Qt keeps one for; a move that
// still fails is asked about before anything is deleted for good.
constexpr bool kLocalTrash =
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS) || (defined(Q_OS_UNIX) && !defined(Q_OS_ANDROID) && !defined(Q_OS_IOS))
    true;
#else
    false;
#endif

// The home trash's folders, made when missing. Where Qt finds no trash
// folder it moves the file into the folder it runs in and reports success,
// so no file goes to the trash unless this holds.
bool PrepareHomeTrash(QString* why)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    const QDir trash(data + QStringLiteral("/Trash"));
    if (QDir().mkpath(trash.filePath(QStringLiteral("files"))) && QDir().mkpath(trash.filePath(QStringLiteral("info"))))
        return true;
    *why = QStringLiteral("no trash folder can be made in %1").arg(data);
    return false;
#else
    Q_UNUSED(why);
    return true;
#endif
}

QString Count(qsizetype n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// The per-file question: what (the name, or how many files when several
// are selected) and where, and whether it can be undone.
QString DeleteQuestion(const QString& name, qsizetype position, qsizetype count, const QString& where,
                       const QString& afterwards)
{
    const QString what = count == 1 ? name : Count(count, "file", "files");
    QString text = QStringLiteral("Are you sure you want to delete %1 %2?").arg(what, where);
    if (count > 1)
        text += QStringLiteral("\nNow: %1 (%2 of %3). Yes deletes this one and asks about the next, "
                               "All deletes it and the rest, No stops.")
                    .arg(name)
                    .arg(position)
                    .arg(count);
    return text + u'\n' + afterwards;
}

QString NameProblemFailure(const QString& name, const QString& problem)
{
    return QStringLiteral("%1 cannot be deleted: %2").arg(name, problem);
}

// "Are you sure you want to delete images/ from the server?"
QString DeleteOneQuestion(const QString& rowText)
{
    return QStringLiteral("Are you sure you want to delete %1 %2?").arg(rowText, kFromServer);
}

}  // namespace

DeleteController::DeleteController(MainContext& context, SessionController& session, QObject* parent)
    : QObject(parent), ctx_(context), session_(session)
{
}

int DeleteController::ConfirmDelete(const QString& prompt)
{
    const QString text = prompt.isEmpty() ? DeleteOneQuestion(DeleteName) : prompt;
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
    if (ctx_.state.GotFocus == FocusSide::Server)
        deleteOnServer();
    else if (ctx_.state.GotFocus == FocusSide::Local)
        deleteLocally();
}

bool DeleteController::confirmFile(const QString& question, qsizetype files)
{
    if (confirmAll_)
        return true;
    // All means something only when there is more than one.
    Dialogs& dialogs = *ctx_.services.dialogs;
    switch (files > 1 ? dialogs.confirm(question) : dialogs.confirmOne(question)) {
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
    RunCommand(ctx_, [this] {
        const QString current = SelectedServerRow(ctx_.serverView);
        if (current.endsWith(QLatin1Char('/')))
            deleteFolderOnServer(current);
        else
            deleteFilesOnServer();
    });
}

void DeleteController::deleteFolderOnServer(const QString& rowText)
{
    DeleteName = rowText;
    // One folder: the Confirm window without All, as for one file.
    if (ctx_.services.dialogs->confirmOne(DeleteOneQuestion(DeleteName)) != Dialogs::ConfirmChoice::Yes)
        return;
    const QString problem = ServerNameProblem(rowText);
    if (!problem.isEmpty())
        throw FtpError(ftp_errors::BadName, NameProblemFailure(rowText, problem));
    ctx_.feedback.status(QStringLiteral("Status: Deleting ") + rowText);
    try {
        ctx_.ftp.RemoveDir(FolderName(rowText));
    } catch (const FtpError& error) {
        if (!IsServerRefusal(error))
            throw;
        if (!emptyThenRemove(rowText, error))
            return;
    }
    RemoveFromCache(ctx_.services.appFolder, ctx_.state.place, rowText);
    ctx_.feedback.status(QStringLiteral("Status: Delete Complete"));
    session_.Relist();
}

bool DeleteController::emptyThenRemove(const QString& rowText, const FtpError& refusal)
{
    const QString folder = FolderName(rowText);
    const QList<ListRow> entries = session_.ListSubFolder(folder);
    if (entries.isEmpty())
        throw refusal;  // empty, so the server refused for another reason
    QStringList files, folders;
    for (const ListRow& entry : entries) {
        if (FolderName(entry.text) == QLatin1String(".") || FolderName(entry.text) == QLatin1String(".."))
            continue;  // some servers list the folder itself and its parent
        const QString problem = ServerNameProblem(entry.text);
        if (!problem.isEmpty())
            throw FtpError(ftp_errors::BadName, NameProblemFailure(rowText + entry.text, problem));
        if (!entry.folder) {
            files << entry.text;
            continue;
        }
        // Only empty folders go: nothing deeper is deleted behind the person's back.
        bool empty = false;
        session_.InSubFolder(folder, [&] { empty = session_.ListSubFolder(FolderName(entry.text)).isEmpty(); });
        if (!empty)
            throw FtpError(refusal.number, QStringLiteral("The folder %1 cannot be deleted: the folder %2 inside it "
                                                          "is not empty. Nothing was deleted.\n(%3)")
                                               .arg(rowText, entry.text, refusal.description));
        folders << FolderName(entry.text);
    }
    QStringList parts;
    if (!files.isEmpty())
        parts << Count(files.size(), "file", "files");
    if (!folders.isEmpty())
        parts << Count(folders.size(), "empty folder", "empty folders");
    // The refusal may have another reason than the entries (a folder the
    // server protects, a link), so its words go along and No is the default.
    const QString question = QStringLiteral("The folder %1 is not empty: it holds %2 (%3).\n(%4)\n\nDelete them %5 "
                                            "first, then the folder?")
                                 .arg(rowText, Count(entries.size(), "entry", "entries"),
                                      parts.join(QStringLiteral(" and ")), refusal.description, kFromServer);
    if (ctx_.services.dialogs->question(question, Dialogs::Icon::None, QStringLiteral("Confirmation"),
                                        Dialogs::Answer::No) != kYes)
        return false;

    session_.InSubFolder(folder, [&] {
        for (const QString& file : std::as_const(files)) {
            ctx_.feedback.status(QStringLiteral("Status: Deleting %1%2").arg(rowText, file));
            ctx_.ftp.DeleteFile(file);
        }
        for (const QString& sub : std::as_const(folders)) {
            ctx_.feedback.status(QStringLiteral("Status: Deleting %1%2/").arg(rowText, sub));
            ctx_.ftp.RemoveDir(sub);
        }
    });
    ctx_.feedback.status(QStringLiteral("Status: Deleting ") + rowText);
    ctx_.ftp.RemoveDir(folder);
    return true;
}

void DeleteController::deleteFilesOnServer()
{
    QList<ChosenRow> rows;
    for (const ChosenRow& chosen : ChosenRows(ctx_.serverModel, ctx_.serverView.selectedRows())) {
        // A folder row is no file: the folder branch removes folders.
        if (!chosen.row.text.endsWith(QLatin1Char('/')))
            rows << chosen;
    }
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QString text = rows.at(i).row.text;
        if (!confirmFile(DeleteQuestion(text, i + 1, rows.size(), kFromServer,
                                        QStringLiteral("This cannot be undone.")),
                         rows.size()))
            return;  // No: what was deleted stays deleted, the list is not re-read
        const QString problem = ServerNameProblem(text);
        if (!problem.isEmpty())
            throw FtpError(ftp_errors::BadName, NameProblemFailure(text, problem));
        ctx_.feedback.status(QStringLiteral("Status: Deleting ") + text);
        ctx_.ftp.DeleteFile(text);
        RemoveFromCache(ctx_.services.appFolder, ctx_.state.place, text);
        // Dimmed at once: a No, a refusal or Stop further on ends the command
        // before the list is read again.
        ctx_.serverModel.setDimmed(rows.at(i).index.row(), true);
    }
    ctx_.feedback.status(QStringLiteral("Status: Delete Complete"));
    session_.Relist();
}

void DeleteController::deleteLocally()
{
    const QDir folder(ctx_.localPane.folder());
    // The local list has no dimmed rows: it shows what is left on every way out.
    struct Refresh {
        LocalPane& pane;
        ~Refresh() { pane.refreshFiles(); }
    } refresh{ctx_.localPane};
    const QString afterwards = kLocalTrash ? QStringLiteral("Files are moved to the trash, where they can be restored.")
                                           : QStringLiteral("This cannot be undone.");
    try {
        const QStringList names = ctx_.localPane.selectedFiles();
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QString& name = names.at(i);
            if (!confirmFile(DeleteQuestion(name, i + 1, names.size(), kFromComputer, afterwards), names.size()))
                return;
            const QString problem = EntryNameProblem(name);
            if (!problem.isEmpty())
                throw FtpError(ftp_errors::LocalFile, NameProblemFailure(name, problem));
            if (!removeLocalFile(EntryPath(folder.path(), name), name))
                return;
        }
    } catch (const FtpError& error) {
        ctx_.reportError(error);
    }
}

bool DeleteController::removeLocalFile(const QString& path, const QString& name)
{
    QFile file(path);
    if (kLocalTrash) {
        QString why;
        if (PrepareHomeTrash(&why)) {
            if (file.moveToTrash()) {
                if (QFileInfo(file.fileName()).isAbsolute())
                    return true;
                throw FtpError(ftp_errors::LocalFile, QStringLiteral("%1 was moved to %2 instead of the trash.")
                                                          .arg(name, QFileInfo(file.fileName()).absoluteFilePath()));
            }
            why = file.errorString();
        }
        const QString question = QStringLiteral("%1 could not be moved to the trash (%2).\n\nDelete it %3 for good?")
                                     .arg(name, why, kFromComputer);
        if (ctx_.services.dialogs->message(question, Dialogs::Buttons::YesNo, Dialogs::Icon::None,
                                           QStringLiteral("Confirmation")) != kYes)
            return false;
    }
    if (!file.remove())
        throw FtpError(ftp_errors::LocalFile,
                       QStringLiteral("The file %1 could not be deleted: %2").arg(file.fileName(), file.errorString()));
    return true;
}

}  // namespace quillmar
