#pragma once

#include "shell/main_context.h"

#include <QObject>

namespace quillmar {

class SessionController;

// A new folder in the current server folder when the server list was used
// last, otherwise in the current local folder.
class NewFolderController : public QObject {
    Q_OBJECT
public:
    NewFolderController(MainContext& context, SessionController& session, QObject* parent = nullptr);

    void NewFolder();

private:
    void newFolderOnServer();
    void newFolderLocally();

    MainContext& ctx_;
    SessionController& session_;
};

}  // namespace quillmar
