// Download, upload, delete, rename and new folder through the real main
// window against the real FTP server.

#include "operations/confirm.h"
#include "pictures/local_pane.h"
#include "pictures/server_list_model.h"
#include "session/ftp_component.h"
#include "ops_rig.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

using quillmar::Dialogs;
using Choice = quillmar::Dialogs::ConfirmChoice;

namespace {

const QString kInfoTitle = QStringLiteral("Quillmar Information");

// The distinct texts the status line showed while the component worked.
struct StatusTrail {
    QStringList texts;
    void watch(WindowRig& rig)
    {
        auto note = [this, &rig] {
            const QString now = rig.panel(1);
            if (texts.isEmpty() || texts.last() != now)
                texts << now;
        };
        QObject::connect(&rig.form->ftp(), &quillmar::FtpComponent::Progress, rig.form.get(), note);
        QObject::connect(&rig.form->ftp(), &quillmar::FtpComponent::ListComplete, rig.form.get(), note);
    }
};

}  // namespace

TEST_F(ConnectedWindow, DownloadOfTwoFilesAndAFolderLeavesTheFolderSelected)
{
    WriteBytes(serverPath(QStringLiteral("b.txt")), QByteArray(300000, 'x'));  // long enough to show progress
    openConnected();
    StatusTrail trail;
    trail.watch(rig);
    SelectRows(rig, {QStringLiteral("a.jpg"), QStringLiteral("b.txt"), QStringLiteral("images/")});
    rig.find<QAction>("Get")->trigger();

    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(ReadBytes(localPath(QStringLiteral("a.jpg"))), QByteArray(1500, 'j'));
    EXPECT_EQ(ReadBytes(localPath(QStringLiteral("b.txt"))), QByteArray(300000, 'x'));
    EXPECT_FALSE(QFileInfo::exists(localPath(QStringLiteral("images"))));
    EXPECT_EQ(SelectedTexts(rig), QStringList{QStringLiteral("images/")});
    EXPECT_EQ(rig.form->state().lSize, 300000);
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Download(s) Complete"));
    EXPECT_TRUE(trail.texts.contains(QStringLiteral("Status: Downloading b.txt")))
        << trail.texts.join('|').toStdString();
    EXPECT_TRUE(rig.greenShown());
    EXPECT_EQ(rig.find<QProgressBar>("PB1")->value(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(rig.find<QListWidget>("File1")->findItems(QStringLiteral("b.txt"), Qt::MatchExactly).size(), 1);
}

TEST_F(ConnectedWindow, DownloadWithNothingSelectedStillEndsCompleteAndGreen)
{
    openConnected();
    rig.find<QAbstractItemView>("ListView1")->clearSelection();
    rig.form->Download();
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Download(s) Complete"));
    EXPECT_TRUE(rig.greenShown());
    EXPECT_EQ(QDir(rig.localFolder.path()).entryList(QDir::Files), QStringList());
}

TEST_F(ConnectedWindow, AFailedDownloadStopsKeepsTheLocalFileAndTheRemainingRows)
{
    openConnected();
    WriteBytes(localPath(QStringLiteral("a.jpg")), "mine");
    QFile::remove(serverPath(QStringLiteral("a.jpg")));  // gone since the list was read
    SelectRows(rig, {QStringLiteral("a.jpg"), QStringLiteral("b.txt")});
    rig.form->Download();

    ASSERT_EQ(rig.dialogs.calls().size(), 1);
    EXPECT_EQ(rig.dialogs.calls().first().title, kInfoTitle);
    EXPECT_EQ(ReadBytes(localPath(QStringLiteral("a.jpg"))), QByteArray("mine"));
    EXPECT_FALSE(QFileInfo::exists(localPath(QStringLiteral("b.txt"))));
    EXPECT_EQ(SelectedTexts(rig), (QStringList{"a.jpg", "b.txt"}));
    EXPECT_TRUE(rig.redShown()) << "lights stay as they were at the failure";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ConnectedWindow, DownloadRefusesServerNamesThatLeaveTheLocalFolder)
{
    openConnected();
    auto* model = rig.form->findChild<quillmar::ServerListModel*>();
    model->appendRows({quillmar::ServerRow{QStringLiteral(".."), QStringLiteral("1 bytes"), false},
                       quillmar::ServerRow{QStringLiteral("..\\up.jpg"), QStringLiteral("1 bytes"), false}});
    for (const QString& name : {QStringLiteral(".."), QStringLiteral("..\\up.jpg")}) {
        SCOPED_TRACE(name.toStdString());
        rig.dialogs.clear();
        SelectRows(rig, {name});
        rig.form->Download();
        ASSERT_EQ(rig.dialogs.calls().size(), 1);
        EXPECT_TRUE(rig.dialogs.calls().first().text.startsWith(name + QStringLiteral(" cannot be downloaded")))
            << rig.dialogs.calls().first().text.toStdString();
    }
    QDir parent(rig.localFolder.path());
    parent.cdUp();
    EXPECT_FALSE(QFileInfo::exists(parent.filePath(QStringLiteral("up.jpg"))));
}

TEST_F(ConnectedWindow, UploadCopiesOnlyPicturesIntoTheCache)
{
    struct Case {
        QString name;
        bool cached;
    };
    const Case cases[] = {{QStringLiteral("a.GIF"), true},
                          {QStringLiteral("notes.txt"), false},
                          {QStringLiteral("photo.jpeg"), false},
                          {QStringLiteral("xjpg"), true}};
    for (const Case& c : cases)
        WriteBytes(localPath(c.name), c.name.toUtf8().repeated(50));
    openConnected();
    rig.form->findChild<quillmar::LocalPane*>()->refreshFiles();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        SelectLocalFiles(rig, {c.name});
        rig.form->Upload();
        EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
        EXPECT_EQ(ReadBytes(serverPath(c.name)), c.name.toUtf8().repeated(50));
        EXPECT_TRUE(RowTexts(rig).contains(c.name));
        EXPECT_EQ(rig.form->state().lSize, c.name.toUtf8().size() * 50);
        EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Upload Complete"));
        EXPECT_EQ(QFileInfo::exists(cachePath(c.name)), c.cached);
        if (c.cached)
            EXPECT_EQ(ReadBytes(cachePath(c.name)), c.name.toUtf8().repeated(50));
    }
    EXPECT_EQ(QDir(rig.appFolder.filePath("Cache")).entryList(QDir::Files), (QStringList{"a.GIF", "xjpg"}));
}

TEST_F(ConnectedWindow, UploadUsesACacheFolderOfAnyLetterCaseAndReplacesTheCopy)
{
    const QString folder = rig.appFolder.filePath(QStringLiteral("cACHE"));
    QDir().mkpath(folder);
    WriteBytes(folder + QStringLiteral("/HOUSE.jpg"), "older copy");
    WriteBytes(localPath(QStringLiteral("HOUSE.Jpg")), "new picture");
    openConnected();
    rig.form->findChild<quillmar::LocalPane*>()->refreshFiles();
    SelectLocalFiles(rig, {QStringLiteral("HOUSE.Jpg")});
    rig.form->Upload();
    EXPECT_FALSE(QFileInfo::exists(rig.appFolder.filePath(QStringLiteral("Cache"))));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("HOUSE.Jpg")});
    EXPECT_EQ(ReadBytes(folder + QStringLiteral("/HOUSE.Jpg")), QByteArray("new picture"));
}

TEST_F(ConnectedWindow, DoubleClickUploadDisablesTheLocalListWhileItRuns)
{
    WriteBytes(localPath(QStringLiteral("big.txt")), QByteArray(2 * 1024 * 1024, 'b'));
    openConnected();
    rig.form->findChild<quillmar::LocalPane*>()->refreshFiles();
    auto* files = rig.find<QListWidget>("File1");
    bool enabledDuring = true;
    bool sawProgress = false;
    QObject::connect(&rig.form->ftp(), &quillmar::FtpComponent::Progress, rig.form.get(), [&] {
        sawProgress = true;
        enabledDuring = enabledDuring && files->isEnabled();
    });
    QListWidgetItem* item = files->findItems(QStringLiteral("big.txt"), Qt::MatchExactly).value(0);
    ASSERT_NE(item, nullptr);
    files->setCurrentItem(item);
    // A first click, as a person's double click starts with one.
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(item).center());
    QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(item).center());
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_TRUE(sawProgress);
    EXPECT_FALSE(enabledDuring);
    EXPECT_TRUE(files->isEnabled());
    EXPECT_EQ(QFileInfo(serverPath(QStringLiteral("big.txt"))).size(), 2 * 1024 * 1024);

    // Also after an upload that fails.
    rig.form->Disconnect();
    rig.dialogs.clear();
    QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(item).center());
    EXPECT_EQ(rig.dialogs.messageTexts(), QStringList{QStringLiteral("You must first connect to a server.")});
    EXPECT_TRUE(files->isEnabled());
}

TEST_F(ConnectedWindow, DeleteServerFilesWithYesThenAllAndYesThenNo)
{
    for (const char* name : {"x1.txt", "x2.txt", "x3.txt"})
        WriteBytes(serverPath(QLatin1String(name)), "x");
    openConnected();
    rig.form->state().GotFocus = 2;

    rig.dialogs.queueConfirm(Choice::Yes);
    rig.dialogs.queueConfirm(Choice::All);
    SelectRows(rig, {"x1.txt", "x2.txt", "x3.txt"});
    rig.form->DeleteCommand();
    int confirms = 0;
    for (const auto& call : rig.dialogs.calls())
        confirms += call.kind == ScriptedDialogs::Kind::Confirm;
    EXPECT_EQ(confirms, 2);
    for (const char* name : {"x1.txt", "x2.txt", "x3.txt"})
        EXPECT_FALSE(QFileInfo::exists(serverPath(QLatin1String(name)))) << name;
    EXPECT_EQ(RowTexts(rig), (QStringList{"a.jpg", "b.txt", "images/"}));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Delete Complete"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // All lasted for one command: the next one asks again, and No stops it.
    for (const char* name : {"y1.txt", "y2.txt"})
        WriteBytes(serverPath(QLatin1String(name)), "y");
    rig.form->Refresh();
    rig.dialogs.clear();
    rig.dialogs.queueConfirm(Choice::Yes);
    rig.dialogs.queueConfirm(Choice::No);
    SelectRows(rig, {"y1.txt", "y2.txt"});
    rig.form->DeleteCommand();
    EXPECT_EQ(rig.dialogs.calls().size(), 2);
    EXPECT_FALSE(QFileInfo::exists(serverPath(QStringLiteral("y1.txt"))));
    EXPECT_TRUE(QFileInfo::exists(serverPath(QStringLiteral("y2.txt"))));
    auto* model = rig.form->findChild<quillmar::ServerListModel*>();
    const int y1 = RowIndex(rig, QStringLiteral("y1.txt")).row();
    ASSERT_GE(y1, 0) << "the list is not re-read after No";
    EXPECT_TRUE(model->row(y1).dimmed);
    EXPECT_FALSE(model->row(RowIndex(rig, QStringLiteral("y2.txt")).row()).dimmed);
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Deleting y1.txt"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ConnectedWindow, DeleteServerFolderAsksWithItsListedName)
{
    QDir(server.root()).mkdir(QStringLiteral("empty"));
    openConnected();
    rig.form->state().GotFocus = 2;
    for (const int answer : {7, 6}) {
        SCOPED_TRACE(answer);
        rig.dialogs.clear();
        rig.dialogs.queueMessageAnswer(answer);
        SelectRows(rig, {QStringLiteral("empty/")});
        rig.form->DeleteCommand();
        ASSERT_EQ(rig.dialogs.calls().size(), 1);
        const auto& call = rig.dialogs.calls().first();
        EXPECT_EQ(call.text, QStringLiteral("Are you sure you want to delete empty/?"));
        EXPECT_EQ(call.title, QStringLiteral("Confirmation"));
        EXPECT_EQ(call.buttons, Dialogs::Buttons::YesNo);
        EXPECT_EQ(call.icon, Dialogs::Icon::None);
        EXPECT_EQ(QFileInfo::exists(serverPath(QStringLiteral("empty"))), answer == 7);
        EXPECT_EQ(RowTexts(rig).contains(QStringLiteral("empty/")), answer == 7);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Delete Complete"));
}

TEST_F(ConnectedWindow, DeleteLocalFilesWithAllAndNothingWithoutAnActivePane)
{
    for (const char* name : {"l1.txt", "l2.txt", "keep.txt"})
        WriteBytes(localPath(QLatin1String(name)), "l");
    openConnected();
    rig.form->findChild<quillmar::LocalPane*>()->refreshFiles();
    SelectLocalFiles(rig, {"l1.txt", "l2.txt"});

    rig.form->state().GotFocus = 0;
    rig.form->DeleteCommand();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(localPath(QStringLiteral("l1.txt"))));

    rig.form->state().GotFocus = 1;
    rig.dialogs.queueConfirm(Choice::All);
    rig.form->DeleteCommand();
    EXPECT_EQ(rig.dialogs.calls().size(), 1);
    EXPECT_EQ(QDir(rig.localFolder.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.txt")});
    auto* files = rig.find<QListWidget>("File1");
    EXPECT_EQ(files->count(), 1);
    EXPECT_TRUE(QFileInfo::exists(serverPath(QStringLiteral("a.jpg")))) << "the server side is untouched";
}

TEST_F(ConnectedWindow, MenuRenameOnTheServerMovesTheCacheCopy)
{
    QDir().mkpath(rig.appFolder.filePath(QStringLiteral("Cache")));
    WriteBytes(cachePath(QStringLiteral("a.jpg")), "cached a");
    openConnected();
    rig.form->state().GotFocus = 2;
    SelectRows(rig, {QStringLiteral("a.jpg")});
    rig.dialogs.queueInput(QStringLiteral("b.jpg"));
    rig.find<QAction>("mnuRename")->trigger();

    ASSERT_EQ(rig.dialogs.calls().size(), 1);
    const auto& call = rig.dialogs.calls().first();
    EXPECT_EQ(call.kind, ScriptedDialogs::Kind::Input);
    EXPECT_EQ(call.text, QStringLiteral("Enter New File Name."));
    EXPECT_EQ(call.title, QStringLiteral("Quillmar"));
    EXPECT_EQ(call.defaultText, QStringLiteral("a.jpg"));
    EXPECT_EQ(ReadBytes(serverPath(QStringLiteral("b.jpg"))), QByteArray(1500, 'j'));
    EXPECT_FALSE(QFileInfo::exists(serverPath(QStringLiteral("a.jpg"))));
    EXPECT_EQ(RowTexts(rig), (QStringList{"b.jpg", "b.txt", "images/"}));
    EXPECT_EQ(ReadBytes(cachePath(QStringLiteral("b.jpg"))), QByteArray("cached a"));
    EXPECT_FALSE(QFileInfo::exists(cachePath(QStringLiteral("a.jpg"))));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Renamed File."));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ConnectedWindow, ServerRenameCancelledOrEscapingAsksNothingOfTheServer)
{
    QDir().mkpath(rig.appFolder.filePath(QStringLiteral("Cache")));
    WriteBytes(cachePath(QStringLiteral("a.jpg")), "cached a");
    openConnected();
    rig.form->state().GotFocus = 2;
    const QString before = rig.panel(1);
    const QString answers[] = {QString(), QStringLiteral("../x.jpg"), QStringLiteral("a\r\nDELE b.txt"),
                               QStringLiteral("..")};
    for (const QString& answer : answers) {
        SCOPED_TRACE(answer.toStdString());
        rig.dialogs.clear();
        SelectRows(rig, {QStringLiteral("a.jpg")});
        rig.dialogs.queueInput(answer);
        rig.form->RenameCommand();
        const QStringList messages = rig.dialogs.messageTexts();
        if (answer.isEmpty()) {
            EXPECT_TRUE(messages.isEmpty());
            EXPECT_EQ(rig.panel(1), before);
        } else {
            ASSERT_EQ(messages.size(), 1);
            EXPECT_TRUE(messages.first().startsWith(QStringLiteral("Cannot rename to"))) << messages.first().toStdString();
        }
        EXPECT_TRUE(QFileInfo::exists(serverPath(QStringLiteral("a.jpg"))));
        EXPECT_TRUE(QFileInfo::exists(serverPath(QStringLiteral("b.txt"))));
        EXPECT_EQ(ReadBytes(cachePath(QStringLiteral("a.jpg"))), QByteArray("cached a"));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_FALSE(QFileInfo::exists(rig.appFolder.filePath(QStringLiteral("x.jpg"))));
    EXPECT_FALSE(QFileInfo::exists(QDir(server.root()).filePath(QStringLiteral("../x.jpg"))));
}

TEST_F(ConnectedWindow, InPlaceEditRenamesOnTheServerAndLeavesTheCache)
{
    QDir().mkpath(rig.appFolder.filePath(QStringLiteral("Cache")));
    WriteBytes(cachePath(QStringLiteral("a.jpg")), "cached a");
    openConnected();
    auto* view = rig.find<QAbstractItemView>("ListView1");

    auto editRow = [&](const QString& row, const QString& typed) {
        SelectRows(rig, {row});
        view->setFocus();
        view->edit(RowIndex(rig, row));
        auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(RowIndex(rig, row)));
        ASSERT_NE(editor, nullptr);
        editor->setText(typed);
        QTest::keyClick(editor, Qt::Key_Return);
        // The edit closes first; the rename follows once it has.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };

    // A change of letter case only asks nothing.
    editRow(QStringLiteral("a.jpg"), QStringLiteral("A.JPG"));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(serverPath(QStringLiteral("a.jpg"))));
    EXPECT_EQ(RowTexts(rig), (QStringList{"a.jpg", "b.txt", "images/"}));

    editRow(QStringLiteral("a.jpg"), QStringLiteral("shop.jpg"));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(ReadBytes(serverPath(QStringLiteral("shop.jpg"))), QByteArray(1500, 'j'));
    EXPECT_EQ(RowTexts(rig), (QStringList{"b.txt", "images/", "shop.jpg"}));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Renamed File."));
    EXPECT_TRUE(QFileInfo::exists(cachePath(QStringLiteral("a.jpg"))));
    EXPECT_FALSE(QFileInfo::exists(cachePath(QStringLiteral("shop.jpg"))));

    // Once the connection is gone the edit is refused with its own message.
    rig.form->Disconnect();
    rig.form->findChild<quillmar::ServerListModel*>()->appendRows({quillmar::ServerRow{"old.txt", "1 bytes", false}});
    rig.dialogs.clear();
    editRow(QStringLiteral("old.txt"), QStringLiteral("new.txt"));
    EXPECT_EQ(rig.dialogs.messageTexts(), QStringList{QStringLiteral("You are no longer connected to server.")});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ConnectedWindow, LocalRenameRefusesNamesOutsideTheFolder)
{
    WriteBytes(localPath(QStringLiteral("here.txt")), "h");
    openConnected();
    rig.form->findChild<quillmar::LocalPane*>()->refreshFiles();
    rig.form->state().GotFocus = 1;
    const QString outside = rig.appFolder.filePath(QStringLiteral("abs.txt"));
    for (const QString& answer : {outside, QStringLiteral("../up.txt"), QString()}) {
        SCOPED_TRACE(answer.toStdString());
        rig.dialogs.clear();
        SelectLocalFiles(rig, {QStringLiteral("here.txt")});
        rig.dialogs.queueInput(answer);
        rig.form->RenameCommand();
        ASSERT_EQ(rig.dialogs.messageTexts().size(), 1);
        EXPECT_EQ(rig.dialogs.calls().last().title, kInfoTitle);
        EXPECT_TRUE(QFileInfo::exists(localPath(QStringLiteral("here.txt"))));
    }
    EXPECT_FALSE(QFileInfo::exists(outside));
    QDir parent(rig.localFolder.path());
    parent.cdUp();
    EXPECT_FALSE(QFileInfo::exists(parent.filePath(QStringLiteral("up.txt"))));

    rig.dialogs.clear();
    rig.dialogs.queueInput(QStringLiteral("there.txt"));
    SelectLocalFiles(rig, {QStringLiteral("here.txt")});
    rig.form->RenameCommand();
    EXPECT_TRUE(rig.dialogs.messageTexts().isEmpty());
    EXPECT_EQ(ReadBytes(localPath(QStringLiteral("there.txt"))), QByteArray("h"));
    EXPECT_EQ(rig.find<QListWidget>("File1")->findItems(QStringLiteral("there.txt"), Qt::MatchExactly).size(), 1);
}

TEST_F(ConnectedWindow, NewFolderOnEitherSide)
{
    openConnected();
    const QString before = rig.panel(1);

    // Server, cancelled: nothing is sent.
    rig.form->state().GotFocus = 2;
    rig.form->NewFolderCommand();
    EXPECT_EQ(rig.panel(1), before);
    ASSERT_EQ(rig.dialogs.calls().size(), 1);
    EXPECT_EQ(rig.dialogs.calls().first().text, QStringLiteral("Enter new folder name"));
    EXPECT_EQ(rig.dialogs.calls().first().defaultText, QStringLiteral("New_Folder"));

    rig.dialogs.queueInput(QStringLiteral("New_Folder"));
    rig.form->NewFolderCommand();
    EXPECT_TRUE(QFileInfo(serverPath(QStringLiteral("New_Folder"))).isDir());
    EXPECT_TRUE(RowTexts(rig).contains(QStringLiteral("New_Folder/")));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Folder creation complete"));

    rig.dialogs.clear();
    rig.dialogs.queueInput(QStringLiteral("../outside"));
    rig.form->NewFolderCommand();
    EXPECT_EQ(rig.dialogs.messageTexts().size(), 1);
    EXPECT_FALSE(QFileInfo::exists(QDir(server.root()).filePath(QStringLiteral("../outside"))));

    // Local side, also before any pane had the focus.
    rig.form->state().GotFocus = 0;
    rig.dialogs.clear();
    rig.dialogs.queueInput(QStringLiteral("New Folder"));
    rig.form->NewFolderCommand();
    ASSERT_EQ(rig.dialogs.calls().size(), 1);
    EXPECT_EQ(rig.dialogs.calls().first().text, QStringLiteral("Enter New Folder Name."));
    EXPECT_EQ(rig.dialogs.calls().first().defaultText, QStringLiteral("New Folder"));
    EXPECT_TRUE(QFileInfo(localPath(QStringLiteral("New Folder"))).isDir());
    auto* folders = rig.find<QListWidget>("Dir1");
    EXPECT_EQ(folders->findItems(QStringLiteral("New Folder"), Qt::MatchEndsWith).size(), 1);

    const QString absolute = rig.appFolder.filePath(QStringLiteral("elsewhere"));
    for (const QString& answer : {absolute, QStringLiteral("New Folder")}) {
        SCOPED_TRACE(answer.toStdString());
        rig.dialogs.clear();
        rig.dialogs.queueInput(answer);
        rig.form->state().GotFocus = 1;
        rig.form->NewFolderCommand();
        EXPECT_EQ(rig.dialogs.messageTexts().size(), 1) << "refused or already there";
    }
    EXPECT_FALSE(QFileInfo::exists(absolute));
}

TEST(PictureCacheMenu, EmptyingAsksAndDeletesOnlyTheFilesDirectlyInTheCache)
{
    WindowRig rig;
    rig.open();
    const QDir cache(rig.appFolder.filePath(QStringLiteral("Cache")));
    QDir().mkpath(cache.filePath(QStringLiteral("sub")));
    WriteBytes(cache.filePath(QStringLiteral("a.jpg")), "a");
    WriteBytes(cache.filePath(QStringLiteral("b.GIF")), "b");
    WriteBytes(cache.filePath(QStringLiteral("sub/deep.jpg")), "d");
    WriteBytes(rig.appFolder.filePath(QStringLiteral("sites.snd")), "s");

    rig.dialogs.queueMessageAnswer(7);
    rig.find<QAction>("mnuImageCache")->trigger();
    ASSERT_EQ(rig.dialogs.calls().size(), 1);
    const auto& call = rig.dialogs.calls().first();
    EXPECT_EQ(call.text, QStringLiteral("Are you sure you want to empty your cache?"));
    EXPECT_EQ(call.title, QStringLiteral("Confirmation"));
    EXPECT_EQ(call.buttons, Dialogs::Buttons::YesNo);
    EXPECT_EQ(cache.entryList(QDir::Files).size(), 2);

    const QString status = rig.panel(1);
    rig.dialogs.queueMessageAnswer(6);
    rig.find<QAction>("mnuImageCache")->trigger();
    EXPECT_EQ(cache.entryList(QDir::Files), QStringList());
    EXPECT_TRUE(QFileInfo::exists(cache.filePath(QStringLiteral("sub/deep.jpg"))));
    EXPECT_TRUE(QFileInfo::exists(rig.appFolder.filePath(QStringLiteral("sites.snd"))));
    EXPECT_EQ(rig.panel(1), status);
}

TEST(ConfirmWindow, CaptionLabelButtonsInTabOrderAndTheirAnswers)
{
    struct Case {
        const char* button;
        Choice choice;
    };
    const Case cases[] = {{"Command1", Choice::Yes}, {"Confirm", Choice::All}, {"Command3", Choice::No}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        quillmar::Confirm window;
        window.show();
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Confirmation"));
        EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("Label1"))->text(),
                  QStringLiteral("Are you sure you want to delete this file(s)?"));
        auto* yes = window.findChild<QPushButton*>(QStringLiteral("Command1"));
        auto* all = window.findChild<QPushButton*>(QStringLiteral("Confirm"));
        auto* no = window.findChild<QPushButton*>(QStringLiteral("Command3"));
        ASSERT_TRUE(yes && all && no);
        EXPECT_EQ((QStringList{yes->text(), all->text(), no->text()}), (QStringList{"&Yes", "&All", "&No"}));
        EXPECT_EQ(yes->nextInFocusChain(), all);
        EXPECT_EQ(all->nextInFocusChain(), no);
        EXPECT_LT(yes->x(), all->x());
        EXPECT_LT(all->x(), no->x());
        EXPECT_EQ(window.choice(), Choice::Closed);
        QTest::mouseClick(window.findChild<QPushButton*>(QLatin1String(c.button)), Qt::LeftButton);
        EXPECT_EQ(window.choice(), c.choice);
        EXPECT_FALSE(window.isVisible());
    }
    quillmar::Confirm closed;
    closed.show();
    closed.reject();
    EXPECT_EQ(closed.choice(), Choice::Closed);
}
