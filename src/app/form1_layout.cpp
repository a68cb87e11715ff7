// The main window's layout, keys and remembered place.
#include "app/form1.h"

#include "pictures/local_pane.h"
#include "pictures/picture_frame.h"
#include "pictures/server_list_model.h"
#include "pictures/server_list_view.h"
#include "shell/constants.h"
#include "shell/feedback.h"
#include "shell/startup_rules.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStorageInfo>
#include <QToolBar>
#include <QVBoxLayout>

namespace quillmar {

namespace {

// The design: a client area 11685 twips wide, the three frames side by
// side 4815 high, 30 twips apart.
constexpr int kClientWidth = 11685;
constexpr int kFrameHeight = 4815;
constexpr int kLocalWidth = 3060;
constexpr int kViewerWidth = 4920;
constexpr int kServerWidth = 3645;
constexpr int kFrameGap = 30;

// Below this the toolbar folds and the lists show too few rows to use.
constexpr QSize kMinimumClient(560, 300);

// The drives of a machine without drive letters: its mounted file-system
// roots, "/" first.
QStringList MountedRoots()
{
    QStringList roots{QStringLiteral("/")};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && !roots.contains(volume.rootPath()))
            roots.append(volume.rootPath());
    }
    return roots;
}

}  // namespace

// The three frames stand in a splitter: the local pane keeps its width, the
// preview and the server list share whatever room the window gives.
void Form1::buildElements()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("client"));
    setCentralWidget(central);
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 4, 0, 4);

    panes_ = new QSplitter(Qt::Horizontal, central);
    panes_->setObjectName(QStringLiteral("Panes"));
    panes_->setChildrenCollapsible(false);
    panes_->setHandleWidth(Px(kFrameGap));
    layout->addWidget(panes_);

    localPane_ = new LocalPane(*services_.dialogs, MountedRoots, panes_);

    auto* frame2 = new QGroupBox(QStringLiteral(" Image Viewer "), panes_);
    frame2->setObjectName(QStringLiteral("Frame2"));
    frame2->setMinimumWidth(160);
    const PictureFrame preview = AddPictureFrame(frame2);
    picback_ = preview.picback;
    viewimage_ = preview.viewimage;
    viewimage_->setToolTip(QStringLiteral("Double Click to see a full screen preview!"));
    // 90, 240 twips in from the frame's corner; 90 and 60 from its far sides.
    KeepFilling(frame2, picback_, QMargins(Px(90), Px(240), Px(90), Px(60)));

    auto* frame1 = new QGroupBox(QStringLiteral(" Server Files "), panes_);
    frame1->setObjectName(QStringLiteral("Frame1"));
    frame1->setMinimumWidth(180);
    serverModel_ = new ServerListModel(this);
    serverView_ = new ServerListView(serverModel_, frame1);
    auto* serverLayout = new QVBoxLayout(frame1);
    serverLayout->setContentsMargins(4, 4, 4, 4);
    serverLayout->addWidget(serverView_);

    panes_->addWidget(localPane_);
    panes_->addWidget(frame2);
    panes_->addWidget(frame1);
    panes_->setStretchFactor(0, 0);
    panes_->setStretchFactor(1, 1);
    panes_->setStretchFactor(2, 1);
    panes_->setSizes({Px(kLocalWidth), Px(kViewerWidth), Px(kServerWidth)});

    feedback_ = std::make_unique<Feedback>(*this);
}

// A first start: the design's width, and the height that gives the frames
// their design height between this toolbar and status bar (whose heights
// follow the font), grown to use the screen well.
void Form1::placeAtDesignSize()
{
    const int menu = menuBar()->sizeHint().height();
    setMinimumSize(kMinimumClient.width(), kMinimumClient.height() + menu);
    const int margins = centralWidget()->layout()->contentsMargins().top()
                        + centralWidget()->layout()->contentsMargins().bottom();
    const QSize design(Px(kClientWidth), menu + toolbar_->sizeHint().height() + Px(kFrameHeight) + margins
                                             + statusBar()->sizeHint().height());
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect free = screen ? screen->availableGeometry() : QRect();
    resize(FirstWindowSize(design, free.size()));
    if (!free.isEmpty())
        move(free.center() - rect().center());
}

// Window geometry, splitter sizes and the local folder of the last run.
// A folder that is gone, or a place on a screen no longer there, is
// quietly left as a first start would have it.
void Form1::restoreWindowPlace()
{
    const QSettings& store = *services_.settings;
    const QByteArray geometry = settings_keys::Geometry.read(store).toByteArray();
    const QByteArray panes = settings_keys::Panes.read(store).toByteArray();
    const QString folder = settings_keys::LocalFolder.read(store).toString();
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        placeAtDesignSize();
    if (!panes.isEmpty())
        panes_->restoreState(panes);
    if (!folder.isEmpty() && folder != localPane_->folder())
        localPane_->enterFolderQuietly(folder);
}

void Form1::saveWindowPlace()
{
    QSettings& store = *services_.settings;
    settings_keys::Geometry.write(store, saveGeometry());
    settings_keys::Panes.write(store, panes_->saveState());
    settings_keys::LocalFolder.write(store, localPane_->folder());
}

// The desktop's usual keys, shown beside the menu entries. Delete, F2 and
// Ctrl+N act on the active pane as the menu entries do; Enter on a row is
// the lists' own (see the lists).
void Form1::assignKeys()
{
    const std::pair<const char*, QKeySequence> keys[] = {
        {"mnuRefresh", QKeySequence(Qt::Key_F5)},
        {"mnuExit", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"mnuDelete", QKeySequence(Qt::Key_Delete)},
        {"mnuRename", QKeySequence(Qt::Key_F2)},
        {"mnuGoUp", QKeySequence(Qt::Key_Backspace)},
        {"mnuNewFolder", QKeySequence(Qt::CTRL | Qt::Key_N)},
    };
    for (const auto& [name, key] : keys) {
        if (auto* action = findChild<QAction*>(QLatin1String(name)))
            action->setShortcut(key);
    }
}

// Tab goes from the local folders to the local files to the server list,
// never from cell to cell inside the server list.
void Form1::setTabOrderOfPanes()
{
    serverView_->setTabKeyNavigation(false);
    setTabOrder(localPane_->driveList(), localPane_->folderList());
    setTabOrder(localPane_->folderList(), localPane_->fileList());
    setTabOrder(localPane_->fileList(), serverView_);
}

}  // namespace quillmar
