#include "app/form1.h"

#include "operations/copy_web_address.h"
#include "operations/delete_command.h"
#include "operations/new_folder_command.h"
#include "operations/rename_command.h"
#include "operations/transfers.h"
#include "pictures/local_pane.h"
#include "pictures/picture_frame.h"
#include "pictures/preview.h"
#include "pictures/server_list_model.h"
#include "pictures/server_list_view.h"
#include "session/ftp_component.h"
#include "browse/listing_receiver.h"
#include "browse/session_controller.h"
#include "info/about.h"
#include "info/help.h"
#include "operations/publish_window.h"
#include "shell/print_list.h"
#include "shell/constants.h"
#include "sites/file_list.h"
#include "sites/site_form.h"
#include "shell/feedback.h"
#include "shell/input_gate.h"
#include "shell/window_kit.h"
#include "app/system_keyring.h"
#include "sites/site_passwords.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>

#include <chrono>

namespace quillmar {

namespace {

// Shorter than the idle time-outs servers commonly use.
constexpr std::chrono::seconds kKeepAliveInterval{60};

// A toolbar key: its name (the action's object name), what it shows and
// the command it runs. A key without a name is a separator.
struct ToolButton {
    const char* key;
    const char* caption;
    const char* tip;
    const char* icon;  // freedesktop name
    void (Form1::*command)();
};

const ToolButton kToolButtons[] = {
    {"Connect", "Open", "Connect", "network-connect", &Form1::Connect},
    {"Disconnect", "Close", "Disconnect", "network-disconnect", &Form1::Disconnect},
    {},
    {"Sites", "Sites", "Site Manager", "user-bookmarks", &Form1::OpenSiteManager},
    {"List", "List", "Display uploaded files without connecting.", "document-open-recent", &Form1::OpenListingViewer},
    {"Print", "Print", "Print Remote File List", "document-print", &Form1::PrintRemoteList},
    {},
    {"Delete", "Delete", "Delete Selected File", "edit-delete", &Form1::DeleteCommand},
    {},
    {"Get", "Download", "Download Selected File", "go-down", &Form1::Download},
    {"Put", "Upload", "Upload Selected File", "document-send", &Form1::Upload},
    {"Publish", "Publish", "Publish the Local Folder to the Server Folder", "folder-remote", &Form1::PublishFolder},
    {},
    {"Refresh", "Refresh", "Refresh File List", "view-refresh", &Form1::Refresh},
    {"Back", "Go Up", "Go Up One Folder On Server", "go-up", &Form1::GoUp},
    {"Stop", "Stop", "Stop the running command (Esc)", "process-stop", &Form1::Stop},
    {},
    {"Help", "Help", "Display Help Dialog", "help-contents", &Form1::OpenHelp},
};

}  // namespace

Form1::Form1(const Services& services, QWidget* parent) : QMainWindow(parent), services_(services)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kAppTitle);
    // Every window of the program, dialogs included, shows this picture.
    QApplication::setWindowIcon(AppIcon());
    if (!services_.keyring) {
        systemKeyring_ = MakeSystemKeyring();
        services_.keyring = systemKeyring_.get();
    }
    passwords_ = std::make_unique<SitePasswords>(*services_.keyring, *services_.settings);
    ftp_ = new FtpComponent(this);
    ftp_->setObjectName(QStringLiteral("FTP1"));
    buildElements();
    buildMenus();
    buildToolbar();
    assignKeys();
    setTabOrderOfPanes();
    context_ = std::make_unique<MainContext>(MainContext{*this, services_, settings_, *ftp_, *feedback_,
                                                         *serverModel_, *serverView_, *localPane_, state_,
                                                         [this](const FtpError& e) { ReportError(e); }});
    receiver_ = new ListingReceiver(*ftp_, *serverModel_, *feedback_, this);
    session_ = new SessionController(*context_, *receiver_, *passwords_, this);
    transfers_ = new TransferController(*context_, *session_, this);
    deleter_ = new DeleteController(*context_, *session_, this);
    renamer_ = new RenameController(*context_, *session_, this);
    newFolder_ = new NewFolderController(*context_, *session_, this);
    preview_ = new PreviewController(*context_, this);
    connect(preview_, &PreviewController::viewImageDoubleClicked, this, &Form1::viewimage_DblClick);
    connect(ftp_, &FtpComponent::StateChanged, preview_, [this](int connected) {
        if (connected == 0)
            preview_->ForgetServerPicture();
        showHowToBegin();
        showPublishAvailable(connected != 0);
    });
    showPublishAvailable(false);
    // The edit ends before the rename runs, so the list may be re-read
    // safely; an edit ended by a focus change while a command runs (a
    // question, a transfer) waits for that command to end.
    serverModel_->setEditable(true);
    connect(serverModel_, &ServerListModel::renameRequested, this, [this](int row, const QString& text) {
        pendingRename_ = std::pair{serverModel_->row(row).text, text};
        QMetaObject::invokeMethod(this, &Form1::runPendingRename, Qt::QueuedConnection);
    });
    feedback_->commandsOver = [this] { QMetaObject::invokeMethod(this, &Form1::runPendingRename, Qt::QueuedConnection); };
    inputGate_ = new InputGate({mnuStop_, toolbar_->findChild<QAction*>(QStringLiteral("Stop"))}, this);
    connect(ftp_, &FtpComponent::Busy, this, &Form1::showCallRunning);
    showCallRunning(false);
    // A quit request (logout, session manager) saves as the close box does.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (!closing_) {
            closing_ = true;
            saveSettings();
        }
    });
    wireEvents();
}

Form1::~Form1()
{
    // The component may still be inside a call when the window goes away.
    ftp_->Abort();
}

QAction* Form1::addMenuAction(QMenu* menu, const char* name, const QString& caption, void (Form1::*slot)())
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    if (slot)
        connect(action, &QAction::triggered, this, slot);
    return action;
}

QAction* Form1::addUploadOption(QMenu* menu, const char* name, const QString& caption, bool UploadOptions::*option)
{
    QAction* action = addMenuAction(menu, name, caption, nullptr);
    action->setCheckable(true);
    connect(action, &QAction::toggled, this, [this, option](bool checked) { state_.upload.*option = checked; });
    return action;
}

void Form1::buildMenus()
{
    QMenuBar* bar = menuBar();
    QMenu* ftpMenu = bar->addMenu(QStringLiteral("&FTP"));
    ftpMenu->setObjectName(QStringLiteral("mnuMaster"));
    addMenuAction(ftpMenu, "mnuConnect", QStringLiteral("&Connect"), &Form1::Connect);
    addMenuAction(ftpMenu, "mnuHangUp", QStringLiteral("&Disconnect"), &Form1::Disconnect);
    ftpMenu->addSeparator();
    addMenuAction(ftpMenu, "mnuSiteMan", QStringLiteral("&Site Manager"), &Form1::OpenSiteManager);
    ftpMenu->addSeparator();
    addMenuAction(ftpMenu, "mnuPublish", QStringLiteral("&Publish Folder..."), &Form1::PublishFolder);
    ftpMenu->addSeparator();
    addMenuAction(ftpMenu, "mnuExit", QStringLiteral("E&xit Quillmar"), &Form1::Exit);

    mnuCommands_ = bar->addMenu(QStringLiteral("&Commands"));
    mnuCommands_->setObjectName(QStringLiteral("mnuCommands"));
    addMenuAction(mnuCommands_, "mnuUpload", QStringLiteral("&Upload"), &Form1::Upload);
    addMenuAction(mnuCommands_, "mnuDownload", QStringLiteral("&Download"), &Form1::Download);
    addMenuAction(mnuCommands_, "mnuGoUp", QStringLiteral("&Go Up"), &Form1::GoUp);
    mnuStop_ = addMenuAction(mnuCommands_, "mnuStop", QStringLiteral("&Stop"), &Form1::Stop);
    mnuCommands_->addSeparator()->setObjectName(QStringLiteral("mnusep2"));
    addMenuAction(mnuCommands_, "mnuNewFolder", QStringLiteral("&New Folder"), &Form1::NewFolderCommand);
    addMenuAction(mnuCommands_, "mnuRename", QStringLiteral("&Rename"), &Form1::RenameCommand);
    addMenuAction(mnuCommands_, "mnuDelete", QStringLiteral("De&lete File"), &Form1::DeleteCommand);
    addMenuAction(mnuCommands_, "mnuCopyWebAddress", QStringLiteral("Copy &Web Address"), &Form1::CopyWebAddress)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    mnuCommands_->addSeparator();
    addMenuAction(mnuCommands_, "mnuPrintRemote", QStringLiteral("&Print Remote File List"), &Form1::PrintRemoteList);

    QMenu* viewMenu = bar->addMenu(QStringLiteral("&View"));
    viewMenu->setObjectName(QStringLiteral("mnuView"));
    addMenuAction(viewMenu, "mnuPrevConnect", QStringLiteral("&Last Connection Listing"), &Form1::OpenListingViewer);
    addMenuAction(viewMenu, "mnuRefresh", QStringLiteral("&Refresh"), &Form1::Refresh);
    mnuRemotePreview_ = addUploadOption(viewMenu, "mnuRemotePreview", QStringLiteral("Preview &Server Pictures"),
                                        &UploadOptions::remotePreview);

    QMenu* options = bar->addMenu(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("mnuOptions"));
    mnuReportStyle_ = addMenuAction(options, "mnuReportStyle", QStringLiteral("&Report View"), nullptr);
    mnuReportStyle_->setCheckable(true);
    mnuReportStyle_->setChecked(true);
    connect(mnuReportStyle_, &QAction::triggered, this,
            [this](bool checked) { serverView_->setReportView(checked); });
    addMenuAction(options, "mnuImageCache", QStringLiteral("&Empty Image Cache"), &Form1::EmptyImageCache);
    mnuWebReady_ = addUploadOption(options, "mnuWebReady", QStringLiteral("Prepare Pictures for the &Web"),
                                   &UploadOptions::webReady);
    options->addSeparator();
    mnuAskReplace_ = addMenuAction(options, "mnuAskReplace", QStringLiteral("&Ask Before Replacing Files"), nullptr);
    mnuAskReplace_->setCheckable(true);
    mnuAskReplace_->setChecked(true);
    connect(mnuAskReplace_, &QAction::toggled, this, [this](bool checked) { state_.AskReplace = checked; });
    mnuKeepAlive_ = addMenuAction(options, "mnuKeepAlive", QStringLiteral("Keep Connection A&live"), nullptr);
    mnuKeepAlive_->setCheckable(true);
    connect(mnuKeepAlive_, &QAction::toggled, this, [this](bool checked) {
        ftp_->setKeepAlive(checked ? std::chrono::milliseconds(kKeepAliveInterval) : std::chrono::milliseconds::zero());
    });
    mnuStartupConnect_ = addMenuAction(options, "mnuStartupConnect", QStringLiteral("&Auto Connect"), nullptr);
    mnuStartupConnect_->setCheckable(true);
    mnuStartupConnect_->setChecked(false);
    mnuKeyring_ = addMenuAction(options, "mnuKeyring", QStringLiteral("&Keep Passwords in the System Keyring"), nullptr);
    mnuKeyring_->setCheckable(true);
    // triggered, not toggled: setting the check from start-up moves nothing.
    connect(mnuKeyring_, &QAction::triggered, this, &Form1::switchPasswordPlace);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    addMenuAction(help, "mnuContents", QStringLiteral("&Contents"), &Form1::OpenHelp);
    addMenuAction(help, "mnuUninstall", QStringLiteral("&Uninstallation Information"), &Form1::ShowUninstallNote);
    addMenuAction(help, "mnuAbout", QStringLiteral("&About"), &Form1::OpenAbout);
}

void Form1::buildToolbar()
{
    toolbar_ = addToolBar(QStringLiteral("Toolbar"));
    toolbar_->setObjectName(QStringLiteral("Toolbar1"));
    toolbar_->setMovable(false);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->setIconSize(QSize(24, 24));
    for (const ToolButton& button : kToolButtons) {
        if (!button.key) {
            toolbar_->addSeparator();
            continue;
        }
        QAction* action = toolbar_->addAction(ToolIcon(QLatin1String(button.icon)), QLatin1String(button.caption));
        const QString key = QLatin1String(button.key);
        action->setObjectName(key);
        action->setData(key);
        action->setToolTip(QLatin1String(button.tip));
        connect(action, &QAction::triggered, this, [this, key] { Toolbar1_ButtonClick(key); });
    }
    toolbar_->findChild<QAction*>(QStringLiteral("Stop"))->setShortcut(Qt::Key_Escape);
}

void Form1::showCallRunning(bool running)
{
    inputGate_->setClosed(running);
    callRunning_ = running;
    if (running || !isVisible())
        return showStop(running);
    // A command of many files starts its next call before the event loop
    // runs again: Stop goes grey once the loop runs, not between two files,
    // where each change laid out the toolbar and the window again.
    QTimer::singleShot(0, this, [this] {
        if (!callRunning_)
            showStop(false);
    });
}

void Form1::showStop(bool enabled)
{
    mnuStop_->setEnabled(enabled);
    toolbar_->findChild<QAction*>(QStringLiteral("Stop"))->setEnabled(enabled);
}

void Form1::wireEvents()
{
    // Only the two lists of entries choose the side; the preview, the
    // toolbar and the folder list leave it as it is.
    connect(serverView_, &ServerListView::focusEntered, this, [this] {
        state_.GotFocus = FocusSide::Server;
        state_.FolderListFocus = false;
    });
    connect(localPane_, &LocalPane::focusEntered, this, [this] {
        state_.GotFocus = FocusSide::Local;
        state_.FolderListFocus = false;
    });
    connect(localPane_, &LocalPane::folderListFocused, this, [this] { state_.FolderListFocus = true; });
    connect(serverView_, &ServerListView::rightButtonReleased, this,
            [this](const QPoint& at) { mnuCommands_->popup(at); });
    connect(localPane_, &LocalPane::contextMenuRequested, this,
            [this](const QPoint& at) { mnuCommands_->popup(at); });
    connect(serverView_, &ServerListView::rowDoubleClicked, session_, &SessionController::ServerDoubleClick);
    connect(serverView_, &ServerListView::rowClicked, this, &Form1::ListView1_Click);
    connect(localPane_, &LocalPane::fileClicked, this, &Form1::File1_Click);
    connect(localPane_, &LocalPane::fileDoubleClicked, this, &Form1::File1_DblClick);
    // Drops run the same commands as the buttons, once the drag is over.
    connect(serverView_, &ServerListView::filesDropped, transfers_, &TransferController::UploadFiles,
            Qt::QueuedConnection);
    connect(localPane_, &LocalPane::serverRowsDropped, transfers_, &TransferController::DownloadRows,
            Qt::QueuedConnection);
}

void Form1::Form_Load()
{
    const StartUpValues values = ReadStartUpValues(*services_.settings);
    settings_ = values.connection;
    mnuStartupConnect_->setChecked(values.autoConnect);
    mnuAskReplace_->setChecked(settings_keys::AskReplace.read(*services_.settings).toBool());
    mnuKeepAlive_->setChecked(settings_keys::KeepAlive.read(*services_.settings).toBool());
    const UploadOptions upload = ReadUploadOptions(*services_.settings);
    mnuWebReady_->setChecked(upload.webReady);
    mnuRemotePreview_->setChecked(upload.remotePreview);
    state_.upload = upload;
    restoreWindowPlace();
    showHowToBegin();
    show();
    // The keyring's first answer waits for its library and the session bus;
    // the window is drawn before it is asked, not after.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    settlePasswordPlace();
    if (mnuStartupConnect_->isChecked())
        Connect();
}

void Form1::saveSettings()
{
    settings_keys::AskReplace.write(*services_.settings, mnuAskReplace_->isChecked());
    settings_keys::KeepAlive.write(*services_.settings, mnuKeepAlive_->isChecked());
    WriteUploadOptions(*services_.settings, state_.upload);
    StartUpValues values{settings_, mnuStartupConnect_->isChecked()};  // writes the store
    QString problem;
    values.connection.Pass = passwords_->keep(settings_.User, settings_.URL, settings_.Pass, &problem);
    if (!problem.isEmpty())
        qWarning("%s", qUtf8Printable(problem));
    QString error;
    if (!WriteStartUpValues(*services_.settings, values, &error))
        qWarning("%s", qUtf8Printable(error));
}

void Form1::settlePasswordPlace()
{
    const auto show = [this] { mnuKeyring_->setChecked(passwords_->keptInKeyring()); };
    if (!passwords_->keyringAnswers() || passwords_->choice()) {
        show();
        return;
    }
    if (!HasPlainPasswords(services_.appFolder, *services_.settings)) {
        passwords_->setChoice(true);
        show();
        return;
    }
    const int answer = services_.dialogs->message(
        QStringLiteral("Keep your site passwords in the system keyring instead of in plain text?"),
        Dialogs::Buttons::YesNo, Dialogs::Icon::Information, kAppTitle);
    if (answer != Dialogs::kYes)
        passwords_->setChoice(false);
    else
        switchPasswordPlace(true);  // a move that fails is asked about again next start
    show();
}

void Form1::switchPasswordPlace(bool intoKeyring)
{
    QString problem;
    if (!passwords_->keyringAnswers()) {
        problem = QStringLiteral("No system keyring answers, so passwords are stored in sites.snd in your data "
                                 "folder.");
    } else {
        // An open site manager would write its old list back when it closes.
        if (siteForm_ && siteForm_->isLoaded())
            siteForm_->close();
        const bool moved =
            intoKeyring
                ? MovePasswordsIntoKeyring(services_.appFolder, *services_.settings, *services_.keyring, &problem)
                : MovePasswordsOutOfKeyring(services_.appFolder, *services_.settings, *services_.keyring, &problem);
        if (moved)
            passwords_->setChoice(intoKeyring);
        // The shutdown save must not empty a password the move just wrote back.
        if (settings_.Pass.isEmpty())
            settings_.Pass = ReadStartUpValues(*services_.settings).connection.Pass;
    }
    mnuKeyring_->setChecked(passwords_->keptInKeyring());
    if (!problem.isEmpty())
        Inform(services_, problem);
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (!closing_) {
        closing_ = true;
        saveWindowPlace();
        saveSettings();
        // A transfer still running ends here; its command winds down quietly.
        ftp_->Abort();
    }
    event->accept();
}

void Form1::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete) {
        DeleteCommand();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void Form1::Toolbar1_ButtonClick(const QString& key)
{
    for (const ToolButton& button : kToolButtons) {
        if (button.key && key == QLatin1String(button.key)) {
            (this->*button.command)();
            return;
        }
    }
}

void Form1::ReportError(const FtpError& error)
{
    if (error.number == ftp_errors::Cancelled)
        return;  // the program ended the call itself (the window is closing)
    if (error.number == ftp_errors::Stopped) {
        feedback_->status(QStringLiteral("Status: Stopped."));
        feedback_->setProgress(0);
        return;
    }
    if (error.number == ftp_errors::NoRowSelected || error.number == ftp_errors::NotConnected) {
        services_.dialogs->message(QStringLiteral("You must first connect to the internet or your server."),
                                   Dialogs::Buttons::Ok, Dialogs::Icon::None, kAppTitle);
        return;
    }
    services_.dialogs->message(error.description, Dialogs::Buttons::Ok, Dialogs::Icon::None,
                               kAppTitle + QStringLiteral(" Information"));
}

void Form1::showHowToBegin()
{
    serverView_->setPlaceholderText(
        settings_.URL.isEmpty()
            ? QStringLiteral("Open the Site Manager (FTP menu) to add your FTP site, then Connect")
            : QString());
}

void Form1::Connect()
{
    // Without a site there is nothing to connect to: the place to add or
    // choose one is where the person is taken.
    if (settings_.URL.isEmpty()) {
        OpenSiteManager();
        return;
    }
    session_->Connect();
}
void Form1::Disconnect() { session_->Disconnect(); }
void Form1::Stop() { ftp_->Stop(); }
void Form1::GoUp() { session_->GoUp(); }
void Form1::Refresh() { session_->Refresh(); }

void Form1::Download() { transfers_->Download(); }
void Form1::Upload() { transfers_->Upload(); }
void Form1::DeleteCommand() { deleter_->Delete(); }

void Form1::PublishFolder()
{
    if (!EnsureConnected(*context_))
        return;
    if (!publish_)
        publish_ = new PublishWindow(*context_, *session_, *transfers_, this);
    publish_->Open();
}

void Form1::showPublishAvailable(bool connected)
{
    findChild<QAction*>(QStringLiteral("mnuPublish"))->setEnabled(connected);
    toolbar_->findChild<QAction*>(QStringLiteral("Publish"))->setEnabled(connected);
    // Its comparison belongs to the connection that made it.
    if (!connected && publish_)
        publish_->close();
}
void Form1::RenameCommand() { renamer_->Rename(); }
void Form1::NewFolderCommand() { newFolder_->NewFolder(); }

void Form1::PrintRemoteList()
{
    PrintedList list{ShownSiteName(settings_), settings_.URL, state_.place.folder, {}};
    list.rows.reserve(serverModel_->size());
    for (int i = 0; i < serverModel_->size(); ++i) {
        const ServerRow& row = serverModel_->row(i);
        list.rows.append({row.text, row.size.text(), row.dateText});
    }
    PrintRemoteFileList(services_, *feedback_, list, this);
}

void Form1::OpenSiteManager()
{
    if (!siteForm_)
        siteForm_ = new SiteForm(services_, settings_, *passwords_, [this] { Connect(); }, this);
    siteForm_->Open();
}

void Form1::OpenListingViewer()
{
    if (!fileList_)
        fileList_ = new FileList(services_, this);
    fileList_->Open();
}

void Form1::OpenHelp()
{
    if (!help_)
        help_ = new HelpFrm(services_, this);
    help_->Open();
}

void Form1::OpenAbout()
{
    if (!about_)
        about_ = new frmAbout(services_, this);
    about_->Open();
}

void Form1::ShowUninstallNote() { quillmar::ShowUninstallNote(services_); }
void Form1::EmptyImageCache() { deleter_->EmptyImageCache(); }
void Form1::CopyWebAddress() { quillmar::CopyWebAddress(*context_); }

void Form1::Exit()
{
    close();
    QCoreApplication::exit(0);
}

// The preview and upload flows attach here.
void Form1::File1_Click() { preview_->File1_Click(); }
void Form1::File1_DblClick() { transfers_->UploadByDoubleClick(); }
void Form1::ListView1_Click() { preview_->ListView1_Click(); }
void Form1::viewimage_DblClick() { preview_->viewimage_DblClick(); }

void Form1::runPendingRename()
{
    if (!pendingRename_ || feedback_->commandRunning())
        return;
    const auto [old, text] = *std::exchange(pendingRename_, std::nullopt);
    renamer_->RenameInPlace(old, text);
}

}  // namespace quillmar
