// The main window against a real FTP server: start-up and shutdown, the
// connection, listing, navigation, progress and the command surface.

#include "pictures/local_pane.h"
#include "session/ftp_component.h"
#include "support/ftp_daemon_fixture.h"
#include "support/window_helpers.h"
#include "support/test_certificate.h"
#include "support/qt_printers.h"

#include <QElapsedTimer>
#include <QToolBar>
#include <qpa/qwindowsysteminterface.h>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>

#include <future>
#include <cstdio>
#include <cstdlib>
#include <tuple>

#include <unistd.h>

using quillmar::Dialogs;
using quillmar::test::FtpServerFixture;

namespace {

const QString kConnectFirst = QStringLiteral("You must first connect to a server.");

const QMap<QString, QString> kShop = {{QStringLiteral("Description"), QStringLiteral("Shop")}};

}  // namespace

TEST(StartUp, FirstStartOnEmptyStoreWritesAllSixKeysAtClose)
{
    WindowRig rig;
    EXPECT_TRUE(rig.open().isVisible());
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Disconnected."));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << "no connection attempt on an empty store";
    EXPECT_FALSE(rig.find<QAction>("mnuStartupConnect")->isChecked());
    rig.close();
    EXPECT_EQ(rig.storedValue(QStringLiteral("StartUpConnect")), QStringLiteral("False"));
    for (const char* key : {"URL", "User", "Pass", "Port", "Description"})
        EXPECT_EQ(rig.storedValue(QLatin1String(key)), QString()) << key;
    EXPECT_EQ(QFile::permissions(rig.settingsFile()) & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0)
        << "the store holds a password";

    // A store left readable by everyone from before is narrowed at the next close.
    // The other settings carry forward exactly, and Auto Connect toggles.
    QFile::setPermissions(rig.settingsFile(), QFile::permissions(rig.settingsFile()) | QFileDevice::ReadOther);
    const QMap<QString, QString> kept = {{QStringLiteral("URL"), QStringLiteral("127.0.0.1:2121")},
                                         {QStringLiteral("Pass"), QStringLiteral(" p;a=ss wörd%\" ")},
                                         {QStringLiteral("Port"), QStringLiteral("2121")},
                                         {QStringLiteral("Description"), QStringLiteral("My shop")}};
    rig.presetStore(kept);
    rig.open();
    rig.find<QAction>("mnuStartupConnect")->trigger();
    rig.close();
    EXPECT_EQ(QFile::permissions(rig.settingsFile()) & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0)
        << "an old readable store";
    for (const auto& [key, value] : kept.asKeyValueRange())
        EXPECT_EQ(rig.storedValue(key), value) << key.toStdString();
    EXPECT_EQ(rig.storedValue(QStringLiteral("StartUpConnect")), QStringLiteral("True"));
}

TEST(StartUp, StartUpConnectTextDecidesAutoConnectAndIsRewritten)
{
    struct Case { const char* stored; bool autoConnect; const char* rewritten; };
    // The words themselves are the start-up rules' test; here what the window makes of them.
    const Case cases[] = {{"1", true, "True"}, {"FALSE", false, "False"}, {"maybe", false, "False"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        WindowRig rig;
        rig.presetStore({{QStringLiteral("StartUpConnect"), QLatin1String(c.stored)}});
        rig.open();
        EXPECT_EQ(rig.find<QAction>("mnuStartupConnect")->isChecked(), c.autoConnect);
        // Auto Connect with no site set opens the site manager to choose one;
        // nothing is said either way.
        EXPECT_TRUE(rig.dialogs.messageTexts().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
        auto* sites = rig.form->findChild<QWidget*>(QStringLiteral("SiteForm"));
        EXPECT_EQ(sites && sites->isVisible(), c.autoConnect);
        rig.close();
        EXPECT_EQ(rig.storedValue(QStringLiteral("StartUpConnect")), QLatin1String(c.rewritten));
    }
}

TEST_F(ConnectedWindow, ConnectListsTheFolderAndDisconnectSavesTheSnapshot)
{
    rig.presetStore(kShop);
    quillmar::Form1& form = openConnected();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join(QLatin1Char('|'));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Done"));
    EXPECT_EQ(rig.light(), "green");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(RowTexts(rig), (QStringList{"a.jpg", "b.txt", "images/"}));
    EXPECT_EQ(RowTexts(ServerView(rig), 1), (QStringList{"1.5 KB", "512 bytes", ""}));
    EXPECT_EQ(rig.panel(3), QStringLiteral("Total: 2 files 2 KB"));

    // Connecting again saves the listing shown under the site that was
    // connected, though another is chosen now, and lists the folder afresh.
    WriteFile(server.root() + QStringLiteral("/new.gif"), "GIF89a");
    form.connectionSettings().Description = QStringLiteral("Second");
    form.Connect();
    EXPECT_EQ(SavedListing(rig, QStringLiteral("Shop")),
              ListingHeader(Loopback(server.port())) + "a.jpg\r\nb.txt\r\nimages/\r\n");
    EXPECT_FALSE(QFile::exists(rig.appFolder.filePath(QStringLiteral("Second.dat"))));
    EXPECT_EQ(RowTexts(rig), (QStringList{"a.jpg", "b.txt", "images/", "new.gif"}));

    const QByteArray withNewGif = ListingHeader(Loopback(server.port())) + "a.jpg\r\nb.txt\r\nimages/\r\nnew.gif\r\n";
    form.Disconnect();
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Disconnected"));
    EXPECT_EQ(rig.panel(2), QStringLiteral("Disconnected"));
    EXPECT_EQ(rig.light(), "grey");
    EXPECT_EQ(RowTexts(rig), QStringList());
    EXPECT_EQ(rig.panel(3), QString()) << "the totals go with the list";
    EXPECT_EQ(SavedListing(rig, QStringLiteral("Second")), withNewGif);

    // A snapshot that cannot be written does not stop the disconnect.
    rig.dialogs.clear();
    form.connectionSettings().Description = QStringLiteral("bad") + QChar(0) + QStringLiteral("name");
    form.Connect();
    form.Disconnect();
    EXPECT_EQ(form.ftp().State(), 0);
    EXPECT_EQ(rig.panel(2), QStringLiteral("Disconnected"));
    EXPECT_TRUE(rig.panel(1).startsWith(QStringLiteral("Status: Disconnected (the listing was not saved"))) << rig.panel(1);
    EXPECT_EQ(rig.light(), "grey");
    EXPECT_EQ(RowTexts(rig), QStringList());
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}

// A listing cut short, by a dropped connection or a stall, never replaces
// the site's last whole one: the disconnect keeps it and says so (a drop
// while connecting is reported as the failed connection).
TEST(SavedListing, AListingCutShortKeepsTheLastWholeOne)
{
    const std::tuple<const char*, quillmar::test::ServerScript, bool> breaks[] = {   // the disconnect says so
        {"dropped before the listing", {.hangUpOnPassive = 2}, false},
        {"stalled after its lines", {.stallListing = 2}, true},
    };
    for (auto [name, script, saysSo] : breaks) {
        SCOPED_TRACE(name);
        QTemporaryDir remote;
        WriteFile(remote.filePath(QStringLiteral("a.jpg")), "a");
        script.folder = remote.path();
        quillmar::test::ScriptedServer server(script);
        WindowRig rig;
        quillmar::Form1& form = rig.openConnectedTo(server.port(), QStringLiteral("Shop"));
        form.Disconnect();
        const QByteArray whole = SavedListing(rig, QStringLiteral("Shop"));
        ASSERT_TRUE(whole.endsWith("a.jpg\r\n")) << whole.toStdString();

        WriteFile(remote.filePath(QStringLiteral("new.gif")), "GIF89a");
        form.ftp().setTimeout(std::chrono::seconds(1));
        form.Connect();
        if (form.ftp().State() != 0)
            form.Disconnect();
        EXPECT_EQ(SavedListing(rig, QStringLiteral("Shop")), whole);
        EXPECT_EQ(form.ftp().State(), 0);
        if (saysSo)
            EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Disconnected (the listing was not saved: the folder's "
                                                   "listing had not arrived whole)"));
    }
}

// A refused login says so with the server's reply; the internet message is
// for network failures only; the same refused login is not tried again
// without asking.
TEST_F(ConnectedWindow, ConnectFailuresSayWhatWentWrong)
{
    const QString serverRefused = "The server " + Loopback(server.port()) + " refused ";
    const QString refused = serverRefused + "the login:\n530 Authentication failed.\n\nThe site's login and password "
                                        "can be changed in the site manager (FTP menu, Site Manager).";
    const QString again = serverRefused + "this login the last time:\n530 Authentication failed.\n\nTry again with the "
                                      "same login and password?";
    const QString siteManager = QStringLiteral("You must use the site manager to set your username and password.");
    struct Case {
        QString user, pass;
        int answer;  // to the Yes/No question; 0: none queued
        QStringList messages;
        bool refused;  // otherwise the status line stays as it was
    };
    const Case cases[] = {
        {QString(), "p", 0, {siteManager}, true},
        {server.user(), "wrong", 0, {refused}, true},
        {server.user(), "wrong", 7, {again}, false},
        {server.user(), "wrong", 6, {again, refused}, true},
    };
    const QString unchanged = QStringLiteral("Status: unchanged");
    quillmar::Form1& form = rig.open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user.toStdString() + "/" + std::to_string(c.answer));
        rig.dialogs.clear();
        if (c.answer)
            rig.dialogs.queueMessageAnswer(c.answer);
        rig.find<QLabel>("Panel1")->setText(unchanged);
        form.connectionSettings() = {Loopback(server.port()), c.user, c.pass, QString(), QStringLiteral("x"), {}, {}};
        form.Connect();
        EXPECT_EQ(rig.dialogs.messageTexts(), c.messages);
        EXPECT_EQ(form.ftp().State(), 0);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(rig.panel(1), c.refused ? QStringLiteral("Status: Login refused by ") + Loopback(server.port()) : unchanged);
    }
    // No site chosen: Connect takes the person to the site manager, and says
    // nothing, though a login is set (without one, the start-up test).
    rig.dialogs.clear();
    form.connectionSettings() = {QString(), QStringLiteral("u"), QStringLiteral("p"), QString(), QString(), {}, {}};
    rig.find<QAction>("mnuConnect")->trigger();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    auto* sites = rig.find<QWidget>("SiteForm");
    ASSERT_TRUE(sites && sites->isVisible());
    sites->close();

    // A server that is not there is a network failure, whatever the login.
    rig.dialogs.clear();
    form.connectionSettings() = {Loopback(server.port()), server.user(), server.password(), QString(), QStringLiteral("x"), {}, {}};
    server.stop();
    form.Connect();
    const QStringList messages = rig.dialogs.messageTexts();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("It appears you are not connected to the internet.  If you are connected then "
                                       "please verify that you entered your server information correctly in the site "
                                       "manager.\n\n(")) << messages[0];
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Could not connect to ") + Loopback(server.port()));
}

// Lines from servers elsewhere reach the list; what stays ambiguous or names
// nothing a command can use is counted as not understood. A row without a
// listed size shows none and is not taken for an empty file. A listing ended
// early (here by a stall) leaves none of its counts to the next.
TEST(ListingsFromElsewhere, ForeignLinesGiveRowsAndTheRestIsCounted)
{
    quillmar::test::ScriptedServer server{{.file = QByteArray(2000, 'f'),
                                           .listing = "-rw-r--r--   1 ftp      ftp          1234 M\xc3\xa4r  3 12:00 preise.jpg\r\n"
                                                      "+i8388621.48594,m825718503,r,s280,up755\tepl.jpg\r\n"
                                                      "QPGMR            9216 08/05/03 10:05:49 *STMF      price list.jpg\r\n"
                                                      "type=file;modify=20261207003900; nosize.jpg\r\n"
                                                      "type=file;size=5; ../../x.jpg\r\n"
                                                      "-rw-r--r-- 1 owner group 512 no date.jpg\r\n",
                                           .stallListing = 2}};
    WindowRig rig;
    OpenOnScriptedServer(rig, server);
    EXPECT_EQ(rig.panel(5), QStringLiteral("Not encrypted"));
    EXPECT_EQ(RowTexts(rig), (QStringList{"epl.jpg", "nosize.jpg", "preise.jpg", "price list.jpg"}));
    EXPECT_EQ(RowTexts(ServerView(rig), 1), (QStringList{"280 bytes", "", "1.2 KB", "9.2 KB"}));
    const QString totals = QStringLiteral("Total: 4 files 10.7 KB (2 lines not understood)");
    EXPECT_EQ(rig.panel(3), totals);
    rig.form->ftp().setTimeout(std::chrono::seconds(1));
    rig.form->Refresh();   // stalls after all the lines
    ASSERT_EQ(rig.dialogs.messageTexts().size(), 1);
    EXPECT_TRUE(rig.dialogs.messageTexts()[0].contains(QStringLiteral("timed out"))) << rig.dialogs.messageTexts()[0];
    rig.form->Refresh();
    EXPECT_EQ(rig.panel(3), totals);

    // Replacing a local copy does not claim the server's copy is empty.
    WriteFile(rig.localFolder.filePath(QStringLiteral("nosize.jpg")), QByteArray(100, 'l'));
    rig.form->state().GotFocus = quillmar::FocusSide::Server;
    SelectRows(rig, {QStringLiteral("nosize.jpg")});
    rig.find<QAction>("mnuDownload")->trigger();
    ASSERT_EQ(rig.dialogs.confirmTexts().size(), 1);
    const QString question = rig.dialogs.confirmTexts().first();
    EXPECT_TRUE(question.startsWith(QStringLiteral("Replace nosize.jpg on this computer (100 bytes) with nosize.jpg from the server")))
        << question.toStdString();
    EXPECT_FALSE(question.contains(QStringLiteral("from the server (0 bytes)"))) << question.toStdString();
    EXPECT_EQ(ReadFile(rig.localFolder.filePath(QStringLiteral("nosize.jpg"))), QByteArray(2000, 'f'));
}

TEST_F(ConnectedWindow, DoubleClickEntersFoldersAndDownloadsFilesIntoTheLocalFolder)
{
    WriteFile(serverPath(QStringLiteral("images/c.gif")), QByteArray(2500, 'g'));
    rig.presetStore(kShop);
    quillmar::Form1& form = openConnected();
    // A clicked row's facts go when the list changes; the title follows the folder.
    ClickServerRow(rig, QStringLiteral("a.jpg"));
    EXPECT_EQ(rig.panel(4), QStringLiteral("a.jpg"));
    // Below the last row a double click aims at nothing, whatever row is current.
    QWidget* blank = ServerView(rig)->viewport();
    QTest::mouseDClick(blank, Qt::LeftButton, {}, QPoint(blank->width() / 2, blank->height() - 4));
    EXPECT_FALSE(QFileInfo::exists(localPath(QStringLiteral("a.jpg"))));
    EXPECT_EQ(RowTexts(rig), (QStringList{"a.jpg", "b.txt", "images/"}));
    DoubleClickServerRow(rig, QStringLiteral("images/"));
    EXPECT_EQ(RowTexts(rig), QStringList{QStringLiteral("c.gif")});
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Done"));
    EXPECT_EQ(rig.panel(4), QString());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Shop \u2014 /images \u2014 Quillmar"));
    EXPECT_EQ(rig.light(), "green");

    // An older local copy is replaced only by the finished download.
    WriteFile(rig.localFolder.filePath(QStringLiteral("c.gif")), "old");
    DoubleClickServerRow(rig, QStringLiteral("c.gif"));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(ReadFile(rig.localFolder.filePath(QStringLiteral("c.gif"))), QByteArray(2500, 'g'));
    EXPECT_EQ(form.ftp().ExpectedSize(), 2500);  // the size the listing gave
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Download Complete"));
    EXPECT_EQ(rig.light(), "green");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(rig.find<QListWidget>("File1")->findItems(QStringLiteral("c.gif"), Qt::MatchExactly).size(), 1);

    // Names that would leave the local folder are refused.
    for (const QString& name : {QStringLiteral(".."), QStringLiteral("..\\evil.jpg")}) {
        SCOPED_TRACE(name.toStdString());
        rig.dialogs.clear();
        Model(rig)->appendRows({quillmar::ServerRow{name, quillmar::ListedSize(1), false}});
        DoubleClickServerRow(rig, name);
        ASSERT_EQ(rig.dialogs.calls().size(), 1);
        EXPECT_TRUE(rig.dialogs.calls().first().text.contains(name)) << rig.dialogs.calls().first().text;
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_FALSE(QFile::exists(QDir(rig.localFolder.path() + QStringLiteral("/..")).filePath(QStringLiteral("evil.jpg"))));

    form.GoUp();
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Done"));
    EXPECT_EQ(RowTexts(rig), (QStringList{"a.jpg", "b.txt", "images/"}));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Shop \u2014 / \u2014 Quillmar"));
    form.Disconnect();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Quillmar"));
}

TEST(LinkRows, DoubleClickEntersTheFolderALinkLeadsToOrDownloadsItsFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "vsftpd needs root";
    // vsftpd lists links as links ("to-images -> images").
    quillmar::test::FtpDaemonFixture server(QStringLiteral("vsftpd"));
    QDir(server.root()).mkdir(QStringLiteral("images"));
    WriteFile(server.root() + QStringLiteral("/a.jpg"), QByteArray(1500, 'j'));
    WriteFile(server.root() + QStringLiteral("/images/c.gif"), QByteArray(2500, 'g'));
    ASSERT_EQ(::symlink("images", QFile::encodeName(server.root() + QStringLiteral("/to-images")).constData()), 0);
    ASSERT_EQ(::symlink("a.jpg", QFile::encodeName(server.root() + QStringLiteral("/to-a.jpg")).constData()), 0);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    WindowRig rig;
    rig.presetSite(Loopback(server.port()), QStringLiteral("Links"), server.user(), server.password());
    quillmar::Form1& form = rig.open();
    form.Connect();
    // Links show by their own names and count as files (their own size is
    // the length of what they point to).
    EXPECT_EQ(RowTexts(rig), (QStringList{"a.jpg", "images/", "to-a.jpg", "to-images"}));
    EXPECT_EQ(rig.panel(3), QStringLiteral("Total: 3 files 1.5 KB"));

    DoubleClickServerRow(rig, QStringLiteral("to-images"));
    EXPECT_EQ(RowTexts(rig), QStringList{QStringLiteral("c.gif")});
    form.GoUp();
    DoubleClickServerRow(rig, QStringLiteral("to-a.jpg"));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(ReadFile(rig.localFolder.filePath(QStringLiteral("to-a.jpg"))), QByteArray(1500, 'j'));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Download Complete"));
}

// Not connected: each command says what to do first, Refresh refreshes the
// local side, the bar follows the expected size and the right button pops
// the Commands menu.
TEST(Commands, WhileNotConnected)
{
    WindowRig rig;
    WriteFile(rig.localFolder.filePath(QStringLiteral("up.jpg")), QByteArray(4000, 'u'));
    quillmar::Form1& form = rig.open();
    auto* view = rig.find<QAbstractItemView>("ListView1");
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(rig.dialogs.messageTexts(), QStringList{QStringLiteral("You must first connect to the internet or your server.")});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(rig.light(), "grey") << "not connected, and no command running";

    const std::tuple<const char*, int, QStringList> keys[] = {
        {"Get", 0, {kConnectFirst}},
        {"Put", 0, {kConnectFirst}},
        {"Back", 0, {QStringLiteral("You are not connected to the server.")}},
        {"Disconnect", 0, {QStringLiteral("You are already disconnected.")}},
        {"Delete", 2, {kConnectFirst}},
        {"get", 0, {}},
        {"Go Up", 0, {}},
    };
    for (const auto& [key, gotFocus, messages] : keys) {
        SCOPED_TRACE(key);
        rig.dialogs.clear();
        form.state().GotFocus = quillmar::FocusSide(gotFocus);
        form.Toolbar1_ButtonClick(QLatin1String(key));
        EXPECT_EQ(rig.dialogs.messageTexts(), messages);
    }

    rig.dialogs.clear();
    WriteFile(rig.localFolder.filePath(QStringLiteral("late.jpg")), "x");
    form.Refresh();
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Refresh Complete."));
    EXPECT_EQ(rig.light(), "grey");
    EXPECT_EQ(rig.find<QListWidget>("File1")->findItems(QStringLiteral("late.jpg"), Qt::MatchExactly).size(), 1);
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());

    // The total is the moving file's size, whichever list has the focus.
    SelectLocalFiles(rig, {QStringLiteral("up.jpg")});
    auto* bar = rig.find<QProgressBar>("PB1");
    const QString before = QStringLiteral("Status: before");
    const std::tuple<qint64, int, qint64, int, QString> progress[] = {
        {5000, 2, 2500, 50, QStringLiteral("Status: 2.5 KB of 5 KB")},
        {5000, 1, 2500, 50, QStringLiteral("Status: 2.5 KB of 5 KB")},
        {5000, 2, 5000, 100, before},
        {0, 2, 2500, 7, before},
        {3000000000LL, 2, 1500000000LL, 50, QStringLiteral("Status: 1500 MB of 3000 MB")},
    };
    for (const auto& [expected, gotFocus, bytes, value, status] : progress) {
        SCOPED_TRACE(status.toStdString());
        bar->setValue(7);
        form.findChild<QLabel*>(QStringLiteral("Panel1"))->setText(before);
        form.state().GotFocus = quillmar::FocusSide(gotFocus);
        Q_EMIT form.ftp().Progress(bytes, expected);
        EXPECT_EQ(bar->value(), value);
        // The speed and time left follow once the clock has moved.
        EXPECT_EQ(rig.panel(1).section(QStringLiteral(" \u00B7 "), 0, 0), status);
    }

    auto* menu = rig.find<QMenu>("mnuCommands");
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
    rig.find<QAction>("mnuReportStyle")->trigger();
    EXPECT_TRUE(rig.find<QWidget>("arrowframe")->isHidden()) << "the Options entry switches the list's view";
}

// Input queued the way the window system delivers it.
void QueueClicks(QWidget* widget, QPoint at, int clicks = 1)
{
    QWidget* top = widget->window();
    const QPointF local = widget->mapTo(top, at);
    const QPointF global = widget->mapToGlobal(at);
    using Sys = QWindowSystemInterface;
    for (int i = 0; i < clicks; ++i) {
        Sys::handleMouseEvent<Sys::AsynchronousDelivery>(top->windowHandle(), local, global, Qt::LeftButton,
                                                         Qt::LeftButton, QEvent::MouseButtonPress);
        Sys::handleMouseEvent<Sys::AsynchronousDelivery>(top->windowHandle(), local, global, Qt::NoButton,
                                                         Qt::LeftButton, QEvent::MouseButtonRelease);
    }
}

void QueueStopClick(WindowRig& rig)
{
    QWidget* button = rig.find<QToolBar>("Toolbar1")->widgetForAction(rig.find<QAction>("Stop"));
    QueueClicks(button, button->rect().center());
}

// A server whose one picture drips in for far longer than any test runs, or
// whose uploads are refused half-way.
class CallWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile(remote.filePath(QStringLiteral("pic.jpg")), "listed");
        OpenOnScriptedServer(rig, server);
        WriteFile(rig.localFolder.filePath(QStringLiteral("pic.jpg")), "the older copy");
        rig.form->connectionSettings().Description = QStringLiteral("Changed during the call");
    }

    void expectLocalFolderUntouched()
    {
        EXPECT_EQ(ReadFile(rig.localFolder.filePath(QStringLiteral("pic.jpg"))), QByteArray("the older copy"));
        EXPECT_EQ(QDir(rig.localFolder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"pic.jpg"});
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }

    QTemporaryDir remote;
    quillmar::test::ScriptedServer server{{.file = QByteArray(400 * 1000, 'p'), .dripBytes = 1000,
                                           .folder = remote.path(), .refuseStorAfterBytes = 100000}};
    WindowRig rig;
};

// The Commands menu's Stop is reached through the menu bar during a call;
// the menu's other entries stay shut.
TEST_F(CallWindow, StopTheMenuAndTheCloseBoxEndADownloadAndOtherInputIsDropped)
{
    enum Ending { StopClick, InputThenStop, MenuStop, CloseRequest };
    const std::pair<const char*, Ending> cases[] = {
        {"a click on Stop", StopClick},
        {"a double click and the Delete key, then Stop", InputThenStop},
        {"Stop in the Commands menu", MenuStop},
        {"the close box", CloseRequest},
    };
    auto* commands = rig.find<QMenu>("mnuCommands");
    for (int downloads = 1; const auto& [name, ending] : cases) {
        SCOPED_TRACE(name);
        rig.dialogs.clear();
        QElapsedTimer sinceEnding;
        bool menuOpened = false;
        QTimer::singleShot(300, rig.form.get(), [&, ending] {
            EXPECT_TRUE(rig.find<QAction>("Stop")->isEnabled() && rig.find<QAction>("mnuStop")->isEnabled());
            if (ending == InputThenStop) {
                auto* view = rig.find<QAbstractItemView>("ListView1");
                view->setFocus();
                QueueClicks(view->viewport(), view->visualRect(view->model()->index(0, 0)).center(), 2);
                QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
                    rig.form->windowHandle(), QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
            }
            sinceEnding.start();
            if (ending == CloseRequest)
                QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::AsynchronousDelivery>(rig.form->windowHandle());
            else if (ending != MenuStop)
                QueueStopClick(rig);
            else {
                QMenuBar* bar = rig.form->menuBar();
                QueueClicks(bar, bar->actionGeometry(commands->menuAction()).center());
                QTimer::singleShot(300, rig.form.get(), [&] {
                    if (!(menuOpened = commands->isVisible()))
                        return QueueStopClick(rig);   // end the call all the same
                    for (const char* entry : {"mnuDelete", "mnuStop"})
                        QueueClicks(commands, commands->actionGeometry(rig.find<QAction>(entry)).center());
                });
            }
        });
        DoubleClickServerRow(rig, QStringLiteral("pic.jpg"));
        EXPECT_TRUE(ending == MenuStop || sinceEnding.elapsed() < 1000) << sinceEnding.elapsed();
        QTest::qWait(300);   // anything held back would run now
        EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
        expectLocalFolderUntouched();
        if (ending == CloseRequest) {
            EXPECT_FALSE(rig.form->isVisible());
            EXPECT_EQ(rig.storedValue(QStringLiteral("Description")), QStringLiteral("Changed during the call"));
            break;
        }
        EXPECT_EQ(menuOpened, ending == MenuStop) << "the menu bar opened the Commands menu during the call";
        EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Stopped."));
        EXPECT_EQ(rig.panel(2), QStringLiteral("Connected"));
        EXPECT_EQ(rig.light(), "green") << "stopped is idle";
        EXPECT_FALSE(rig.find<QAction>("Stop")->isEnabled() || rig.find<QAction>("mnuStop")->isEnabled());
        EXPECT_EQ(server.dataConnections(), 1 + downloads++) << "listing, then one download each";
    }
}

TEST_F(CallWindow, QuittingDuringACallEndsItAndSavesTheSettings)
{
    std::promise<void> finished;
    std::thread watchdog([ended = finished.get_future()] {
        if (ended.wait_for(std::chrono::seconds(20)) == std::future_status::timeout) {
            std::fprintf(stderr, "A quit request during a call did not end it.\n");
            std::_Exit(1);
        }
    });
    QElapsedTimer sinceQuit;
    QTimer::singleShot(0, rig.form.get(), [&] { DoubleClickServerRow(rig, QStringLiteral("pic.jpg")); });
    QTimer::singleShot(300, rig.form.get(), [&] {
        sinceQuit.start();
        QCoreApplication::exit(0);
    });
    QApplication::exec();
    const qint64 took = sinceQuit.elapsed();
    finished.set_value();
    watchdog.join();
    EXPECT_LT(took, 3000);
    EXPECT_EQ(rig.storedValue(QStringLiteral("Description")), QStringLiteral("Changed during the call"));
    expectLocalFolderUntouched();
}

TEST_F(CallWindow, AnUploadRefusedHalfWayShowsTheServersReasonAndStaysConnected)
{
    WriteFile(rig.localFolder.filePath(QStringLiteral("up.jpg")), QByteArray(8 * 1000 * 1000, 'u'));
    rig.form->findChild<quillmar::LocalPane*>()->refreshFiles();
    SelectLocalFiles(rig, {QStringLiteral("up.jpg")});
    rig.form->Upload();
    ASSERT_EQ(rig.dialogs.messageTexts().size(), 1);
    EXPECT_TRUE(rig.dialogs.messageTexts().first().startsWith(QStringLiteral("552 Quota exceeded")))
        << rig.dialogs.messageTexts().first().toStdString();
    EXPECT_EQ(rig.panel(2), QStringLiteral("Connected"));
}

TEST_F(ConnectedWindow, AFolderOfThousandsArrivesWholeAndInOrder)
{
    QDir(server.root()).mkdir(QStringLiteral("many"));
    QStringList expected;
    qint64 bytes = 0;
    for (int i = 0; i < 3000; ++i) {
        const QString name = QStringLiteral("p%1.jpg").arg((i * 7919) % 3000, 4, 10, QLatin1Char('0'));
        WriteFile(server.root() + QStringLiteral("/many/") + name, QByteArray(i % 5, 'x'));
        expected << name;
        bytes += i % 5;
    }
    expected.sort();
    // A line end inside a name splits its listing line in two: the first
    // half still reads as an entry, the second reads as nothing.
    WriteFile(server.root() + QStringLiteral("/half\nsplit"), "x");
    quillmar::Form1& form = openConnected();
    EXPECT_EQ(RowTexts(rig), (QStringList{"a.jpg", "b.txt", "half", "images/", "many/"}));
    EXPECT_EQ(rig.panel(3), QStringLiteral("Total: 3 files 2 KB (1 line not understood)"));
    QFile::remove(server.root() + QStringLiteral("/half\nsplit"));
    form.Refresh();
    EXPECT_EQ(rig.panel(3), QStringLiteral("Total: 2 files 2 KB"));

    DoubleClickServerRow(rig, QStringLiteral("many/"));
    EXPECT_EQ(RowTexts(rig), expected);
    EXPECT_EQ(rig.panel(3), QStringLiteral("Total: 3000 files %1 KB").arg(QLocale().toString(bytes / 1000.0, 'g', 3)));
}

// ---- encrypted connections

using quillmar::test::MakeCertificate;

TEST(Encryption, UnknownCertificatesAreAskedAboutOncePinnedAndAskedAgainWhenChanged)
{
    QTemporaryDir keys;
    const auto first = MakeCertificate(keys.path(), QStringLiteral("first"));
    const auto second = MakeCertificate(keys.path(), QStringLiteral("second"));
    ASSERT_TRUE(first.fingerprint.count(u':') == 31 && first.fingerprint != second.fingerprint) << first.fingerprint.toStdString();
    auto server = std::make_unique<FtpServerFixture>(0, QStringList{"--tls-cert", first.pem, "--tls-required"});
    ASSERT_TRUE(server->running()) << server->error().toStdString();
    const int port = server->port();
    WriteFile(server->root() + QStringLiteral("/pic.jpg"), "q");

    WindowRig rig;
    rig.openConnectedTo(port);
    ASSERT_EQ(rig.dialogs.messageTexts().size(), 1);
    const QString question = rig.dialogs.messageTexts().first();
    EXPECT_TRUE(question.contains(first.fingerprint) && question.contains(QStringLiteral("127.0.0.1"))) << question.toStdString();
    EXPECT_TRUE(question.contains(QStringLiteral("publishes")) && question.contains(QStringLiteral("remembers")))
        << "says what to compare with, and that the answer stays: " << question.toStdString();
    EXPECT_EQ(rig.dialogs.calls().first().buttons, Dialogs::Buttons::YesNo);
    EXPECT_EQ(rig.panel(2), QStringLiteral("Connected"));
    EXPECT_TRUE(rig.panel(5).startsWith(QStringLiteral("TLS 1."))) << rig.panel(5).toStdString();
    EXPECT_EQ(RowTexts(rig), QStringList{"pic.jpg"});
    const QString pins = rig.appFolder.filePath(QStringLiteral("trusted-servers"));
    EXPECT_TRUE(ReadFile(pins).contains(first.fingerprint.toUtf8()));
    EXPECT_EQ(QFile::permissions(pins) & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                                          QFileDevice::WriteOther),
              0);

    rig.close();

    rig.dialogs.clear();
    rig.openConnectedTo(port);
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << "a pinned certificate connects silently";
    EXPECT_EQ(rig.panel(2), QStringLiteral("Connected"));
    rig.close();

    server.reset();
    server = std::make_unique<FtpServerFixture>(0, QStringList{"--tls-cert", second.pem, "--tls-required", "--port",
                                                            QString::number(port)});
    ASSERT_EQ(server->port(), port) << server->error().toStdString();
    rig.dialogs.clear();   // nothing queued: the question takes its default, as Enter would
    rig.openConnectedTo(port);
    ASSERT_EQ(rig.dialogs.messageTexts().size(), 1) << "No ends the connect without a second message";
    const QString changed = rig.dialogs.messageTexts().first();
    EXPECT_TRUE(changed.contains(QStringLiteral("changed")) && changed.contains(first.fingerprint) &&
                changed.contains(second.fingerprint))
        << changed.toStdString();
    const ScriptedDialogs::Call& asked = rig.dialogs.calls().first();
    EXPECT_EQ(asked.kind, ScriptedDialogs::Kind::Question);
    EXPECT_EQ(asked.defaultAnswer, Dialogs::Answer::No);
    EXPECT_EQ(asked.icon, Dialogs::Icon::Warning);
    EXPECT_TRUE(ReadFile(pins).contains(first.fingerprint.toUtf8())) << "the refused certificate is not pinned";
    EXPECT_EQ(rig.form->ftp().State(), 0);
    EXPECT_NE(rig.panel(2), QStringLiteral("Connected"));
    EXPECT_EQ(rig.panel(5), QString());
}

TEST(Encryption, ASiteThatSpokeTlsIsNotLoggedIntoInClearWithoutThePersonsWordNorByFtps)
{
    QTemporaryDir keys;
    const auto certificate = MakeCertificate(keys.path(), QStringLiteral("site"));
    auto server = std::make_unique<FtpServerFixture>(0, QStringList{"--tls-cert", certificate.pem});
    ASSERT_TRUE(server->running()) << server->error().toStdString();
    const int port = server->port();
    WindowRig rig;
    rig.openConnectedTo(port);
    ASSERT_TRUE(rig.panel(5).startsWith(QStringLiteral("TLS"))) << rig.panel(5).toStdString();
    rig.close();
    server.reset();

    // The same address now answers in clear and refuses AUTH TLS.
    quillmar::test::ScriptedServer plain({.port = port});
    ASSERT_TRUE(plain.running());
    struct Case {
        int answer;
        QStringList sent;   // what the plain server heard
        bool connected;
        const char* panel5;
    } const cases[] = {
        {7, {"AUTH TLS"}, false, ""},
        {6, {"AUTH TLS", "AUTH TLS", "USER demo", "PASS demo"}, true, "Not encrypted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        rig.dialogs.clear();
        rig.dialogs.queueMessageAnswer(c.answer);
        const qsizetype before = plain.commands().size();
        rig.openConnectedTo(port);
        ASSERT_EQ(rig.dialogs.messageTexts().size(), 1) << rig.dialogs.messageTexts().join('\n').toStdString();
        const ScriptedDialogs::Call& asked = rig.dialogs.calls().first();
        EXPECT_TRUE(asked.text.contains(QStringLiteral("offered encryption")) && asked.text.contains(QStringLiteral("does not now")))
            << asked.text.toStdString();
        EXPECT_EQ(asked.kind, ScriptedDialogs::Kind::Question);
        EXPECT_EQ(asked.defaultAnswer, Dialogs::Answer::No);
        EXPECT_EQ(asked.icon, Dialogs::Icon::Warning);
        // Refused, nothing follows AUTH TLS; accepted, the login goes on after these.
        EXPECT_EQ(plain.commands().mid(before, c.connected ? c.sent.size() : -1), c.sent);
        EXPECT_EQ(rig.panel(2) == QLatin1String("Connected"), c.connected);
        EXPECT_EQ(rig.panel(5), QLatin1String(c.panel5));
        rig.close();
    }

    // Asked for by its address, encryption fails before the login.
    rig.dialogs.clear();
    const qsizetype before = plain.commands().size();
    rig.presetSite(QStringLiteral("ftps://") + Loopback(port));
    rig.open().Connect();
    ASSERT_EQ(rig.dialogs.messageTexts().size(), 1);
    EXPECT_TRUE(rig.dialogs.messageTexts().first().contains(QStringLiteral("offers no encryption")))
        << rig.dialogs.messageTexts().first().toStdString();
    EXPECT_EQ(plain.commands().mid(before), QStringList{"AUTH TLS"}) << "no user name or password in clear";
    EXPECT_EQ(rig.form->ftp().State(), 0);
}
