#pragma once

#include "shell/connection_settings.h"
#include "shell/main_context.h"
#include "shell/services.h"

#include <QMainWindow>

#include <memory>
#include <optional>
#include <utility>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;

namespace quillmar {

class Feedback;
class FtpComponent;
class InputGate;
class ListingReceiver;
class LocalPane;
class ServerListModel;
class ServerListView;
class SessionController;
class SitePasswords;
class PasswordStore;
class SiteForm;
class FileList;
class frmAbout;
class HelpFrm;
class TransferController;
class PublishWindow;
class DeleteController;
class RenameController;
class NewFolderController;
class PreviewController;

// The main window: its elements, the command surface (menu bar, toolbar,
// Delete key) and the common error report. The commands themselves live in
// the controllers it hands its parts to.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(const Services& services, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: read the store, show the window, Auto Connect.
    void Form_Load();

    // Runs the command behind a toolbar key; an unknown key does nothing.
    void Toolbar1_ButtonClick(const QString& key);

    // The common failure report: one message box, nothing else.
    void ReportError(const FtpError& error);

    void Connect();
    void Disconnect();
    void Stop();
    void GoUp();
    void Refresh();
    void Download();
    void Upload();
    void DeleteCommand();
    // FTP > Publish Folder...: the local folder compared with the server's, then sent.
    void PublishFolder();
    void RenameCommand();
    void NewFolderCommand();
    void PrintRemoteList();
    void OpenSiteManager();
    void OpenListingViewer();
    void OpenHelp();
    void OpenAbout();
    void ShowUninstallNote();
    void EmptyImageCache();
    void CopyWebAddress();
    void Exit();

    ConnectionSettings& connectionSettings() { return settings_; }
    MainState& state() { return state_; }
    FtpComponent& ftp() { return *ftp_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Layout, keys and the remembered window place (form1_layout.cpp).
    void buildElements();
    void placeAtDesignSize();
    // The empty server list says how to begin while no site is chosen.
    void showHowToBegin();
    // Publishing needs a connection: its entries are enabled only then.
    void showPublishAvailable(bool connected);
    void restoreWindowPlace();
    void saveWindowPlace();
    void assignKeys();
    void setTabOrderOfPanes();

    void buildMenus();
    void buildToolbar();
    void wireEvents();
    QAction* addMenuAction(QMenu* menu, const char* name, const QString& caption, void (Form1::*slot)());
    // A checkable entry that switches one of the upload options.
    QAction* addUploadOption(QMenu* menu, const char* name, const QString& caption, bool UploadOptions::*option);
    void saveSettings();
    // First start with a keyring: one question moves the plain-text
    // passwords in, or leaves them where they are for good.
    void settlePasswordPlace();
    // Options > Keep Passwords in the System Keyring: moves them either way.
    void switchPasswordPlace(bool intoKeyring);
    // Stop works only while a server command runs, and then little else does.
    void showCallRunning(bool running);
    void showStop(bool enabled);

    // Entry points of the preview and of upload by double click.
    void File1_Click();
    void File1_DblClick();
    void ListView1_Click();
    void viewimage_DblClick();
    // An in-place rename once no command runs.
    void runPendingRename();

    Services services_;
    ConnectionSettings settings_;
    MainState state_;

    FtpComponent* ftp_ = nullptr;
    std::unique_ptr<Feedback> feedback_;
    ServerListModel* serverModel_ = nullptr;
    ServerListView* serverView_ = nullptr;
    LocalPane* localPane_ = nullptr;
    QSplitter* panes_ = nullptr;
    QFrame* picback_ = nullptr;
    QLabel* viewimage_ = nullptr;
    QMenu* mnuCommands_ = nullptr;
    QAction* mnuReportStyle_ = nullptr;
    QAction* mnuStartupConnect_ = nullptr;
    QAction* mnuKeepAlive_ = nullptr;
    QAction* mnuAskReplace_ = nullptr;
    QAction* mnuWebReady_ = nullptr;
    QAction* mnuRemotePreview_ = nullptr;
    QAction* mnuKeyring_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QAction* mnuStop_ = nullptr;
    InputGate* inputGate_ = nullptr;

    // Secondary windows, made on first use; one of each.
    SiteForm* siteForm_ = nullptr;
    FileList* fileList_ = nullptr;
    frmAbout* about_ = nullptr;
    HelpFrm* help_ = nullptr;

    std::unique_ptr<PasswordStore> systemKeyring_;  // made when the services bring none
    std::unique_ptr<SitePasswords> passwords_;
    std::unique_ptr<MainContext> context_;
    ListingReceiver* receiver_ = nullptr;
    SessionController* session_ = nullptr;
    TransferController* transfers_ = nullptr;
    PublishWindow* publish_ = nullptr;
    DeleteController* deleter_ = nullptr;
    RenameController* renamer_ = nullptr;
    std::optional<std::pair<QString, QString>> pendingRename_;   // old and new name of an in-place edit
    NewFolderController* newFolder_ = nullptr;
    PreviewController* preview_ = nullptr;
    bool closing_ = false;
    bool callRunning_ = false;
};

}  // namespace quillmar
