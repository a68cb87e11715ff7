#pragma once

#include "shell/main_context.h"

#include <QObject>
#include <QString>

namespace quillmar {

class SessionController;

// Renaming: the menu command on the side worked on last, and the in-place
// edit of a server row (on the server the picture cache copy follows).
class RenameController : public QObject {
    Q_OBJECT
public:
    RenameController(MainContext& context, SessionController& session, QObject* parent = nullptr);

    void Rename();
    // The edit of a row ended with newText while the row still held oldText.
    void RenameInPlace(const QString& oldText, const QString& newText);

private:
    void renameOnServer();
    void renameLocally();
    void renameServerEntry(const QString& oldName, const QString& newName);

    MainContext& ctx_;
    SessionController& session_;
};

}  // namespace quillmar
