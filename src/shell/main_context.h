#pragma once

#include "session/server_place.h"
#include "shell/connection_settings.h"

#include <QString>
#include <QtGlobal>

#include <functional>

class QMainWindow;

namespace quillmar {

class Feedback;
class FtpComponent;
class LocalPane;
class ServerListModel;
class ServerListView;
struct FtpError;
struct Services;

// Which list of entries had the focus last: the side a command acts on.
enum class FocusSide { None = 0, Local = 1, Server = 2 };

// Variables of the main window that several commands share.
struct MainState {
    FocusSide GotFocus = FocusSide::None;  // none until either list has had the focus
    bool FolderListFocus = false;  // the local folder list had the focus after either list
    bool AskReplace = true;        // ask before a transfer replaces a file
    ServerPlace place;      // where the server list's rows are; set at login and each folder change
    UploadOptions upload;   // the Options and View entries of group "Upload"
};

// What the main window hands to the controllers of its commands.
struct MainContext {
    QMainWindow& window;
    const Services& services;
    ConnectionSettings& settings;
    FtpComponent& ftp;
    Feedback& feedback;
    ServerListModel& serverModel;
    ServerListView& serverView;
    LocalPane& localPane;
    MainState& state;
    std::function<void(const FtpError&)> reportError;
};

// The guard and command messages: OK button, information icon, "Quillmar".
void Inform(const Services& services, const QString& text);

// The connection guard of the server commands: says "You must first connect
// to a server." and returns false while there is no connection.
bool EnsureConnected(const MainContext& context);

// Whether a command needs the connection before it starts.
enum class Needs { Connection, Nothing };

// Runs the work of a window command: the connection guard, the busy pointer
// while it runs, and on a failure the pointer restored before the error
// report. True when the work went through.
bool RunCommand(const MainContext& context, const std::function<void()>& work,
                      Needs needs = Needs::Connection);

// The failure of a server command that needs a selected row and has none.
FtpError NoRowSelected();

}  // namespace quillmar
