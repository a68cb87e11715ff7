// The main window on a desktop: panes that grow, the remembered place, lists
// that follow the disk, keys, the progress text, drag and drop.

#include "shell/confirm.h"
#include "pictures/local_pane.h"
#include "session/ftp_component.h"
#include "shell/message_dialogs.h"
#include "support/window_helpers.h"

#include <QDropEvent>
#include <QInputDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QRegularExpression>
#include <QSplitter>
#include <QUrl>

using quillmar::test::FtpServerFixture;

namespace {

const QString kConnectFirst = QStringLiteral("You must first connect to a server.");

QRect InWindow(const QWidget* widget)
{
    return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
}

// Names of the widgets among these whose rectangles overlap, or that stick
// out of the window.
QStringList Overlaps(const QWidget& window, const QList<QWidget*>& widgets)
{
    QStringList faults;
    for (int i = 0; i < widgets.size(); ++i) {
        if (!window.rect().contains(InWindow(widgets[i])))
            faults << widgets[i]->objectName() + QStringLiteral(" outside");
        for (int j = i + 1; j < widgets.size(); ++j) {
            if (InWindow(widgets[i]).intersects(InWindow(widgets[j])))
                faults << widgets[i]->objectName() + QStringLiteral("/") + widgets[j]->objectName();
        }
    }
    return faults;
}

QStringList FileNames(const WindowRig& rig) { return RowTexts(rig.find<QListWidget>("File1")); }

// What a drop from another window delivers: enter, move, drop.
bool Drop(QWidget* target, QMimeData* data)
{
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return enter.isAccepted() && drop.isAccepted();
}

}  // namespace

TEST(Layout, PanesGrowWithTheWindowAndNothingOverlaps)
{
    WindowRig rig;
    quillmar::Form1& form = rig.open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    auto* local = rig.find<QWidget>("localFrame");
    auto* list = rig.find<QWidget>("ListView1");
    auto* picture = rig.find<QWidget>("picback");
    const QSize listAtDesign = list->size();
    const QSize pictureAtDesign = picture->size();
    const QSize designSize = form.size();
    EXPECT_LT(form.minimumWidth(), designSize.width());
    EXPECT_GE(form.minimumWidth(), 500);

    struct Case { const char* name; QSize size; };
    const Case cases[] = {{"twice the design size", designSize * 2}, {"the smallest", form.minimumSize()},
                          {"the design size", designSize}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.resize(c.size);
        QTest::qWait(50);
        EXPECT_EQ(form.size(), c.size);
        EXPECT_EQ(Overlaps(form, {rig.find<QWidget>("Toolbar1"), local, rig.find<QWidget>("Frame2"),
                                  rig.find<QWidget>("Frame1"), rig.find<QWidget>("StatusBar1")}),
                  QStringList());
        QList<QWidget*> bar;
        for (const char* name : {"Panel1", "Panel2", "Panel3", "Panel4", "Panel5", "PB1", "Frame3"})
            bar << rig.find<QWidget>(name);
        EXPECT_EQ(Overlaps(form, bar), QStringList());
        for (QWidget* panel : bar)
            EXPECT_GT(panel->width(), 0) << panel->objectName().toStdString();
    }
    form.resize(designSize * 2);
    QTest::qWait(50);
    EXPECT_GT(list->width(), listAtDesign.width() * 3 / 2);
    EXPECT_GT(list->height(), listAtDesign.height() * 3 / 2);
    EXPECT_GT(picture->width(), pictureAtDesign.width() * 3 / 2);
    EXPECT_GT(picture->height(), pictureAtDesign.height() * 3 / 2);
    EXPECT_EQ(local->width(), 204) << "the local pane keeps its width";

    // A long status text stays inside panel 1 and is there whole to read.
    auto* panel1 = rig.find<QLabel>("Panel1");
    const QRect panel2 = InWindow(rig.find<QWidget>("Panel2"));
    panel1->setText(QStringLiteral("Status: 319029248 bytes transferred out of 3221225472 ").repeated(3));
    QTest::qWait(20);
    EXPECT_FALSE(InWindow(panel1).intersects(InWindow(rig.find<QWidget>("Panel2"))));
    EXPECT_EQ(InWindow(rig.find<QWidget>("Panel2")), panel2);

    // At the design size the panels that say whether the connection is
    // encrypted show their texts whole.
    form.resize(designSize);
    QTest::qWait(50);
    for (const char* text : {"Not encrypted", "TLS 1.2"}) {
        auto* panel = rig.find<QLabel>("Panel5");
        panel->setText(QLatin1String(text));
        QTest::qWait(20);
        // The text and its margins inside the panel's frame.
        EXPECT_LE(panel->fontMetrics().horizontalAdvance(panel->text()) + 6, panel->contentsRect().width()) << text;
    }

    // A transfer's words take the room of the totals and the chosen file
    // until it is over.
    Q_EMIT form.ftp().Progress(1110000, 20000000);
    EXPECT_TRUE(rig.find<QWidget>("Panel3")->isHidden() && rig.find<QWidget>("Panel4")->isHidden());
    form.ReportError(quillmar::FtpError{quillmar::ftp_errors::Stopped, {}});
    QTest::qWait(20);
    for (const char* name : {"Panel3", "Panel4"})
        EXPECT_TRUE(rig.find<QWidget>(name)->isVisible()) << name;
}

// The real boxes: a name is offered with all but its extension selected, a
// question about one thing has no All, and a question refuses on Enter when
// its default is No (trust questions carry the warning icon).
TEST(Dialogs, RenameSelectsTheStemAndQuestionsTakeTheirDefault)
{
    quillmar::MessageDialogs dialogs;
    const auto answer = [](QString& selected) {
        QTimer::singleShot(50, [&selected] {
            auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            selected = box->findChild<QLineEdit*>()->selectedText();
            box->reject();
        });
    };
    QString selected, plain;
    answer(selected);
    EXPECT_EQ(dialogs.inputName(QStringLiteral("New name"), QString(), QStringLiteral("archive.tar.gz")), QString());
    EXPECT_EQ(selected, QStringLiteral("archive.tar")) << "the stem rule's own cases are the entry names test's";
    answer(plain);
    dialogs.input(QStringLiteral("Enter New Folder Name."), QString(), QStringLiteral("New Folder"));
    EXPECT_EQ(plain, QStringLiteral("New Folder")) << "a plain input box offers all of its text";

    for (const bool several : {true, false})
        EXPECT_EQ(quillmar::Confirm(QStringLiteral("Delete?"), nullptr, several).findChild<QPushButton*>(QStringLiteral("Confirm")) != nullptr, several);

    using quillmar::Dialogs;
    const struct { Dialogs::Answer defaultAnswer; Dialogs::Icon icon; QMessageBox::Icon shown; } questions[] = {
        {Dialogs::Answer::No, Dialogs::Icon::Warning, QMessageBox::Warning},
        {Dialogs::Answer::Yes, Dialogs::Icon::Information, QMessageBox::Information},
    };
    for (const auto& c : questions) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            icon = box->icon();
            QTest::keyClick(box, Qt::Key_Return);
        });
        EXPECT_EQ(dialogs.question(QStringLiteral("Trust it?"), c.icon, QString(), c.defaultAnswer), int(c.defaultAnswer));
        EXPECT_EQ(icon, c.shown);
    }
}

TEST(Layout, PlaceSizesAndLocalFolderComeBackInANewWindowAndItsListsFollowTheDisk)
{
    WindowRig rig;
    QDir(rig.localFolder.path()).mkdir(QStringLiteral("photos"));
    const QString photos = QFileInfo(rig.localFolder.filePath(QStringLiteral("photos"))).canonicalFilePath();
    quillmar::Form1& form = rig.open();
    form.resize(1000, 640);
    QTest::qWait(20);
    auto* panes = rig.find<QSplitter>("Panes");
    panes->setSizes({260, 300, 440});
    const QList<int> sizes = panes->sizes();
    ASSERT_TRUE(form.findChild<quillmar::LocalPane*>()->setFolder(photos));
    rig.close();

    QDir::setCurrent(QDir::tempPath());  // the next run starts somewhere else
    quillmar::Form1& again = rig.open();
    QTest::qWait(20);
    EXPECT_EQ(again.size(), QSize(1000, 640));
    EXPECT_EQ(rig.find<QSplitter>("Panes")->sizes(), sizes);
    EXPECT_EQ(again.findChild<quillmar::LocalPane*>()->folder(), photos);
    EXPECT_EQ(QDir::currentPath(), photos);
    QSettings stored(rig.settingsFile(), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("Window/LocalFolder")).toString(), photos);

    // A remembered folder that has gone: the window opens where it was started.
    rig.close();
    QDir(photos).removeRecursively();
    QDir::setCurrent(rig.localFolder.path());
    WriteFile(rig.localFolder.filePath(QStringLiteral("a.jpg")), "a");
    WriteFile(rig.localFolder.filePath(QStringLiteral("b.jpg")), "b");
    rig.open();
    EXPECT_EQ(QDir::currentPath(), QFileInfo(rig.localFolder.path()).canonicalFilePath());
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());

    // The local lists follow the disk, keeping the selection.
    auto* files = rig.find<QListWidget>("File1");
    files->setCurrentRow(1);  // b.jpg
    files->item(0)->setSelected(true);

    WriteFile(rig.localFolder.filePath(QStringLiteral("0new.jpg")), "n");
    QDir(rig.localFolder.path()).mkdir(QStringLiteral("album"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return FileNames(rig).contains(QStringLiteral("0new.jpg")); }, 5000));
    EXPECT_EQ(FileNames(rig), (QStringList{"0new.jpg", "a.jpg", "b.jpg"}));
    EXPECT_EQ(files->currentItem()->text(), QStringLiteral("b.jpg"));
    EXPECT_EQ(rig.form->findChild<quillmar::LocalPane*>()->selectedFiles(), (QStringList{"a.jpg", "b.jpg"}));
    auto* folders = rig.find<QListWidget>("Dir1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !folders->findItems(QStringLiteral("album"), Qt::MatchEndsWith).isEmpty(); }, 5000));

    QFile::remove(rig.localFolder.filePath(QStringLiteral("a.jpg")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return FileNames(rig) == QStringList{"0new.jpg", "b.jpg"}; }, 5000));
    EXPECT_EQ(files->currentItem()->text(), QStringLiteral("b.jpg"));
}


TEST(Keys, EachKeyRunsItsCommandAndEachWindowOpensOverTheMainWindow)
{
    WindowRig rig;
    QDir(rig.localFolder.path()).mkdir(QStringLiteral("inner"));
    quillmar::Form1& form = rig.open();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    struct Case { QKeySequence key; const char* action; int gotFocus; QStringList messages; QString status; };
    const QString before = QStringLiteral("Status: before");
    const Case cases[] = {
        {QKeySequence(Qt::Key_F5), "mnuRefresh", 0, {}, QStringLiteral("Status: Refresh Complete.")},
        {QKeySequence(Qt::Key_Backspace), "mnuGoUp", 0, {QStringLiteral("You are not connected to the server.")}, before},
        {QKeySequence(Qt::Key_Delete), "mnuDelete", 2, {kConnectFirst}, before},
        {QKeySequence(Qt::Key_F2), "mnuRename", 2, {kConnectFirst}, before},
        {QKeySequence(Qt::CTRL | Qt::Key_N), "mnuNewFolder", 2, {kConnectFirst}, before},
    };
    auto* list = rig.find<QWidget>("ListView1");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        rig.dialogs.clear();
        rig.find<QLabel>("Panel1")->setText(before);
        list->setFocus();
        form.state().GotFocus = quillmar::FocusSide(c.gotFocus);
        QTest::keySequence(list, c.key);
        EXPECT_EQ(rig.dialogs.messageTexts(), c.messages);
        EXPECT_EQ(rig.panel(1), c.status);
    }

    // Enter on a local folder enters it.
    auto* folders = rig.find<QListWidget>("Dir1");
    folders->setFocus();
    folders->setCurrentItem(folders->findItems(QStringLiteral("inner"), Qt::MatchEndsWith).value(0));
    QTest::keyClick(folders, Qt::Key_Return);
    EXPECT_EQ(QDir::current().dirName(), QStringLiteral("inner"));

    // Tab: local folders, local files, server list.
    folders->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), rig.find<QWidget>("File1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), list);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), list) << "Tab leaves the server list";

    // Ctrl+Q runs Exit; here the entry only counts, since ending the
    // event loops would end every later test's waits too.
    auto* exit = rig.find<QAction>("mnuExit");
    QObject::disconnect(exit, &QAction::triggered, &form, nullptr);
    int exits = 0;
    QObject::connect(exit, &QAction::triggered, [&exits] { ++exits; });
    QTest::keySequence(list, QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(exits, 1);

    // Each window opens over the main window and fits the screen.
    const QRect screen = form.screen()->availableGeometry();
    form.move(screen.topLeft() + QPoint(40, 30));
    const std::pair<const char*, const char*> windows[] = {
        {"mnuAbout", "frmAbout"}, {"mnuContents", "HelpFrm"}, {"mnuSiteMan", "SiteForm"}, {"mnuPrevConnect", "FileList"}};
    for (const auto& [action, name] : windows) {
        SCOPED_TRACE(name);
        rig.find<QAction>(action)->trigger();
        auto* window = rig.find<QWidget>(name);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        const auto text = [](const QRect& r) {
            return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
        };
        EXPECT_TRUE(screen.contains(window->geometry())) << text(window->geometry()) << " on " << text(screen);
        EXPECT_TRUE(window->geometry().contains(form.geometry().center())) << text(window->geometry());
        EXPECT_GE(window->width(), window->minimumSizeHint().width()) << "nothing cut";
        window->close();
    }
}

TEST(Transfers, SlowDownloadShowsThePercentAndDropsUploadAndDownload)
{
    // The server sends two bursts with a pause of about two seconds.
    FtpServerFixture server(40 * 1000);
    ASSERT_TRUE(server.running()) << server.error().toStdString();
    WriteFile(server.root() + QStringLiteral("/slow.jpg"), QByteArray(160 * 1000, 's'));
    WindowRig rig;
    quillmar::Form1& form = rig.openConnectedTo(server.port());
    auto* bar = rig.find<QProgressBar>("PB1");
    QStringList texts;
    QStringList bars;
    QObject::connect(&form.ftp(), &quillmar::FtpComponent::Progress, bar, [&] {
        texts << rig.panel(1);
        bars << bar->text();
    });
    auto* view = rig.find<QAbstractItemView>("ListView1");
    view->setCurrentIndex(view->model()->index(0, 0));
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Return);  // Enter on a file downloads it
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Download Complete"));
    EXPECT_TRUE(QFile::exists(rig.localFolder.filePath(QStringLiteral("slow.jpg"))));
    // The bar tells the percent; the status line the sizes, speed and time
    // left (their words are the meter's, checked with the meter).
    ASSERT_FALSE(bars.isEmpty());
    EXPECT_EQ(bars.filter(QRegularExpression(QStringLiteral("^\\d+ %$"))), bars);
    for (const QString& text : texts)
        EXPECT_TRUE(text == QStringLiteral("Status: Downloading slow.jpg") || text.contains(QStringLiteral(" of 160 KB")))
            << text.toStdString();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(bar->text(), QString()) << "the text goes with the transfer";

    // Dropped files upload and dropped rows download.
    WriteFile(server.root() + QStringLiteral("/remote.txt"), "from the server");
    WriteFile(rig.localFolder.filePath(QStringLiteral("pane.jpg")), "from the pane");
    QTemporaryDir elsewhere;  // a file manager's folder
    WriteFile(elsewhere.filePath(QStringLiteral("outside.gif")), "from a file manager");

    // A folder or a remote address is not uploaded.
    QMimeData folder;
    folder.setUrls({QUrl::fromLocalFile(elsewhere.path()), QUrl(QStringLiteral("ftp://127.0.0.1/x.jpg"))});
    EXPECT_FALSE(Drop(view->viewport(), &folder));

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(rig.localFolder.filePath(QStringLiteral("pane.jpg"))),
                   QUrl::fromLocalFile(elsewhere.filePath(QStringLiteral("outside.gif")))});
    EXPECT_TRUE(Drop(view->viewport(), &files));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.panel(1) == QStringLiteral("Status: Upload Complete"); }, 5000))
        << rig.panel(1);
    EXPECT_EQ(ReadFile(server.root() + QStringLiteral("/outside.gif")), QByteArray("from a file manager"));
    EXPECT_TRUE(QFile::exists(server.root() + QStringLiteral("/pane.jpg")));
    EXPECT_TRUE(QFile::exists(rig.appFolder.filePath(QStringLiteral("Cache"))))
        << "pictures go to the cache as with the button";
    EXPECT_EQ(RowTexts(view), (QStringList{"outside.gif", "pane.jpg", "remote.txt", "slow.jpg"}));

    QMimeData serverRows;
    serverRows.setData(QLatin1String(quillmar::kServerRowsMime), "remote.txt");
    EXPECT_TRUE(Drop(rig.find<QListWidget>("File1")->viewport(), &serverRows));
    ASSERT_TRUE(QTest::qWaitFor([&] { return FileNames(rig).contains(QStringLiteral("remote.txt")); }, 5000));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Download(s) Complete"));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
}

