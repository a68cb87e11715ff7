#pragma once

#include "shell/main_context.h"

#include <QObject>
#include <QString>

namespace quillmar {

class SessionController;
struct FtpError;

// Deleting on the side worked on last: the server's current folder row or its
// selected files, or the selected local files (into the system trash). Files
// are confirmed one by one (Yes, All, No) with a question naming the file and
// the side; a folder and the emptying of the picture cache are asked with a
// Yes/No question.
class DeleteController : public QObject {
    Q_OBJECT
public:
    DeleteController(MainContext& context, SessionController& session, QObject* parent = nullptr);

    void Delete();

    // The Yes/No question titled "Confirmation": the prompt, or when it is
    // empty the question about DeleteName on the server. Returns 6 for Yes,
    // 7 for No.
    int ConfirmDelete(const QString& prompt);

    // Asks, then deletes the files directly in the picture cache folder.
    void EmptyImageCache();

    // The name the folder question shows.
    QString DeleteName;

private:
    void deleteOnServer();
    void deleteFolderOnServer(const QString& rowText);
    void deleteFilesOnServer();
    void deleteLocally();
    // True when the file is to be deleted; false ends the command.
    bool confirmFile(const QString& question, qsizetype files);
    // After the server refused to remove a folder that still holds entries:
    // asks to delete its files and empty folders first, then does so and
    // removes it. False when the person says no; throws when it cannot be done.
    bool emptyThenRemove(const QString& rowText, const FtpError& refusal);
    // Moves a local file to the trash, or asks before deleting it for good
    // where that is not possible. False when the person says no.
    bool removeLocalFile(const QString& path, const QString& name);

    MainContext& ctx_;
    SessionController& session_;
    bool confirmAll_ = false;  // All was chosen; lasts for one command
};

}  // namespace quillmar
