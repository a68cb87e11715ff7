// The floor for the main window's start-up: the same kinds of widgets,
// menus, toolbar icons and status bar as Form1, with nothing behind them
// (no settings, no folders read, no connection machinery). Shown and first
// painted, as startup_bench measures.
#include "first_paint.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

#include <iterator>

namespace {

// Entries per menu, as many as the main window's, with captions of like length.
const char* const kMenus[][14] = {
    {"&FTP", "&Connect", "&Disconnect", "-", "&Site Manager", "-", "E&xit", nullptr},
    {"&Commands", "&Upload", "&Download", "&Go Up", "&Stop", "-", "&New Folder", "&Rename", "De&lete File",
     "Copy &Web Address", "-", "&Print Remote File List", nullptr},
    {"&View", "&Last Connection Listing", "&Refresh", "Preview &Server Pictures", nullptr},
    {"&Options", "&Report View", "&Empty Image Cache", "Prepare Pictures for the &Web", "-",
     "&Ask Before Replacing Files", "Keep Connection A&live", "&Auto Connect",
     "&Keep Passwords in the System Keyring", nullptr},
    {"&Help", "&Contents", "&Uninstallation Information", "&About", nullptr},
};

// Caption and bundled icon of each toolbar button; empty for a separator.
const char* const kButtons[][2] = {
    {"Open", "network-connect"}, {"Close", "network-disconnect"}, {"", ""},
    {"Sites", "user-bookmarks"}, {"List", "document-open-recent"}, {"Print", "document-print"}, {"", ""},
    {"Delete", "edit-delete"}, {"", ""}, {"Download", "go-down"}, {"Upload", "document-send"}, {"", ""},
    {"Refresh", "view-refresh"}, {"Go Up", "go-up"}, {"Stop", "process-stop"}, {"", ""},
    {"Help", "help-contents"},
};

constexpr int kStatusPanels = 5;
constexpr int kServerColumns = 4;
constexpr int kToolIconSize = 24;

QIcon Bundled(const char* name)
{
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
}

constexpr std::size_t kOptionsMenu = 3;  // its entries are check marks

void AddMenus(QMainWindow& window)
{
    for (std::size_t m = 0; m < std::size(kMenus); ++m) {
        const auto& menu = kMenus[m];
        QMenu* shown = window.menuBar()->addMenu(QLatin1String(menu[0]));
        for (int i = 1; menu[i]; ++i) {
            if (menu[i][0] == '-')
                shown->addSeparator();
            else
                shown->addAction(QLatin1String(menu[i]))->setCheckable(m == kOptionsMenu);
        }
    }
}

void AddToolbar(QMainWindow& window)
{
    QToolBar* bar = window.addToolBar(QStringLiteral("Toolbar"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setIconSize(QSize(kToolIconSize, kToolIconSize));
    for (const auto& button : kButtons) {
        if (button[0][0] == '\0')
            bar->addSeparator();
        else
            bar->addAction(Bundled(button[1]), QLatin1String(button[0]));
    }
}

QWidget* LocalPane(QWidget* parent)
{
    auto* pane = new QGroupBox(QStringLiteral(" Local Files"), parent);
    auto* layout = new QVBoxLayout(pane);
    layout->addWidget(new QComboBox(pane));
    layout->addWidget(new QListWidget(pane), 1);
    layout->addWidget(new QListWidget(pane), 1);
    return pane;
}

QWidget* ViewerPane(QWidget* parent)
{
    auto* pane = new QGroupBox(QStringLiteral(" Image Viewer "), parent);
    auto* back = new QFrame(pane);
    back->setFrameShape(QFrame::Panel);
    new QLabel(back);
    new QLabel(back);
    auto* layout = new QVBoxLayout(pane);
    layout->addWidget(back);
    return pane;
}

QWidget* ServerPane(QWidget* parent)
{
    auto* pane = new QGroupBox(QStringLiteral(" Server Files "), parent);
    auto* view = new QTableView(pane);
    view->setModel(new QStandardItemModel(0, kServerColumns, view));
    view->verticalHeader()->hide();
    auto* layout = new QVBoxLayout(pane);
    layout->addWidget(view);
    return pane;
}

void AddStatusBar(QMainWindow& window)
{
    QStatusBar* bar = window.statusBar();
    for (int i = 0; i < kStatusPanels; ++i)
        bar->addWidget(new QLabel(i == 0 ? QStringLiteral("Status: Disconnected.") : QString(), bar), i == 0 ? 1 : 0);
    bar->addPermanentWidget(new QProgressBar(bar));
    auto* lights = new QFrame(bar);
    for (int i = 0; i < 3; ++i)
        new QLabel(lights);
    bar->addPermanentWidget(lights);
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    EndAtFirstPaint end;
    QApplication::setWindowIcon(Bundled("quillmar"));
    QMainWindow window;
    AddMenus(window);
    AddToolbar(window);
    auto* central = new QWidget(&window);
    auto* layout = new QHBoxLayout(central);
    auto* panes = new QSplitter(Qt::Horizontal, central);
    panes->addWidget(LocalPane(panes));
    panes->addWidget(ViewerPane(panes));
    panes->addWidget(ServerPane(panes));
    layout->addWidget(panes);
    window.setCentralWidget(central);
    AddStatusBar(window);
    window.resize(800, 400);
    window.show();
    return RunToFirstPaint();
}
