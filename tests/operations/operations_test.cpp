// Download, upload, delete, rename and new folder through the real main
// window against the real FTP server.

#include "operations/confirm.h"
#include "session/ftp_component.h"
#include "support/window_helpers.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

using Choice = quillmar::Dialogs::ConfirmChoice;

TEST_F(ConnectedWindow, DownloadOfTwoFilesAndAFolderLeavesTheFolderSelected)
{
    WriteFile(serverPath(QStringLiteral("b.txt")), QByteArray(300000, 'x'));
    openConnected();
    SelectRows(rig, {QStringLiteral("a.jpg"), QStringLiteral("b.txt"), QStringLiteral("images/")});
    rig.find<QAction>("Get")->trigger();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(ReadFile(localPath(QStringLiteral("a.jpg"))), QByteArray(1500, 'j'));
    EXPECT_EQ(ReadFile(localPath(QStringLiteral("b.txt"))), QByteArray(300000, 'x'));
    EXPECT_FALSE(QFileInfo::exists(localPath(QStringLiteral("images"))));
    EXPECT_EQ(SelectedTexts(rig), QStringList{QStringLiteral("images/")});
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Download(s) Complete"));
    EXPECT_TRUE(rig.greenShown());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(rig.find<QListWidget>("File1")->findItems(QStringLiteral("b.txt"), Qt::MatchExactly).size(), 1);
}

TEST_F(ConnectedWindow, AFailedDownloadStopsKeepsTheLocalFileAndTheRemainingRows)
{
    openConnected();
    WriteFile(localPath(QStringLiteral("a.jpg")), "mine");
    QFile::remove(serverPath(QStringLiteral("a.jpg")));  // gone since the list was read
    SelectRows(rig, {QStringLiteral("a.jpg"), QStringLiteral("b.txt")});
    rig.form->Download();
    ASSERT_EQ(rig.dialogs.calls().size(), 1);
    EXPECT_EQ(rig.dialogs.calls().first().title, QStringLiteral("Quillmar Information"));
    EXPECT_EQ(ReadFile(localPath(QStringLiteral("a.jpg"))), QByteArray("mine"));
    EXPECT_FALSE(QFileInfo::exists(localPath(QStringLiteral("b.txt"))));
    EXPECT_EQ(SelectedTexts(rig), (QStringList{"a.jpg", "b.txt"}));
    EXPECT_TRUE(rig.redShown()) << "lights stay as they were at the failure";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ConnectedWindow, DownloadRefusesServerNamesThatLeaveTheLocalFolder)
{
    openConnected();
    for (const QString& name : {QStringLiteral(".."), QStringLiteral("..\\up.jpg")}) {
        SCOPED_TRACE(name.toStdString());
        Model(rig)->appendRows({{name, QStringLiteral("1 bytes")}});
        rig.dialogs.clear();
        SelectRows(rig, {name});
        rig.form->Download();
        ASSERT_EQ(rig.dialogs.calls().size(), 1);
        EXPECT_TRUE(rig.dialogs.calls().first().text.startsWith(name + QStringLiteral(" cannot be downloaded")))
            << rig.dialogs.calls().first().text.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(localPath(QStringLiteral("../up.jpg"))));
}

// A second double click must not start another upload while one runs.
TEST_F(ConnectedWindow, DoubleClickUploadDisablesTheLocalListWhileItRuns)
{
    WriteFile(localPath(QStringLiteral("big.txt")), QByteArray(2 * 1024 * 1024, 'b'));
    openConnected();
    auto* files = rig.find<QListWidget>("File1");
    QList<bool> enabled;
    QObject::connect(&rig.form->ftp(), &quillmar::FtpComponent::Progress, rig.form.get(),
                     [&] { enabled << files->isEnabled(); });
    const QPoint at = files->visualItemRect(files->item(0)).center();
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, at);  // a double click starts with a click
    QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_FALSE(enabled.isEmpty());
    EXPECT_FALSE(enabled.contains(true));
    EXPECT_EQ(QFileInfo(serverPath(QStringLiteral("big.txt"))).size(), 2 * 1024 * 1024);
    rig.form->Disconnect();  // also after an upload that fails
    QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(rig.dialogs.messageTexts(), QStringList{QStringLiteral("You must first connect to a server.")});
    EXPECT_TRUE(files->isEnabled());
}

TEST_F(ConnectedWindow, DeleteOnTheServerWithYesAllNoAndTheFolderQuestion)
{
    for (const char* name : {"x1.txt", "x2.txt", "x3.txt", "y1.txt", "y2.txt"})
        WriteFile(serverPath(QLatin1String(name)), "x");
    QDir(server.root()).mkdir(QStringLiteral("empty"));
    openConnected();
    rig.form->state().GotFocus = 2;
    rig.dialogs.queueConfirm(Choice::Yes);
    rig.dialogs.queueConfirm(Choice::All);
    SelectRows(rig, {"x1.txt", "x2.txt", "x3.txt"});
    rig.form->DeleteCommand();
    EXPECT_EQ(rig.dialogs.calls().size(), 2);
    EXPECT_EQ(RowTexts(rig), (QStringList{"a.jpg", "b.txt", "empty/", "images/", "y1.txt", "y2.txt"}));
    EXPECT_EQ(QDir(server.root()).entryList(QDir::Files), (QStringList{"a.jpg", "b.txt", "y1.txt", "y2.txt"}));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Delete Complete"));

    for (const int answer : {7, 6}) {  // a folder is asked about by its listed name
        rig.dialogs.clear();
        rig.dialogs.queueMessageAnswer(answer);
        SelectRows(rig, {QStringLiteral("empty/")});
        rig.form->DeleteCommand();
        EXPECT_EQ(rig.dialogs.messageTexts(), QStringList{QStringLiteral("Are you sure you want to delete empty/?")});
        EXPECT_EQ(QFileInfo::exists(serverPath(QStringLiteral("empty"))), answer == 7);
        EXPECT_EQ(RowTexts(rig).contains(QStringLiteral("empty/")), answer == 7);
    }

    // All lasted for one command: the next one asks again, and No stops it.
    rig.dialogs.clear();
    rig.dialogs.queueConfirm(Choice::Yes);
    rig.dialogs.queueConfirm(Choice::No);
    SelectRows(rig, {"y1.txt", "y2.txt"});
    rig.form->DeleteCommand();
    EXPECT_EQ(rig.dialogs.calls().size(), 2);
    EXPECT_EQ(QDir(server.root()).entryList(QDir::Files), (QStringList{"a.jpg", "b.txt", "y2.txt"}));
    auto* model = Model(rig);
    const int y1 = RowIndex(rig, QStringLiteral("y1.txt")).row();
    ASSERT_GE(y1, 0) << "the list is not re-read after No";
    EXPECT_TRUE(model->row(y1).dimmed);
    EXPECT_FALSE(model->row(RowIndex(rig, QStringLiteral("y2.txt")).row()).dimmed);
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Deleting y1.txt"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ConnectedWindow, DeleteLocalFilesWithAllAndNothingWithoutAnActivePane)
{
    for (const char* name : {"l1.txt", "l2.txt", "keep.txt"})
        WriteFile(localPath(QLatin1String(name)), "l");
    openConnected();
    SelectLocalFiles(rig, {"l1.txt", "l2.txt"});
    rig.form->state().GotFocus = 0;  // no pane had the focus yet
    rig.form->DeleteCommand();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
    EXPECT_EQ(QDir(rig.localFolder.path()).entryList(QDir::Files).size(), 3);
    rig.form->state().GotFocus = 1;
    rig.dialogs.queueConfirm(Choice::All);
    rig.form->DeleteCommand();
    EXPECT_EQ(rig.dialogs.calls().size(), 1);
    EXPECT_EQ(QDir(rig.localFolder.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.txt")});
    EXPECT_EQ(rig.find<QListWidget>("File1")->count(), 1);
    EXPECT_TRUE(QFileInfo::exists(serverPath(QStringLiteral("a.jpg")))) << "the server side is untouched";
}

TEST_F(ConnectedWindow, ServerRenameByMenuMovesTheCacheCopyAndRefusesWithoutAsking)
{
    WriteFile(cachePath(QStringLiteral("a.jpg")), "cached a");
    openConnected();
    rig.form->state().GotFocus = 2;
    const QString before = rig.panel(1);
    // Cancelled asks nothing of the server; escaping names are refused.
    for (const QString& answer : {QString(), QStringLiteral("../x.jpg"), QStringLiteral("a\r\nDELE b.txt"),
                                  QStringLiteral("..")}) {
        SCOPED_TRACE(answer.toStdString());
        rig.dialogs.clear();
        SelectRows(rig, {QStringLiteral("a.jpg")});
        rig.dialogs.queueInput(answer);
        rig.find<QAction>("mnuRename")->trigger();
        const QStringList messages = rig.dialogs.messageTexts();
        EXPECT_EQ(messages.size(), answer.isEmpty() ? 0 : 1);
        EXPECT_TRUE(messages.isEmpty() || messages.first().startsWith(QStringLiteral("Cannot rename to")))
            << messages.join('|').toStdString();
        EXPECT_EQ(rig.panel(1), before);
        EXPECT_EQ(QDir(server.root()).entryList(QDir::Files), (QStringList{"a.jpg", "b.txt"}));
        EXPECT_EQ(ReadFile(cachePath(QStringLiteral("a.jpg"))), QByteArray("cached a"));
    }
    EXPECT_FALSE(QFileInfo::exists(rig.appFolder.filePath(QStringLiteral("x.jpg"))));
    EXPECT_FALSE(QFileInfo::exists(serverPath(QStringLiteral("../x.jpg"))));

    rig.dialogs.clear();
    rig.dialogs.queueInput(QStringLiteral("b.jpg"));
    rig.find<QAction>("mnuRename")->trigger();
    EXPECT_EQ(rig.dialogs.calls().value(0).defaultText, QStringLiteral("a.jpg"));
    EXPECT_EQ(ReadFile(serverPath(QStringLiteral("b.jpg"))), QByteArray(1500, 'j'));
    EXPECT_EQ(RowTexts(rig), (QStringList{"b.jpg", "b.txt", "images/"}));
    EXPECT_EQ(QDir(cacheFolder()).entryList(QDir::Files), QStringList{"b.jpg"});
    EXPECT_EQ(ReadFile(cachePath(QStringLiteral("b.jpg"))), QByteArray("cached a"));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Renamed File."));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ConnectedWindow, InPlaceEditRenamesOnTheServerAndMovesTheCacheCopy)
{
    WriteFile(cachePath(QStringLiteral("a.jpg")), "cached a");
    openConnected();
    auto* view = ServerView(rig);
    for (const QString& typed : {QStringLiteral("A.JPG"), QStringLiteral("shop.jpg")}) {  // case only asks nothing
        SelectRows(rig, {QStringLiteral("a.jpg")});
        view->setFocus();
        view->edit(RowIndex(rig, QStringLiteral("a.jpg")));
        auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(RowIndex(rig, QStringLiteral("a.jpg"))));
        ASSERT_NE(editor, nullptr);
        editor->setText(typed);
        QTest::keyClick(editor, Qt::Key_Return);
        // The edit closes first; the rename follows once it has.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    }
    EXPECT_EQ(QDir(server.root()).entryList(QDir::Files), (QStringList{"b.txt", "shop.jpg"}));
    EXPECT_EQ(ReadFile(serverPath(QStringLiteral("shop.jpg"))), QByteArray(1500, 'j'));
    EXPECT_EQ(RowTexts(rig), (QStringList{"b.txt", "images/", "shop.jpg"}));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Renamed File."));
    EXPECT_EQ(QDir(cacheFolder()).entryList(QDir::Files), QStringList{"shop.jpg"});
}

TEST_F(ConnectedWindow, LocalRenameByMenuRefusesNamesOutsideTheFolder)
{
    WriteFile(localPath(QStringLiteral("here.txt")), "h");
    openConnected();
    rig.form->state().GotFocus = 1;
    const QString outside = rig.appFolder.filePath(QStringLiteral("abs.txt"));
    for (const QString& answer : {outside, QStringLiteral("../up.txt"), QString(), QStringLiteral("there.txt")}) {
        SCOPED_TRACE(answer.toStdString());
        rig.dialogs.clear();
        SelectLocalFiles(rig, {QStringLiteral("here.txt")});
        rig.dialogs.queueInput(answer);
        rig.find<QAction>("mnuRename")->trigger();
        const bool good = answer == QStringLiteral("there.txt");
        EXPECT_EQ(rig.dialogs.messageTexts().size(), good ? 0 : 1);
        EXPECT_EQ(QFileInfo::exists(localPath(QStringLiteral("here.txt"))), !good);
    }
    EXPECT_FALSE(QFileInfo::exists(outside));
    EXPECT_FALSE(QFileInfo::exists(localPath(QStringLiteral("../up.txt"))));
    EXPECT_EQ(ReadFile(localPath(QStringLiteral("there.txt"))), QByteArray("h"));
    EXPECT_EQ(rig.find<QListWidget>("File1")->findItems(QStringLiteral("there.txt"), Qt::MatchExactly).size(), 1);
}

TEST_F(ConnectedWindow, NewFolderOnEitherSideAndNeverOutside)
{
    openConnected();
    const QString absolute = rig.appFolder.filePath(QStringLiteral("elsewhere"));
    const struct {
        int pane;
        QString answer;
        bool refused;
    } cases[] = {{2, QString(), false},    {2, "New_Folder", false}, {2, "../outside", true},
                 {0, "New Folder", false}, {1, absolute, true},      {1, "../elsewhere", true},
                 {1, "New Folder", true}};  // already there
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer.toStdString());
        rig.dialogs.clear();
        rig.dialogs.queueInput(c.answer);
        rig.form->state().GotFocus = c.pane;
        rig.form->NewFolderCommand();
        EXPECT_EQ(rig.dialogs.messageTexts().size(), c.refused ? 1 : 0);
    }
    EXPECT_TRUE(QFileInfo(serverPath(QStringLiteral("New_Folder"))).isDir());
    EXPECT_TRUE(RowTexts(rig).contains(QStringLiteral("New_Folder/")));
    EXPECT_TRUE(QFileInfo(localPath(QStringLiteral("New Folder"))).isDir());
    EXPECT_EQ(rig.find<QListWidget>("Dir1")->findItems(QStringLiteral("New Folder"), Qt::MatchEndsWith).size(), 1);
    for (const QString& path : {serverPath("../outside"), absolute, localPath("../elsewhere")})
        EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
}

TEST(PictureCacheMenu, EmptyingAsksAndDeletesEverythingInTheCache)
{
    WindowRig rig;
    rig.open();
    const QDir cache(rig.appFolder.filePath(QStringLiteral("Cache")));
    QDir().mkpath(cache.filePath(QStringLiteral("sub")));
    for (const char* name : {"a.jpg", "b.GIF", "sub/deep.jpg", "../sites.snd"})
        WriteFile(cache.filePath(QLatin1String(name)), name);
    for (const int answer : {7, 6}) {
        rig.dialogs.clear();
        rig.dialogs.queueMessageAnswer(answer);
        rig.find<QAction>("mnuImageCache")->trigger();
        EXPECT_EQ(rig.dialogs.messageTexts(), QStringList{QStringLiteral("Are you sure you want to empty your cache?")});
        EXPECT_EQ(cache.entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), answer == 7 ? 3 : 0);
    }
    EXPECT_TRUE(cache.exists());
    EXPECT_TRUE(QFileInfo::exists(rig.appFolder.filePath(QStringLiteral("sites.snd"))));
}

// The answer is the button pressed; closing the window is no answer.
TEST(ConfirmWindow, EachButtonGivesItsAnswer)
{
    const std::pair<const char*, Choice> cases[] = {
        {"Command1", Choice::Yes}, {"Confirm", Choice::All}, {"Command3", Choice::No}, {nullptr, Choice::Closed}};
    for (const auto& [button, choice] : cases) {
        SCOPED_TRACE(button ? button : "closed");
        quillmar::Confirm window;
        window.show();
        auto* pressed = window.findChild<QPushButton*>(QLatin1String(button ? button : "Command1"));
        ASSERT_NE(pressed, nullptr);
        button ? QTest::mouseClick(pressed, Qt::LeftButton) : window.reject();
        EXPECT_EQ(window.choice(), choice);
        EXPECT_FALSE(window.isVisible());
    }
}
