#pragma once

#include "shell/main_context.h"

#include <QObject>
#include <QString>

namespace quillmar {

class SessionController;

// Deleting on the side worked on last: the server's current folder row or its
// selected files, or the selected local files. Files are confirmed one by one
// (Yes, All, No); a folder and the emptying of the picture cache are asked
// with a Yes/No question.
class DeleteController : public QObject {
    Q_OBJECT
public:
    DeleteController(MainContext& context, SessionController& session, QObject* parent = nullptr);

    void Delete();

    // The Yes/No question titled "Confirmation": the prompt, or when it is
    // empty the question about DeleteName. Returns 6 for Yes, 7 for No.
    int ConfirmDelete(const QString& prompt);

    // Asks, then deletes the files directly in the picture cache folder.
    void EmptyImageCache();

    // The name the folder question shows.
    QString DeleteName;

private:
    void deleteOnServer();
    void deleteLocally();
    // True when the file is to be deleted; false ends the command.
    bool confirmFile();

    MainContext& ctx_;
    SessionController& session_;
    bool confirmAll_ = false;  // All was chosen; lasts for one command
};

}  // namespace quillmar
