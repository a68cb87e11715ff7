// The site manager as a person uses it, over a real main window and, where a
// connection is made, a real FTP server.

#include "session/ftp_component.h"
#include "shell/window_rig.h"
#include "sites/site_form.h"
#include "sites/site_store.h"
#include "sites/ui_kit.h"
#include "support/ftp_server_fixture.h"
#include "support/qt_printers.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using quillmar::Dialogs;
using quillmar::test::FtpServerFixture;
using uikit::ReadFile;
using uikit::WriteFile;

namespace {

QString Entry(const QString& description, const QString& address, const QString& login, const QString& password)
{
    return *quillmar::BuildSiteEntry(description, address, login, password);
}

// The main window with its site manager, over a store written beforehand.
class SiteManager : public ::testing::Test {
protected:
    void writeStore(const QStringList& lines)
    {
        WriteFile(storePath(), lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
    }
    QString storePath() const { return rig.services.appFolder + QStringLiteral("/sites.snd"); }
    QStringList storedLines() const
    {
        return quillmar::SplitStoredLines(QString::fromUtf8(ReadFile(storePath())));
    }

    quillmar::SiteForm* openSites()
    {
        if (!rig.form)
            rig.open();
        rig.find<QAction>("mnuSiteMan")->trigger();
        return window();
    }
    quillmar::SiteForm* window() const { return rig.find<quillmar::SiteForm>("SiteForm"); }
    QListWidget* list() const { return rig.find<QListWidget>("List1"); }
    QLineEdit* box(const char* name) const { return rig.find<QLineEdit>(name); }
    QStringList boxes() const
    {
        return {box("txtSite")->text(), box("txtRemote")->text(), box("txtLogin")->text(), box("txtPass")->text()};
    }
    void type(const char* name, const QString& text)
    {
        box(name)->clear();
        QTest::keyClicks(box(name), text);
    }
    void press(const char* name) { QTest::mouseClick(rig.find<QPushButton>(name), Qt::LeftButton); }
    QStringList settings() const
    {
        const quillmar::ConnectionSettings& s = rig.form->connectionSettings();
        return {s.Description, s.URL, s.User, s.Pass, s.Port};
    }
    QStringList listTexts() const { return uikit::RowTexts(list()); }

    WindowRig rig;
};

TEST_F(SiteManager, ElementsCarryTheirCaptionsTipsMaskAndTabOrder)
{
    quillmar::SiteForm* sites = openSites();
    ASSERT_NE(sites, nullptr);
    EXPECT_TRUE(sites->isVisible());
    EXPECT_FALSE(sites->isModal());
    EXPECT_EQ(sites->windowTitle(), QStringLiteral("Your Site Manager"));
    struct Element {
        const char* name;
        const char* caption;
        const char* tip;
    };
    const Element buttons[] = {
        {"Command4", "Clear", "Clears out information so you can add a new site."},
        {"Command2", "Add ", "Add this information as a new site."},
        {"Command1", "Delete", "Remove the selected entry."},
        {"CloseBtn", "Connect", "Connect to selected site."},
        {"Command3", "Exit", "Exit site manager without saving."},
    };
    for (const Element& e : buttons) {
        auto* button = rig.find<QPushButton>(e.name);
        ASSERT_NE(button, nullptr) << e.name;
        EXPECT_EQ(button->text(), QLatin1String(e.caption));
        EXPECT_EQ(button->toolTip(), QLatin1String(e.tip));
    }
    const Element textBoxes[] = {
        {"txtSite", "Description:", "Enter site description here."},
        {"txtRemote", "Server Address:", "Enter remote address here, WITHOUT the ftp:// in front."},
        {"txtLogin", "Login:", "Enter your site login."},
        {"txtPass", "Password:", "Enter your site password."},
    };
    for (const Element& e : textBoxes) {
        ASSERT_NE(box(e.name), nullptr) << e.name;
        EXPECT_EQ(box(e.name)->toolTip(), QLatin1String(e.tip));
        bool labelled = false;
        for (QLabel* label : sites->findChildren<QLabel*>())
            labelled = labelled || (label->buddy() == box(e.name) && label->text() == QLatin1String(e.caption));
        EXPECT_TRUE(labelled) << e.name;
    }
    EXPECT_EQ(list()->toolTip(), QStringLiteral("Your saved remote sites."));
    EXPECT_EQ(box("txtPass")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(box("txtSite")->echoMode(), QLineEdit::Normal);

    // Tab walks description, address, login, password.
    QStringList order{QStringLiteral("txtSite")};
    for (QWidget* w = box("txtSite")->nextInFocusChain(); w != box("txtSite") && order.size() < 10;
         w = w->nextInFocusChain()) {
        if (qobject_cast<QLineEdit*>(w) && w->window() == sites)
            order << w->objectName();
    }
    EXPECT_EQ(order, (QStringList{"txtSite", "txtRemote", "txtLogin", "txtPass"}));
}

TEST_F(SiteManager, OpeningShowsTheCurrentSettingsEvenWhenNoEntryMatches)
{
    writeStore({Entry("Shop", "shop.example", "ann", "pw1")});
    rig.presetStore({{"URL", "elsewhere.example"},
                     {"User", "bob"},
                     {"Pass", "secret"},
                     {"Description", "Home"},
                     {"Port", "2121"}});
    openSites();
    EXPECT_EQ(boxes(), (QStringList{"Home", "elsewhere.example", "bob", "secret"}));
    EXPECT_EQ(listTexts(), QStringList{Entry("Shop", "shop.example", "ann", "pw1")});
    EXPECT_TRUE(list()->selectedItems().isEmpty());

    // Opening again while open overwrites the boxes but keeps the list.
    type("txtSite", QStringLiteral("typed"));
    writeStore({});
    openSites();
    EXPECT_EQ(box("txtSite")->text(), QStringLiteral("Home"));
    EXPECT_EQ(list()->count(), 1);
}

TEST_F(SiteManager, ASingleClickChangesTheSettingsAndExitKeepsThem)
{
    writeStore({Entry("Shop", "shop.example", "ann", "pw1"), Entry("Blog", "ftp://blog.example", "cy", "pw2")});
    rig.presetStore({{"URL", "old.example"}, {"Port", "2121"}});
    quillmar::SiteForm* sites = openSites();
    uikit::ClickRow(list(), 1);
    EXPECT_EQ(settings(), (QStringList{"Blog", "blog.example", "cy", "pw2", "2121"}));
    EXPECT_EQ(boxes(), (QStringList{"Blog", "blog.example", "cy", "pw2"}));

    // The keyboard moves the selection the same way.
    QTest::keyClick(list(), Qt::Key_Up);
    EXPECT_EQ(settings(), (QStringList{"Shop", "shop.example", "ann", "pw1", "2121"}));

    type("txtSite", QStringLiteral("not added"));
    press("Command3");
    EXPECT_FALSE(sites->isVisible());
    EXPECT_EQ(settings(), (QStringList{"Shop", "shop.example", "ann", "pw1", "2121"}));
    EXPECT_EQ(rig.dialogs.calls().size(), 0);
    rig.close();
    EXPECT_EQ(rig.storedValue("URL"), QStringLiteral("shop.example")) << "the next start uses the chosen site";
    EXPECT_EQ(rig.storedValue("Port"), QStringLiteral("2121"));
}

TEST_F(SiteManager, AddAppendsUnselectedEntriesAndLeavesTheSettings)
{
    rig.presetStore({{"URL", "current.example"}, {"Description", "Current"}});
    openSites();
    for (int i = 0; i < 2; ++i) {
        type("txtSite", QStringLiteral("Same"));
        type("txtRemote", QStringLiteral("same.example"));
        type("txtLogin", QStringLiteral("me"));
        type("txtPass", QStringLiteral("pw"));
        press("Command2");
        EXPECT_EQ(boxes(), (QStringList{"", "", "", ""}));
    }
    EXPECT_EQ(listTexts(), QStringList(2, Entry("Same", "same.example", "me", "pw")));
    EXPECT_TRUE(list()->selectedItems().isEmpty());
    EXPECT_EQ(settings().mid(0, 2), (QStringList{"Current", "current.example"}));

    // No address: nothing is added and the boxes keep their text.
    type("txtSite", QStringLiteral("No address"));
    press("Command2");
    EXPECT_EQ(list()->count(), 2);
    EXPECT_EQ(box("txtSite")->text(), QStringLiteral("No address"));

    // Clear empties the boxes only.
    press("Command4");
    EXPECT_EQ(boxes(), (QStringList{"", "", "", ""}));
    EXPECT_EQ(list()->count(), 2);
    press("Command3");
    EXPECT_EQ(storedLines(), QStringList(2, Entry("Same", "same.example", "me", "pw")));
}

TEST_F(SiteManager, AddressPrefixesAreStrippedOnlyWhenExactlyFtpColonSlashSlash)
{
    struct Case {
        const char* typed;
        const char* stored;
    };
    const Case cases[] = {{"ftp://a.example", "a.example"}, {"FTP://b.example", "b.example"},
                          {"fTp://c.example", "c.example"}, {"ftp:/x", "ftp:/x"},
                          {"http://d.example", "http://d.example"}, {" ftp://e.example", " ftp://e.example"}};
    openSites();
    for (const Case& c : cases) {
        type("txtRemote", QLatin1String(c.typed));
        type("txtSite", QStringLiteral("site"));
        press("Command2");
    }
    press("Command3");
    const QStringList lines = storedLines();
    ASSERT_EQ(lines.size(), int(std::size(cases)));
    for (int i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(cases[i].typed);
        EXPECT_EQ(lines[i], QStringLiteral("site") + QString(100, u' ') + u';' + QLatin1String(cases[i].stored) +
                                QStringLiteral(";;"));
    }
}

TEST_F(SiteManager, ASemicolonInTheDescriptionShiftsTheValuesWhenPicked)
{
    openSites();
    type("txtSite", QStringLiteral("Home;Work"));
    type("txtRemote", QStringLiteral("host.example"));
    type("txtLogin", QStringLiteral("me"));
    type("txtPass", QStringLiteral("pw"));
    press("Command2");
    uikit::ClickRow(list(), 0);
    EXPECT_EQ(settings().mid(0, 4), (QStringList{"Home", "Work", "host.example", "me"}));
}

TEST_F(SiteManager, UnsplittableEntriesAndEmptySelectionsChangeNothing)
{
    writeStore({Entry("Shop", "shop.example", "ann", "pw1"), QString(), QStringLiteral("hand;edited"),
                Entry("Blog", "blog.example", "cy", "pw2")});
    rig.presetStore({{"URL", "current.example"}, {"Description", "Current"}, {"User", "u"}, {"Pass", "p"}});
    openSites();
    ASSERT_EQ(list()->count(), 4);
    const QStringList before = settings();
    for (int row : {1, 2}) {
        uikit::ClickRow(list(), row);
        EXPECT_EQ(settings(), before) << "row " << row;
        uikit::DoubleClickRow(list(), row);
        EXPECT_EQ(settings(), before) << "row " << row;
        EXPECT_TRUE(window()->isVisible()) << "no connection from a line without four values";
    }

    // Delete with nothing selected does nothing.
    list()->clearSelection();
    list()->setCurrentRow(-1);
    press("Command1");
    EXPECT_EQ(list()->count(), 4);

    // Delete removes the selected entry only; the settings stay as the last
    // selection left them and no other entry becomes selected.
    uikit::ClickRow(list(), 3);
    const QStringList chosen = settings();
    press("Command1");
    EXPECT_EQ(list()->count(), 3);
    EXPECT_EQ(settings(), chosen);
    EXPECT_EQ(boxes(), (QStringList{"", "", "", ""}));
    EXPECT_TRUE(list()->selectedItems().isEmpty());
    press("Command1");
    EXPECT_EQ(list()->count(), 3);

    // Blank lines are not written back.
    window()->close();
    EXPECT_EQ(storedLines(), (QStringList{Entry("Shop", "shop.example", "ann", "pw1"), QStringLiteral("hand;edited")}));
}

TEST_F(SiteManager, TheStoreSurvivesARestartAndIsOwnerOnly)
{
    openSites();
    type("txtSite", QStringLiteral("Kept"));
    type("txtRemote", QStringLiteral("kept.example"));
    type("txtPass", QStringLiteral("pw"));
    press("Command2");
    window()->close();  // the window's own close command saves too
    EXPECT_EQ(QFile::permissions(storePath()) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    rig.close();

    openSites();
    EXPECT_EQ(listTexts(), QStringList{Entry("Kept", "kept.example", "", "pw")});
    // Opening after a close reads the file again.
    writeStore({});
    window()->close();
    openSites();
    EXPECT_EQ(listTexts(), QStringList{Entry("Kept", "kept.example", "", "pw")});
}

TEST_F(SiteManager, AFailedSaveKeepsTheOldStoreAndTheWindowOpen)
{
    // The store's folder is swapped for a plain file while the window is open.
    const QString folder = rig.appFolder.filePath(QStringLiteral("app"));
    const QString moved = rig.appFolder.filePath(QStringLiteral("moved"));
    ASSERT_TRUE(QDir().mkpath(folder));
    rig.services.appFolder = folder;
    writeStore({Entry("Old", "old.example", "a", "b")});
    const QByteArray oldStore = ReadFile(storePath());
    openSites();
    type("txtRemote", QStringLiteral("new.example"));
    press("Command2");
    uikit::ClickRow(list(), 0);
    ASSERT_TRUE(QDir().rename(folder, moved));
    WriteFile(folder, "not a folder");

    press("Command3");  // Exit
    ASSERT_EQ(rig.dialogs.calls().size(), 1);
    const ScriptedDialogs::Call call = rig.dialogs.calls().first();
    EXPECT_FALSE(call.text.isEmpty()) << "the system's reason";
    EXPECT_EQ(call.buttons, Dialogs::Buttons::Ok);
    EXPECT_EQ(call.icon, Dialogs::Icon::None);
    EXPECT_EQ(call.title, QStringLiteral("Quillmar"));
    EXPECT_TRUE(window()->isVisible());

    press("CloseBtn");  // Connect
    EXPECT_EQ(rig.dialogs.calls().size(), 2);
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(rig.form->ftp().State(), 0);
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Disconnected.")) << "no connection was started";

    window()->close();  // the close command closes anyway
    EXPECT_EQ(rig.dialogs.calls().size(), 3);
    EXPECT_FALSE(window()->isVisible());
    EXPECT_EQ(ReadFile(moved + QStringLiteral("/sites.snd")), oldStore);

    // With the folder back the next close writes the list.
    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().rename(moved, folder));
    openSites();
    press("Command3");
    EXPECT_EQ(storedLines(), QStringList{Entry("Old", "old.example", "a", "b")});
}

// Against a real server: the picked site is what connects.
class SiteManagerOnServer : public SiteManager {
protected:
    void SetUp() override { ASSERT_TRUE(server.running()) << server.error().toStdString(); }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(server.port()); }
    FtpServerFixture server;
};

TEST_F(SiteManagerOnServer, ADoubleClickConnectsClosesAndSavesTheList)
{
    writeStore({Entry("Other", "127.0.0.2:1", "x", "y"), Entry("Local", address(), "demo", "demo")});
    openSites();
    uikit::DoubleClickRow(list(), 1);
    EXPECT_EQ(rig.form->ftp().State(), 1);
    EXPECT_EQ(rig.panel(2), QStringLiteral("Connected"));
    EXPECT_FALSE(window()->isVisible());
    EXPECT_EQ(settings().mid(0, 4), (QStringList{"Local", address(), "demo", "demo"}));
    EXPECT_EQ(storedLines(), (QStringList{Entry("Other", "127.0.0.2:1", "x", "y"), Entry("Local", address(), "demo", "demo")}));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join(u'|');
}

TEST_F(SiteManagerOnServer, ConnectUsesTheStoredEntryNotTheEditedBoxes)
{
    writeStore({Entry("Local", address(), "demo", "demo")});
    openSites();
    uikit::ClickRow(list(), 0);
    type("txtRemote", QStringLiteral("127.0.0.2:1"));
    type("txtPass", QStringLiteral("wrong"));
    press("CloseBtn");
    EXPECT_FALSE(window()->isVisible());
    EXPECT_EQ(rig.form->ftp().State(), 1);
    EXPECT_EQ(settings().mid(0, 4), (QStringList{"Local", address(), "demo", "demo"}));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join(u'|');
}

TEST_F(SiteManagerOnServer, AfterAddConnectStillUsesTheSettingsTheWindowOpenedWith)
{
    rig.presetStore({{"URL", address()}, {"User", "demo"}, {"Pass", "demo"}, {"Description", "Start"}});
    openSites();
    type("txtRemote", QStringLiteral("127.0.0.2:1"));
    press("Command2");
    press("CloseBtn");
    EXPECT_EQ(rig.form->ftp().State(), 1);
    EXPECT_EQ(settings().mid(0, 2), (QStringList{"Start", address()}));
}

}  // namespace
