// The site manager as a person uses it, over a real main window and, where a
// connection is made, a real FTP server.

#include "session/ftp_component.h"
#include "support/window_helpers.h"
#include "shell/message_dialogs.h"
#include "sites/site_form.h"
#include "sites/site_store.h"
#include "support/ftp_server_fixture.h"

#include <QStyledItemDelegate>

namespace {

class SiteManager : public SiteManagerWindow {
protected:
    QStringList storedLines() const { return quillmar::LoadSiteList(rig.services.appFolder); }
    QStringList rows() const { return RowTexts(list()); }
    QStringList boxes() const
    {
        QStringList texts;
        for (const char* name : kBoxes)
            texts << rig.find<QLineEdit>(name)->text();
        return texts;
    }
    QStringList settings() const
    {
        const quillmar::ConnectionSettings& s = rig.form->connectionSettings();
        return {s.Description, s.URL, s.User, s.Pass, s.Port};
    }
};

TEST_F(SiteManager, OpensOnTheCurrentSettingsAndOnlyAWholeEntryChangesThem)
{
    const QString shop = Stored("Shop", "shop.example;ann;pw1");
    writeStore({shop, QString(), "hand;edited", Stored("Blog", "blog.example;cy;pw2")});
    rig.presetStore({{"URL", "elsewhere.example"}, {"User", "bob"}, {"Pass", "secret"}, {"Description", "Home"},
                     {"Port", "2121"}});
    quillmar::SiteForm* sites = openSites();
    EXPECT_EQ(boxes(), (QStringList{"Home", "elsewhere.example", "bob", "secret"})) << "though no entry matches";
    EXPECT_TRUE(list()->selectedItems().isEmpty());
    EXPECT_EQ(rig.find<QLineEdit>("txtPass")->echoMode(), QLineEdit::Password);

    // A blank line or one without four values changes nothing, nor connects.
    const QStringList before = settings();
    for (int row : {1, 2}) {
        SCOPED_TRACE(row);
        ClickRow(list(), row, /*twice=*/true);
        EXPECT_EQ(settings(), before);
        EXPECT_TRUE(sites->isVisible());
    }
    ClickRow(list(), 3);
    EXPECT_EQ(settings(), (QStringList{"Blog", "blog.example", "cy", "pw2", "2121"}));
    EXPECT_EQ(boxes(), (QStringList{"Blog", "blog.example", "cy", "pw2"}));

    // Delete asks first, naming the site; it removes the selected entry only
    // and leaves nothing selected, so a second Delete does nothing.
    rig.dialogs.queueMessageAnswer(7);
    press("Command1");
    EXPECT_EQ(list()->count(), 4);
    press("Command1");
    press("Command1");
    EXPECT_EQ(rig.dialogs.messageTexts(),
              QStringList(2, "Are you sure you want to delete the site \"Blog\" from your site list?"));
    EXPECT_EQ(rows(), (QStringList{shop, QString(), "hand;edited"}));
    EXPECT_TRUE(list()->selectedItems().isEmpty());
    rig.dialogs.clear();

    ClickRow(list(), 0);
    fill({"not added"});
    press("Command3");
    EXPECT_FALSE(sites->isVisible());
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
    EXPECT_EQ(storedLines(), (QStringList{shop, "hand;edited"})) << "blank lines are not written back";
    rig.close();
    EXPECT_EQ(rig.storedValue("URL"), "shop.example") << "the next start uses the chosen site";
    EXPECT_EQ(rig.storedValue("Port"), "2121");
}

TEST_F(SiteManager, AddAppendsAndSelectsEntriesThatSurviveARestart)
{
    writeStore({Stored("First", "first.example;;")});
    rig.presetStore({{"URL", "current.example"}, {"Description", "Current"}});
    openSites();
    // "ftp://" in any letter case goes.
    const std::pair<const char*, const char*> added[] = {{"Same", "fTp://same.example"}, {"Same", "FTP://same.example"}};
    for (const auto& [description, address] : added) {
        fill({description, address, "me", "pw"});
        press("Command2");
        // The new site is the selected one, shown as stored.
        ASSERT_EQ(list()->selectedItems().size(), 1) << address;
        EXPECT_EQ(list()->row(list()->selectedItems().first()), list()->count() - 1);
        EXPECT_EQ(boxes(), settings().mid(0, 4)) << address;
    }
    const QString same = Stored("Same", "same.example;me;pw");
    const QStringList entries{Stored("First", "first.example;;"), same, same};
    EXPECT_EQ(rows(), entries);

    press("Command4");  // Clear
    fill({"No address"});
    press("Command2");
    EXPECT_EQ(list()->count(), 3) << "nothing added without an address";
    EXPECT_EQ(boxes().first(), "No address");
    press("Command3");
    EXPECT_EQ(storedLines(), entries);
    rig.close();
    openSites();
    EXPECT_EQ(rows(), entries);
}

// Save changes the selected entry where it stands, in the store at once.
TEST_F(SiteManager, SaveEditsTheSelectedEntryInPlace)
{
    const QStringList entries{Stored("First", "first.example;a;1"), Stored("Shop", "127.0.0.2:9;ann;old"),
                              Stored("Last", "last.example;c;3")};
    writeStore(entries);
    openSites();
    press("cmdSave");  // nothing selected: said, nothing changed
    EXPECT_EQ(rig.dialogs.messageTexts().size(), 1);
    ClickRow(list(), 1);
    fill({"Shop", "127.0.0.2:9", "ann", "new"});
    press("cmdSave");
    const QStringList saved{entries[0], Stored("Shop", "127.0.0.2:9;ann;new"), entries[2]};
    EXPECT_EQ(rows(), saved);
    EXPECT_EQ(ReadFile(storePath()), (saved.join("\r\n") + "\r\n").toUtf8()) << "written at once, in order, once";
    EXPECT_EQ(settings().mid(0, 4), (QStringList{"Shop", "127.0.0.2:9", "ann", "new"}));
}

TEST_F(SiteManager, AWebAddressRidesAfterThePasswordAndOldStoresStayByteForByte)
{
    const QByteArray old = (Stored("Shop", "shop.example;ann;pw1") + "\r\n" + Stored("Blog", "blog.example;cy;") + "\r\n").toUtf8();
    WriteFile(storePath(), old);
    rig.presetStore({{"WebAddress", "https://left.over/"}, {"WebFolder", "/old"}});
    openSites();
    auto* web = rig.find<QLineEdit>("txtWeb");
    auto* webFolder = rig.find<QLineEdit>("txtWebFolder");
    EXPECT_EQ(web->text(), "https://left.over/");
    ClickRow(list(), 1);
    EXPECT_EQ(QStringList({rig.form->connectionSettings().WebAddress, rig.form->connectionSettings().WebFolder}),
              QStringList({"", ""})) << "an entry without them has none";
    EXPECT_EQ(QStringList({web->text(), webFolder->text()}), QStringList({"", ""}));
    press("Command3");
    EXPECT_EQ(ReadFile(storePath()), old);

    openSites();
    fill({"Pictures", "ftp://pics.example", "me", "pw"});
    QTest::keyClicks(web, "https://127.0.0.2/");
    QTest::keyClicks(webFolder, "/public_html");
    press("Command2");
    ClickRow(list(), 2);
    EXPECT_EQ(QStringList({web->text(), webFolder->text()}), QStringList({"https://127.0.0.2/", "/public_html"}));
    press("Command3");
    EXPECT_EQ(ReadFile(storePath()),
              old + (Stored("Pictures", "pics.example;me;pw;https://127.0.0.2/;/public_html") + "\r\n").toUtf8());
    rig.close();
    EXPECT_EQ(rig.storedValue("WebAddress"), "https://127.0.0.2/");
    EXPECT_EQ(rig.storedValue("WebFolder"), "/public_html");
}

// What the store cannot hold, or what is no server address, is refused at
// Add and at Save with a message naming the problem (the rules' own tests
// have every kind); the boxes keep the text.
TEST_F(SiteManager, FieldsThatCannotBeStoredOrConnectedToAreRefused)
{
    const QStringList entries{Stored("Shop", "shop.example;ann;pw")};
    writeStore(entries);
    openSites();
    const std::pair<QStringList, const char*> cases[] = {
        {{"Shop", "h.example", "me", "p;w"}, "The Password cannot be saved"},  // no keyring here
        {{"Shop", "me@h.example", "me", "pw"}, "The server address holds \"@\""},
    };
    for (const char* button : {"Command2", "cmdSave"}) {
        for (const auto& [texts, message] : cases) {
            SCOPED_TRACE(std::string(button) + " " + texts.join(u'|').toStdString());
            ClickRow(list(), 0);
            fill(texts);
            rig.dialogs.clear();
            press(button);
            ASSERT_EQ(rig.dialogs.messageTexts().size(), 1);
            EXPECT_TRUE(rig.dialogs.messageTexts()[0].startsWith(QLatin1String(message)))
                << rig.dialogs.messageTexts()[0].toStdString();
            EXPECT_EQ(boxes(), texts);
            EXPECT_EQ(rows(), entries);
        }
    }
    press("Command3");
    EXPECT_EQ(storedLines(), entries);
}

// The list names each site, never its password; a question the site manager
// asks belongs to it.
TEST_F(SiteManager, SitesAreListedByNameAndItsQuestionsStayOnTop)
{
    writeStore({Stored("Demo", "127.0.0.1:2121;demo;" + QString(80, u'p')), ";127.0.0.2:21;anonymous;"});
    quillmar::SiteForm* sites = openSites();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sites));
    auto* names = qobject_cast<QStyledItemDelegate*>(list()->itemDelegate());
    ASSERT_NE(names, nullptr);
    QStringList shown;
    for (int row = 0; row < list()->count(); ++row)
        shown << names->displayText(list()->item(row)->data(Qt::DisplayRole), QLocale());
    EXPECT_EQ(shown, (QStringList{"Demo", "127.0.0.2:21"}));

    // A question the site manager asks belongs to it, so it stays on top after.
    sites->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sites));
    quillmar::MessageDialogs real(rig.form.get());
    QWidget* owner = nullptr;
    QTimer::singleShot(50, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        owner = box->parentWidget();
        box->close();
    });
    real.message(QStringLiteral("Delete?"), quillmar::Dialogs::Buttons::YesNo, quillmar::Dialogs::Icon::None,
                 QStringLiteral("Confirmation"));
    EXPECT_EQ(owner, sites);
}

TEST_F(SiteManager, AFailedSaveKeepsTheOldStoreAndTheWindowOpen)
{
    // The store's folder is swapped for a plain file while the window is open.
    const QString folder = rig.appFolder.filePath("app");
    const QString moved = rig.appFolder.filePath("moved");
    ASSERT_TRUE(QDir().mkpath(folder));
    rig.services.appFolder = folder;
    writeStore({Stored("Old", "old.example;a;b")});
    const QByteArray oldStore = ReadFile(storePath());
    quillmar::SiteForm* sites = openSites();
    fill({"New", "new.example"});
    press("Command2");
    ClickRow(list(), 0);
    ASSERT_TRUE(QDir().rename(folder, moved));
    WriteFile(folder, "not a folder");

    press("Command3");
    ASSERT_EQ(rig.dialogs.calls().size(), 1);
    EXPECT_FALSE(rig.dialogs.calls().first().text.isEmpty()) << "the system's reason";
    EXPECT_TRUE(sites->isVisible());
    press("CloseBtn");
    EXPECT_EQ(rig.dialogs.calls().size(), 2);
    EXPECT_TRUE(sites->isVisible());
    EXPECT_EQ(rig.form->ftp().State(), 0) << "no connection was started";

    sites->close();  // the close command closes anyway
    EXPECT_EQ(rig.dialogs.calls().size(), 3);
    EXPECT_FALSE(sites->isVisible());
    EXPECT_EQ(ReadFile(moved + "/sites.snd"), oldStore);
}

// Against a real server: the picked entry is what connects, by a double click
// or by Connect after the boxes were edited.
TEST_F(SiteManager, ThePickedEntryIsWhatConnectsAndEachSiteKeepsItsListing)
{
    quillmar::test::FtpServerFixture server;
    ASSERT_TRUE(server.running()) << server.error().toStdString();
    const QString address = QStringLiteral("127.0.0.1:%1").arg(server.port());
    const QStringList entries{Stored("Other", "127.0.0.2:1;x;y"), Stored("Local", address + ";demo;demo")};
    writeStore(entries);
    enum class Way { Connect, DoubleClick, Enter };
    for (Way way : {Way::Connect, Way::DoubleClick, Way::Enter}) {
        SCOPED_TRACE(int(way));
        rig.presetStore({{"URL", "127.0.0.2:1"}, {"Description", "Stale"}});
        quillmar::SiteForm* sites = openSites();
        ClickRow(list(), 1, way == Way::DoubleClick);
        if (way == Way::Connect) {
            fill({"Edited", "127.0.0.2:1", "demo", "wrong"});
            press("CloseBtn");
        } else if (way == Way::Enter) {
            // Enter is the window's default button, Connect.
            sites->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(sites));
            QTest::keyClick(list(), Qt::Key_Return);
        }
        EXPECT_EQ(rig.form->ftp().State(), 1);
        EXPECT_FALSE(sites->isVisible());
        EXPECT_EQ(settings().mid(0, 4), (QStringList{"Local", address, "demo", "demo"}));
        EXPECT_EQ(storedLines(), entries);
        EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join(u'|');
        rig.close();
    }

    // Each site keeps its own last listing: choosing another site while
    // connected does not hand it the connected site's files.
    WriteFile(server.root() + "/a.jpg", "A");
    // The same server, stored once with its scheme: the listing names the address as connected.
    writeStore({Stored("Site A", "ftp://" + address + ";demo;demo"), Stored("Site B", address + ";demo;demo")});

    openSites();
    ClickRow(list(), 0, /*twice=*/true);
    ASSERT_EQ(rig.form->ftp().State(), 1);
    openSites();
    ClickRow(list(), 1);  // Site B is chosen while Site A is connected
    press("Command3");
    EXPECT_EQ(settings().mid(0, 2), (QStringList{"Site B", address}));
    EXPECT_EQ(rig.form->windowTitle(), QStringLiteral("Site A \u2014 / \u2014 Quillmar"));
    rig.form->Disconnect();
    EXPECT_EQ(SavedListing(rig, "Site A"), ListingHeader("ftp://" + address) + "a.jpg\r\n");
    EXPECT_FALSE(QFile::exists(rig.appFolder.filePath("Site B.dat")));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join(u'|').toStdString();
}

// Without a session bus (as in these tests) nothing changes: passwords stay
// in sites.snd, the manager says so, nothing is asked at start, and the
// Options entry explains why it cannot move them.
TEST_F(SiteManager, WithoutAKeyringPasswordsStayInTheStore)
{
    writeStore({Stored("Old", "127.0.0.2;cy;pw2")});
    openSites();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join(u'|');
    EXPECT_EQ(rig.find<QLabel>("lblPasswordPlace")->text(), "Passwords are stored in sites.snd in your data folder.");
    fill({"Shop", "127.0.0.1", "ann", "pw 1"});
    press("Command2");
    press("Command3");
    EXPECT_EQ(storedLines(), (QStringList{Stored("Old", "127.0.0.2;cy;pw2"), Stored("Shop", "127.0.0.1;ann;pw 1")}));

    auto* keyring = rig.find<QAction>("mnuKeyring");
    EXPECT_FALSE(keyring->isChecked());
    keyring->trigger();
    EXPECT_FALSE(keyring->isChecked());
    EXPECT_EQ(rig.dialogs.messageTexts(),
              QStringList{"No system keyring answers, so passwords are stored in sites.snd in your data folder."});

    // An empty password field is no reason to ask for one when there never was a keyring.
    rig.dialogs.clear();
    rig.form->connectionSettings() = {"127.0.0.1:1", "ann", QString(), QString(), "Shop", {}, {}};
    rig.form->Connect();
    for (const auto& call : rig.dialogs.calls())
        EXPECT_NE(call.kind, ScriptedDialogs::Kind::Password) << call.text.toStdString();
    EXPECT_FALSE(rig.dialogs.messageTexts().isEmpty());
}

}  // namespace
