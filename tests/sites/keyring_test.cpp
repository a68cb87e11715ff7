// Site passwords in a real system keyring: a private session bus with
// gnome-keyring, started for this program. The suite that stops the keyring
// comes last, since the process keeps the bus it first used.

#include "session/ftp_component.h"
#include "app/system_keyring.h"
#include "sites/site_passwords.h"
#include "sites/site_store.h"
#include "support/session_keyring.h"
#include "support/window_helpers.h"

namespace {

using quillmar::test::FtpServerFixture;
using quillmar::test::SessionKeyring;

// Made by the first test's SetUp, before any keyring call of this process.
SessionKeyring* Keyring()
{
    static SessionKeyring keyring;
    return &keyring;
}

class KeyringWindow : public SiteManagerWindow {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Keyring()->running()) << Keyring()->error().toStdString();
        Keyring()->clear();
    }
    QList<quillmar::SiteFields> storedSites() const
    {
        QList<quillmar::SiteFields> sites;
        for (const QString& line : quillmar::LoadSiteList(rig.services.appFolder))
            if (const auto site = quillmar::SplitSiteEntry(line))
                sites.append(*site);
        return sites;
    }
    void seed(const QString& key, const QString& password)
    {
        ASSERT_EQ(quillmar::MakeSystemKeyring()->store(key, password).outcome, quillmar::PasswordStore::Outcome::Done);
    }
};

// A password the store could not hold: it has a ";" and blanks.
const QString kOddPassword = QStringLiteral("p;ass word");

TEST_F(KeyringWindow, SiteSavedInTheManagerKeepsItsPasswordOnlyInTheKeyringLogsInAndStaysThere)
{
    FtpServerFixture server(0, {QStringLiteral("--password"), kOddPassword});
    ASSERT_TRUE(server.running()) << server.error().toStdString();
    const QString address = QStringLiteral("127.0.0.1:%1").arg(server.port());
    openSites();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << "nothing to move, nothing to ask";
    EXPECT_TRUE(rig.find<QAction>("mnuKeyring")->isChecked());
    EXPECT_EQ(rig.find<QLabel>("lblPasswordPlace")->text(), "Passwords are kept in the system keyring.");

    fill({"Shop", address, server.user(), kOddPassword});
    press("Command2");
    press("Command3");
    ASSERT_EQ(storedSites().size(), 1);
    const quillmar::SiteFields stored = storedSites()[0];
    EXPECT_EQ(QStringList({stored.address, stored.login, stored.password}), QStringList({address, server.user(), ""}));
    EXPECT_FALSE(ReadFile(storePath()).contains("ass w"));
    EXPECT_EQ(Keyring()->lookup(server.user() + '@' + address), kOddPassword);
    EXPECT_EQ(Keyring()->entryCount(), 1);

    // Chosen again, the site brings its password back from the keyring and logs in.
    openSites();
    ClickRow(list(), 0);
    EXPECT_EQ(rig.find<QLineEdit>("txtPass")->text(), kOddPassword);
    ClickRow(list(), 0, true);
    EXPECT_EQ(rig.panel(2), "Connected") << rig.dialogs.messageTexts().join('|').toStdString();
    rig.close();
    EXPECT_EQ(rig.storedValue("Pass"), QString());
    EXPECT_EQ(rig.storedValue("User"), server.user());
    EXPECT_FALSE(ReadFile(rig.settingsFile()).contains("ass w"));

    // The next start reads the empty password field and logs in from the keyring.
    rig.open().Connect();
    EXPECT_EQ(rig.panel(2), "Connected") << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(rig.panel(1), "Status: Done");

    // A password the store cannot hold does not leave the keyring.
    const QByteArray before = ReadFile(storePath());
    rig.dialogs.clear();
    rig.find<QAction>("mnuKeyring")->trigger();
    ASSERT_EQ(rig.dialogs.messageTexts().size(), 1);
    EXPECT_TRUE(rig.dialogs.messageTexts()[0].contains("\"Shop\" contains \";\"")) << rig.dialogs.messageTexts()[0].toStdString();
    EXPECT_TRUE(rig.find<QAction>("mnuKeyring")->isChecked());
    EXPECT_EQ(ReadFile(storePath()), before);
    EXPECT_EQ(Keyring()->lookup(server.user() + '@' + address), kOddPassword);
}

// Saving a site under another login or address takes its keyring entry
// along; deleting it removes the entry, unless another site uses it too.
TEST_F(KeyringWindow, ChangingLoginOrAddressMovesTheEntryAndDeletingRemovesIt)
{
    struct Case {
        const char* name;
        int row;
        QStringList boxes;        // typed before Save; empty: Delete instead
        QStringList keysLeft;     // every Quillmar entry afterwards
        QString movedPassword;    // under the first key left, when moved
    };
    const Case cases[] = {
        {"new login", 0, {"Shop", "127.0.0.1", "bea"}, {"bea@127.0.0.1", "cy@127.0.0.2"}, "pw1"},
        {"new address", 0, {"Shop", "127.0.0.3"}, {"ann@127.0.0.3", "cy@127.0.0.2"}, "pw1"},
        {"same login and address", 0, {"Shop renamed"}, {"ann@127.0.0.1", "cy@127.0.0.2"}, "pw1"},
        {"delete", 0, {}, {"cy@127.0.0.2"}, "pw2"},
        {"delete one of two sharing an entry", 2, {}, {"ann@127.0.0.1", "cy@127.0.0.2"}, "pw1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Keyring()->clear();
        rig.dialogs.clear();
        if (rig.form)
            rig.close();
        seed("ann@127.0.0.1", "pw1");
        seed("cy@127.0.0.2", "pw2");
        writeStore({Stored("Shop", "127.0.0.1;ann;"), Stored("Blog", "127.0.0.2;cy;"),
                    Stored("Blog again", "127.0.0.2;cy;")});
        openSites();
        ClickRow(list(), c.row);
        if (c.boxes.isEmpty()) {
            press("Command1");
        } else {
            fill(c.boxes);
            press("cmdSave");
        }
        press("Command3");
        QStringList present;
        for (const char* key : {"ann@127.0.0.1", "bea@127.0.0.1", "ann@127.0.0.3", "cy@127.0.0.2"})
            if (Keyring()->lookup(QLatin1String(key)))
                present << QLatin1String(key);
        EXPECT_EQ(present, c.keysLeft);
        EXPECT_EQ(Keyring()->lookup(c.keysLeft.first()), c.movedPassword);
        for (const auto& site : storedSites())
            EXPECT_EQ(site.password, QString()) << site.description.toStdString();
    }
}

// A deleted site's keyring entry goes only with the saved list: while the
// list cannot be written, the site is still in the file and needs it.
TEST_F(KeyringWindow, ADeletedSitesPasswordGoesOnlyOnceTheListIsSaved)
{
    seed("ann@127.0.0.1", "pw1");
    writeStore({Stored("Shop", "127.0.0.1;ann;")});
    openSites();
    ClickRow(list(), 0);
    press("Command1");
    ASSERT_TRUE(QFile::remove(storePath()) && QDir().mkdir(storePath()));   // no file can replace a folder
    press("Command3");
    EXPECT_EQ(rig.dialogs.messageTexts().size(), 2) << "the question, then why the list was not saved";
    EXPECT_EQ(Keyring()->lookup("ann@127.0.0.1"), "pw1");
    ASSERT_TRUE(QDir().rmdir(storePath()));
    press("Command3");
    EXPECT_EQ(Keyring()->lookup("ann@127.0.0.1"), std::nullopt);
    EXPECT_TRUE(storedSites().isEmpty());
}

// The first start with a keyring asks once. Yes moves every password in and
// empties the fields; No leaves the files as they are and is remembered; the
// Options entry moves them either way later. An address written with
// "ftp://" is keyed as the rewritten line reads back.
TEST_F(KeyringWindow, OldPlainPasswordsMoveInOnlyWhenThePersonSaysYes)
{
    const QStringList lines = {Stored("Shop", "127.0.0.1;ann;pw 1"),
                               Stored("Blog", "ftp://127.0.0.2;cy;pw2;https://127.0.0.2/;/www"),
                               "hand;edited",
                               QString(),
                               Stored("Public", "127.0.0.3;anonymous;")};
    const QString question = QStringLiteral("Keep your site passwords in the system keyring instead of in plain text?");
    struct Expected { QString key, password; };
    const QList<Expected> moved = {{"ann@127.0.0.1", "pw 1"}, {"cy@127.0.0.2", "pw2"}};
    const auto expectMovedIn = [&] {
        for (const Expected& e : moved)
            EXPECT_EQ(Keyring()->lookup(e.key), e.password) << e.key.toStdString();
        EXPECT_EQ(Keyring()->entryCount(), moved.size());
        const QList<quillmar::SiteFields> sites = storedSites();
        ASSERT_EQ(sites.size(), 3);  // and the hand-edited line, kept as it was
        EXPECT_TRUE(quillmar::LoadSiteList(rig.services.appFolder).contains("hand;edited"));
        for (const auto& site : sites)
            EXPECT_EQ(site.password, QString()) << site.description.toStdString();
        EXPECT_EQ(sites[1].webAddress, "https://127.0.0.2/");
        EXPECT_EQ(sites[1].webFolder, "/www");
        EXPECT_EQ(rig.storedValue("Pass"), QString());
        EXPECT_EQ(rig.storedValue("URL"), "127.0.0.1");
    };

    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        Keyring()->clear();
        if (rig.form)
            rig.close();
        rig.dialogs.clear();
        rig.store->clear();
        writeStore(lines);
        rig.presetStore({{"URL", "127.0.0.1"}, {"User", "ann"}, {"Pass", "pw 1"}});
        const QByteArray storeBefore = ReadFile(storePath());
        rig.dialogs.queueMessageAnswer(yes ? 6 : 7);

        rig.open();
        EXPECT_EQ(rig.dialogs.messageTexts(), QStringList{question});
        EXPECT_EQ(rig.find<QAction>("mnuKeyring")->isChecked(), yes);
        if (yes) {
            expectMovedIn();
        } else {
            EXPECT_EQ(ReadFile(storePath()), storeBefore);
            EXPECT_EQ(rig.storedValue("Pass"), "pw 1");
            EXPECT_EQ(Keyring()->entryCount(), 0);
        }
        rig.close();
        rig.dialogs.clear();
        rig.open();
        EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << "asked once only";
        if (!yes) {
            rig.find<QAction>("mnuKeyring")->trigger();
            EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
            expectMovedIn();
        }
        // And back out again: the fields get their passwords, the keyring lets them go.
        rig.find<QAction>("mnuKeyring")->trigger();
        EXPECT_FALSE(rig.find<QAction>("mnuKeyring")->isChecked());
        EXPECT_EQ(Keyring()->entryCount(), 0);
        ASSERT_EQ(storedSites().size(), 3);
        EXPECT_EQ(QStringList({storedSites()[0].password, storedSites()[1].password}), QStringList({"pw 1", "pw2"}));
        rig.close();
        EXPECT_EQ(rig.storedValue("Pass"), "pw 1");
    }
}

// quillmar --add-site, the real program from a folder of its own, with the
// private keyring and with no session bus at all.
TEST_F(KeyringWindow, AddSiteFromTheCommandLineUsesTheKeyringWhenOneAnswers)
{
    for (const bool bus : {true, false}) {
        SCOPED_TRACE(bus ? "keyring" : "no bus");
        Keyring()->clear();
        QTemporaryDir folder;
        const QString program = folder.filePath("quillmar");
        ASSERT_TRUE(QFile::copy(QStringLiteral(QUILLMAR_PROGRAM), program));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", folder.path());
        environment.insert("XDG_CONFIG_HOME", folder.filePath("config"));
        if (!bus) {
            environment.remove("DBUS_SESSION_BUS_ADDRESS");
            environment.remove("XDG_RUNTIME_DIR");
        }
        QProcess run;
        run.setProcessEnvironment(environment);
        run.start(program, {"--add-site", "Shop;127.0.0.1;ann;pw 1"});
        ASSERT_TRUE(run.waitForFinished(120000)) << "the program must not wait for a keyring that is not there";
        EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
        const QStringList stored = quillmar::LoadSiteList(folder.path());
        ASSERT_EQ(stored.size(), 1);
        EXPECT_EQ(quillmar::SplitSiteEntry(stored[0])->password, bus ? QString() : QStringLiteral("pw 1"));
        EXPECT_EQ(Keyring()->lookup("ann@127.0.0.1"), bus ? std::optional<QString>("pw 1") : std::nullopt);
    }
}

// Last: the keyring goes away. A site whose password it held asks for the
// password, uses it for this connection only and says so; nothing is moved.
class KeyringGone : public KeyringWindow {};

TEST_F(KeyringGone, AsksForThePasswordForThisConnectionOnly)
{
    FtpServerFixture server;
    ASSERT_TRUE(server.running()) << server.error().toStdString();
    const QString address = QStringLiteral("127.0.0.1:%1").arg(server.port());
    seed(server.user() + '@' + address, server.password());
    writeStore({Stored("Shop", address + ';' + server.user() + ';'), Stored("Old", "127.0.0.2;cy;pw2")});
    rig.presetStore({{"URL", address}, {"User", server.user()}});
    rig.store->setValue("Security/Keyring", true);  // the passwords went into the keyring before
    const QByteArray before = ReadFile(storePath());
    Keyring()->stopKeyring();

    QString problem;
    EXPECT_FALSE(quillmar::MovePasswordsIntoKeyring(rig.services.appFolder, *rig.store, *quillmar::MakeSystemKeyring(),
                                                    &problem));
    EXPECT_TRUE(problem.contains("\"Old\"")) << problem.toStdString();
    EXPECT_EQ(ReadFile(storePath()), before);

    struct Case { QString typed; QStringList messages; QString connected; };
    const Case cases[] = {
        {server.password(), {}, "Connected"},
        {QString(), {"You must use the site manager to set your username and password."}, "Disconnected"},
    };
    quillmar::Form1& form = rig.open();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << "no keyring, no question about moving";
    EXPECT_FALSE(rig.find<QAction>("mnuKeyring")->isChecked());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        rig.dialogs.clear();
        rig.dialogs.queuePassword(c.typed);
        form.Connect();
        ASSERT_FALSE(rig.dialogs.calls().isEmpty());
        EXPECT_EQ(rig.dialogs.calls()[0].kind, ScriptedDialogs::Kind::Password);
        EXPECT_TRUE(rig.dialogs.calls()[0].text.contains(address));
        EXPECT_EQ(rig.dialogs.messageTexts(), c.messages);
        EXPECT_EQ(form.findChild<QLabel*>("Panel2")->text(), c.connected);
        if (!c.typed.isEmpty()) {
            EXPECT_EQ(rig.panel(1), "Status: Done (with the password you typed: the system keyring did not answer)");
        }
        form.ftp().Quit();
    }
    rig.close();
    EXPECT_EQ(rig.storedValue("Pass"), QString()) << "typed for one connection only";
    EXPECT_EQ(ReadFile(storePath()), before);
}

}  // namespace
