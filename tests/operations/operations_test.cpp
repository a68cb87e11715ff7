// Download, upload, delete, rename and new folder through the real main
// window against the real FTP server.

#include "shell/confirm.h"
#include "pictures/local_pane.h"
#include "session/ftp_component.h"
#include "session/server_place.h"
#include "support/window_helpers.h"

#include <QLocale>
#include <QSignalSpy>
#include <QToolBar>

#include <tuple>

using Choice = quillmar::Dialogs::ConfirmChoice;

namespace {

// A setting as the next run reads it from the file.
QVariant SavedSetting(const WindowRig& rig, const QString& key)
{
    return QSettings(rig.settingsFile(), QSettings::IniFormat).value(key);
}

// The one message shown: its start and its end.
void ExpectOneMessage(const WindowRig& rig, const QString& start, const QString& end = QString())
{
    const QStringList messages = rig.dialogs.messageTexts();
    ASSERT_EQ(messages.size(), 1) << messages.join('|').toStdString();
    EXPECT_TRUE(messages[0].startsWith(start) && messages[0].endsWith(end)) << messages[0].toStdString();
}

}  // namespace

TEST_F(ConnectedWindow, DownloadOfTwoFilesAndAFolderLeavesTheFolderSelected)
{
    WriteFile(serverPath("b.txt"), QByteArray(300000, 'x'));
    openConnected();
    SelectRows(rig, {"a.jpg", "b.txt", "images/"});
    rig.find<QAction>("Get")->trigger();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(ReadFile(localPath("a.jpg")), QByteArray(1500, 'j'));
    EXPECT_EQ(ReadFile(localPath("b.txt")), QByteArray(300000, 'x'));
    EXPECT_FALSE(QFileInfo::exists(localPath("images")));
    EXPECT_EQ(SelectedTexts(rig), QStringList{"images/"});
    EXPECT_EQ(rig.panel(1), "Status: Download(s) Complete");
    EXPECT_EQ(rig.light(), "green");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(rig.find<QListWidget>("File1")->findItems("b.txt", Qt::MatchExactly).size(), 1);

    // A failed download stops, keeps the local file and the remaining rows.
    rig.dialogs.clear();
    WriteFile(localPath("a.jpg"), "mine");
    QFile::remove(localPath("b.txt"));
    QFile::remove(serverPath("a.jpg"));  // gone since the list was read
    SelectRows(rig, {"a.jpg", "b.txt"});
    rig.form->Download();  // Yes to replacing a.jpg
    ASSERT_EQ(rig.dialogs.confirmTexts().size(), 1);
    ASSERT_EQ(rig.dialogs.calls().size(), 2);
    EXPECT_EQ(ReadFile(localPath("a.jpg")), QByteArray("mine"));
    EXPECT_FALSE(QFileInfo::exists(localPath("b.txt")));
    EXPECT_EQ(SelectedTexts(rig), (QStringList{"a.jpg", "b.txt"}));
    EXPECT_EQ(rig.light(), "green") << "the command is over and the connection stays";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ConnectedWindow, DeleteOnTheServerWithYesAllNoAndTheFolderQuestion)
{
    for (const char* name : {"x1.txt", "x2.txt", "x3.txt", "y1.txt", "y2.txt"})
        WriteFile(serverPath(QLatin1String(name)), "x");
    QDir(server.root()).mkdir("empty");
    openConnected();
    rig.form->state().GotFocus = quillmar::FocusSide::Server;
    rig.dialogs.queueConfirm(Choice::Yes);
    rig.dialogs.queueConfirm(Choice::All);
    SelectRows(rig, {"x1.txt", "x2.txt", "x3.txt"});
    rig.form->DeleteCommand();
    const QStringList asked = rig.dialogs.confirmTexts();
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[0].startsWith("Are you sure you want to delete 3 files from the server?\nNow: x1.txt (1 of 3)"))
        << asked[0].toStdString();
    EXPECT_TRUE(asked[1].contains("Now: x2.txt (2 of 3)")) << asked[1].toStdString();
    EXPECT_EQ(RowTexts(rig), (QStringList{"a.jpg", "b.txt", "empty/", "images/", "y1.txt", "y2.txt"}));
    EXPECT_EQ(QDir(server.root()).entryList(QDir::Files), (QStringList{"a.jpg", "b.txt", "y1.txt", "y2.txt"}));
    EXPECT_EQ(rig.panel(1), "Status: Delete Complete");

    // A folder is asked about by its listed name, in the Confirm window
    // like a file, without All.
    for (const Choice answer : {Choice::No, Choice::Yes}) {
        rig.dialogs.clear();
        rig.dialogs.queueConfirm(answer);
        SelectRows(rig, {"empty/"});
        rig.form->DeleteCommand();
        ASSERT_EQ(rig.dialogs.calls().size(), 1);
        EXPECT_EQ(rig.dialogs.confirmTexts(), QStringList{"Are you sure you want to delete empty/ from the server?"});
        EXPECT_FALSE(rig.dialogs.calls().first().offersAll);
        EXPECT_EQ(QFileInfo::exists(serverPath("empty")), answer == Choice::No);
        EXPECT_EQ(RowTexts(rig).contains("empty/"), answer == Choice::No);
    }

    // All lasted for one command: the next one asks again, and No stops it.
    rig.dialogs.clear();
    rig.dialogs.queueConfirm(Choice::Yes);
    rig.dialogs.queueConfirm(Choice::No);
    SelectRows(rig, {"y1.txt", "y2.txt"});
    rig.form->DeleteCommand();
    EXPECT_EQ(rig.dialogs.calls().size(), 2);
    EXPECT_EQ(QDir(server.root()).entryList(QDir::Files), (QStringList{"a.jpg", "b.txt", "y2.txt"}));
    const int y1 = RowIndex(rig, "y1.txt").row();
    ASSERT_GE(y1, 0) << "the list is not re-read after No";
    EXPECT_TRUE(Model(rig)->row(y1).dimmed);
    EXPECT_FALSE(Model(rig)->row(RowIndex(rig, "y2.txt").row()).dimmed);
    EXPECT_EQ(rig.panel(1), "Status: Deleting y1.txt");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // All, then a file the server no longer has: the list is not re-read
    // after the failure, so what was deleted before it is dimmed.
    for (const char* name : {"z1.txt", "z2.txt", "z3.txt"})
        WriteFile(serverPath(QLatin1String(name)), "z");
    rig.form->Refresh();
    rig.dialogs.clear();
    rig.dialogs.queueConfirm(Choice::All);
    SelectRows(rig, {"z1.txt", "z2.txt", "z3.txt"});
    QFile::remove(serverPath("z2.txt"));
    rig.form->DeleteCommand();
    EXPECT_EQ(rig.dialogs.messageTexts().size(), 1) << "the failure is told";
    EXPECT_TRUE(Model(rig)->row(RowIndex(rig, "z1.txt").row()).dimmed);
    EXPECT_FALSE(Model(rig)->row(RowIndex(rig, "z3.txt").row()).dimmed);
    EXPECT_TRUE(QFile::remove(serverPath("z3.txt"))) << "nothing after the failure was deleted";

    // A folder that is not empty is emptied only after Yes, and only of empty folders.
    QDir(server.root()).mkpath("full/e");
    QDir(server.root()).mkpath("deep/d");
    for (const char* name : {"full/x.jpg", "full/y.txt", "deep/d/z.txt"})
        WriteFile(serverPath(QLatin1String(name)), name);
    rig.form->Refresh();
    for (const int answer : {7, 6}) {
        SCOPED_TRACE(answer);
        rig.dialogs.clear();
        rig.dialogs.queueMessageAnswer(answer);
        SelectRows(rig, {"full/"});
        rig.form->DeleteCommand();
        EXPECT_EQ(rig.dialogs.confirmTexts(), QStringList{"Are you sure you want to delete full/ from the server?"});
        EXPECT_EQ(rig.dialogs.messageTexts(),
                  QStringList{"The folder full/ is not empty: it holds 3 entries (2 files and 1 empty folder).\n"
                              "(550 Directory not empty.)\n\nDelete them from the server first, then the folder?"});
        EXPECT_EQ(rig.dialogs.calls().back().defaultAnswer, quillmar::Dialogs::Answer::No) << "the server's reason may be another";
        EXPECT_EQ(QFileInfo::exists(serverPath("full/x.jpg")), answer == 7);
        EXPECT_EQ(QFileInfo::exists(serverPath("full")), answer == 7);
        EXPECT_EQ(RowTexts(rig).contains("full/"), answer == 7);
    }
    rig.dialogs.clear();
    SelectRows(rig, {"deep/"});
    rig.form->DeleteCommand();
    ExpectOneMessage(rig, "The folder deep/ cannot be deleted: the folder d/ inside it is not empty. "
                          "Nothing was deleted.");
    EXPECT_TRUE(QFileInfo::exists(serverPath("deep/d/z.txt")));
    rig.form->Refresh();  // the server folder is still the one shown
    EXPECT_EQ(RowTexts(rig), (QStringList{"a.jpg", "b.txt", "deep/", "images/", "y2.txt"}));
}

// Only the two lists choose the side: not the preview, the toolbar or the
// folder list. Local files go to the trash.
TEST_F(ConnectedWindow, DeleteNamesItsTargetAndSideAndTrashesLocalFiles)
{
    TemporaryTrash trash;
    WritePicture(localPath("a.jpg"), 40, 30);
    const QByteArray picture = ReadFile(localPath("a.jpg"));
    for (const char* name : {"l1.txt", "l2.txt", "keep.txt"})
        WriteFile(localPath(name), "l");
    openConnected();
    rig.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.form.get()));
    auto* preview = rig.find<QWidget>("picback");
    auto* folders = rig.find<QListWidget>("Dir1");
    auto pressDelete = [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete); };

    ClickServerRow(rig, "b.txt");
    QTest::mouseClick(preview, Qt::LeftButton);
    QTest::mouseClick(folders->viewport(), Qt::LeftButton, {}, folders->visualItemRect(folders->item(0)).center());
    rig.dialogs.queueConfirm(Choice::No);
    pressDelete();
    ClickLocalFile(rig, "a.jpg");
    QTest::mouseClick(preview, Qt::LeftButton);
    rig.dialogs.queueConfirm(Choice::No);
    QTest::mouseClick(rig.find<QToolBar>("Toolbar1")->widgetForAction(rig.find<QAction>("Delete")), Qt::LeftButton);
    EXPECT_EQ(rig.dialogs.confirmTexts(),
              (QStringList{"Are you sure you want to delete b.txt from the server?\nThis cannot be undone.",
                           "Are you sure you want to delete a.jpg from this computer?\nFiles are moved to the trash, "
                           "where they can be restored."}));
    EXPECT_TRUE(QFileInfo::exists(serverPath("b.txt")));
    EXPECT_EQ(ReadFile(localPath("a.jpg")), picture);

    rig.dialogs.clear();
    ClickLocalFile(rig, "a.jpg");
    pressDelete();
    EXPECT_EQ(rig.dialogs.confirmTexts().size(), 1);
    EXPECT_FALSE(QFileInfo::exists(localPath("a.jpg")));
    EXPECT_EQ(ReadFile(trash.trashed("a.jpg")), picture);
    EXPECT_TRUE(rig.find<QListWidget>("File1")->findItems("a.jpg", Qt::MatchExactly).isEmpty());

    // Nothing without an active pane, and All for several.
    rig.dialogs.clear();
    SelectLocalFiles(rig, {"l1.txt", "l2.txt"});
    rig.form->state().GotFocus = quillmar::FocusSide::None;  // no pane had the focus yet
    rig.form->DeleteCommand();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
    EXPECT_EQ(QDir(rig.localFolder.path()).entryList(QDir::Files).size(), 3);
    rig.form->state().GotFocus = quillmar::FocusSide::Local;
    rig.dialogs.queueConfirm(Choice::All);
    rig.form->DeleteCommand();
    ASSERT_EQ(rig.dialogs.calls().size(), 1);
    EXPECT_TRUE(rig.dialogs.calls().first().offersAll) << "two files: All is offered";
    EXPECT_EQ(QDir(rig.localFolder.path()).entryList(QDir::Files), QStringList{"keep.txt"});
    EXPECT_EQ(ReadFile(trash.trashed("l2.txt")), QByteArray("l"));
    EXPECT_EQ(rig.find<QListWidget>("File1")->count(), 1);
    EXPECT_TRUE(QFileInfo::exists(serverPath("a.jpg"))) << "the server side is untouched";

    // Where no trash can be made, deleting for good is asked first.
    qputenv("XDG_DATA_HOME", localPath("keep.txt").toUtf8());
    for (const int answer : {7, 6}) {
        rig.dialogs.clear();
        rig.dialogs.queueMessageAnswer(answer);
        SelectLocalFiles(rig, {"keep.txt"});
        rig.form->DeleteCommand();
        ASSERT_EQ(rig.dialogs.confirmTexts().size(), 1);
        EXPECT_FALSE(rig.dialogs.calls().first().offersAll) << "one file: no All";
        ExpectOneMessage(rig, "keep.txt could not be moved to the trash", "Delete it from this computer for good?");
        EXPECT_EQ(QFileInfo::exists(localPath("keep.txt")), answer == 7);
    }
}

// Skip (No) and stop (closing the window) leave both copies, either way.
// While a question is open the status line names it, not the file done
// before (0.jpg, not on the server, goes without one), under the red light.
TEST_F(ConnectedWindow, ReplacingAFileIsAskedWithBothSizesBeforeDownloadAndUpload)
{
    WriteFile(localPath("0.jpg"), "new");
    WriteFile(localPath("a.jpg"), "mine");
    WriteFile(localPath("b.txt"), "my b");
    openConnected();
    const QByteArray serverA(1500, 'j'), serverB(512, 't');
    auto bytes = [](qint64 n) -> QString { return QLocale().toString(n) + " bytes"; };
    const std::pair<const char*, const char*> directions[] = {{"Get", "on this computer"}, {"Put", "on the server"}};
    QStringList seen;
    rig.dialogs.onCall = [&](const ScriptedDialogs::Call&) { seen << rig.panel(1) << rig.light(); };
    for (const auto& [key, there] : directions) {
        SCOPED_TRACE(key);
        rig.dialogs.clear();
        seen.clear();
        rig.dialogs.queueConfirm(Choice::No);
        rig.dialogs.queueConfirm(Choice::Closed);
        SelectRows(rig, {"a.jpg", "b.txt"});
        SelectLocalFiles(rig, {"0.jpg", "a.jpg", "b.txt"});
        rig.find<QAction>(key)->trigger();
        EXPECT_EQ(seen, (QStringList{"Status: Waiting for your answer: replace a.jpg?", "red",
                                     "Status: Waiting for your answer: replace b.txt?", "red"}));
        EXPECT_EQ(rig.light(), "green");
        const QStringList asked = rig.dialogs.confirmTexts();
        ASSERT_EQ(asked.size(), 2);
        for (const auto& [text, name, size] : {std::tuple{asked[0], "a.jpg", 1500}, {asked[1], "b.txt", 512}}) {
            EXPECT_TRUE(text.startsWith(QStringLiteral("Replace %1 %2 (").arg(QLatin1String(name), QLatin1String(there))))
                << text.toStdString();
            EXPECT_TRUE(text.contains(bytes(4)) && text.contains(bytes(size))) << text.toStdString();
        }
        EXPECT_TRUE(rig.dialogs.messageTexts().isEmpty());
        EXPECT_EQ(ReadFile(localPath("a.jpg")), QByteArray("mine"));
        EXPECT_EQ(ReadFile(localPath("b.txt")), QByteArray("my b"));
        EXPECT_EQ(ReadFile(serverPath("a.jpg")), serverA);
        EXPECT_EQ(ReadFile(serverPath("b.txt")), serverB);
    }
    rig.dialogs.onCall = nullptr;
    // All replaces the rest without asking again; with the option off nothing is asked.
    rig.dialogs.clear();
    rig.dialogs.queueConfirm(Choice::All);
    SelectRows(rig, {"a.jpg", "b.txt"});
    rig.form->Download();
    EXPECT_EQ(rig.dialogs.calls().size(), 1);
    EXPECT_EQ(ReadFile(localPath("a.jpg")), serverA);
    EXPECT_EQ(ReadFile(localPath("b.txt")), serverB);
    rig.find<QAction>("mnuAskReplace")->trigger();
    WriteFile(localPath("a.jpg"), "new a");
    SelectLocalFiles(rig, {"a.jpg"});
    rig.form->Upload();
    EXPECT_EQ(rig.dialogs.calls().size(), 1);
    EXPECT_EQ(ReadFile(serverPath("a.jpg")), QByteArray("new a"));
    EXPECT_EQ(ReadFile(serverPath("0.jpg")), QByteArray("new")) << "the file before the question went";
    rig.close();
    EXPECT_EQ(SavedSetting(rig, "Transfers/AskReplace").toString(), "false");
}

// In list order, one listing at the end; a failure asks whether to go on.
TEST_F(ConnectedWindow, EverySelectedLocalFileUploads)
{
    for (const char* name : {"p1.jpg", "p2.jpg", "gone.txt", "p3.txt"})
        WriteFile(localPath(QLatin1String(name)), name);
    openConnected();
    QFile::remove(localPath("gone.txt"));  // since the list was read
    QStringList order;
    QObject::connect(&rig.form->ftp(), &quillmar::FtpComponent::Progress, rig.form.get(), [&] {
        const QString uploading = rig.panel(1).section(u' ', 2, 2);  // "Status: Uploading <name> <n> bytes"
        if (order.isEmpty() || order.last() != uploading)
            order << uploading;
    });
    QSignalSpy listings(&rig.form->ftp(), &quillmar::FtpComponent::ListComplete);
    QStringList whileListed;  // the list re-read at the end: the last upload still named, under the red light
    QObject::connect(&rig.form->ftp(), &quillmar::FtpComponent::ListEntry, rig.form.get(),
                     [&] { whileListed << rig.panel(1) << rig.light(); });
    SelectLocalFiles(rig, {"p1.jpg", "p2.jpg", "gone.txt", "p3.txt"});
    rig.find<QAction>("Put")->trigger();
    ExpectOneMessage(rig, "gone.txt could not be uploaded:", "Go on with the remaining 3 files?");
    EXPECT_EQ(order, (QStringList{"p1.jpg", "p2.jpg", "p3.txt"}));
    for (const char* name : {"p1.jpg", "p2.jpg", "p3.txt"})
        EXPECT_EQ(ReadFile(serverPath(QLatin1String(name))), QByteArray(name));
    EXPECT_EQ(ReadFile(cachePath("p2.jpg")), QByteArray("p2.jpg"));
    EXPECT_EQ(listings.count(), 1);
    EXPECT_EQ(whileListed.mid(0, 2), (QStringList{"Status: Uploading p3.txt 6 bytes", "red"}));
    EXPECT_EQ(RowTexts(rig), (QStringList{"a.jpg", "b.txt", "images/", "p1.jpg", "p2.jpg", "p3.txt"}));
    EXPECT_EQ(rig.panel(1), "Status: Upload Complete (1 failed)");

    // No stops there. gone.txt is listed again and goes once chosen: the
    // list follows the disk, so it would not stay listed while the uploads ran.
    QFile::remove(serverPath("p1.jpg"));
    rig.dialogs.clear();
    rig.dialogs.queueMessageAnswer(7);
    WriteFile(localPath("gone.txt"), "gone");
    rig.form->findChild<quillmar::LocalPane*>()->refreshFiles();
    SelectLocalFiles(rig, {"gone.txt", "p1.jpg"});
    QFile::remove(localPath("gone.txt"));
    rig.form->Upload();
    EXPECT_EQ(rig.dialogs.calls().size(), 1);
    EXPECT_FALSE(QFileInfo::exists(serverPath("p1.jpg")));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A second double click must not start another upload while one runs.
    rig.dialogs.clear();
    WriteFile(localPath("big.txt"), QByteArray(2 * 1024 * 1024, 'b'));
    rig.form->findChild<quillmar::LocalPane*>()->refreshFiles();
    auto* files = rig.find<QListWidget>("File1");
    QList<bool> enabled;
    QObject::connect(&rig.form->ftp(), &quillmar::FtpComponent::Progress, rig.form.get(),
                     [&] { enabled << files->isEnabled(); });
    rig.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.form.get()));
    const QPoint at = files->visualItemRect(files->item(0)).center();
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, at);  // a double click starts with a click
    QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_FALSE(enabled.isEmpty());
    EXPECT_FALSE(enabled.contains(true));
    // The keys and the side commands still act on the local files.
    EXPECT_EQ(QApplication::focusWidget(), files);
    EXPECT_EQ(rig.form->state().GotFocus, quillmar::FocusSide::Local);
    EXPECT_EQ(QFileInfo(serverPath("big.txt")).size(), 2 * 1024 * 1024);
    rig.form->Disconnect();  // also after an upload that fails
    QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(rig.dialogs.messageTexts(), QStringList{"You must first connect to a server."});
    EXPECT_TRUE(files->isEnabled());
}

// An in-place edit ended by the focus a question takes while a command runs:
// the rename waits for the command to end, so nothing is renamed under it
// and no "another command is running" is said.
TEST_F(ConnectedWindow, AnInPlaceRenameEndedDuringACommandRunsOnceItEnds)
{
    WriteFile(localPath("a.jpg"), "mine");
    openConnected();
    rig.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.form.get()));
    rig.form->state().GotFocus = quillmar::FocusSide::Server;
    SelectRows(rig, {"a.jpg"});
    auto* view = ServerView(rig);
    view->setFocus();
    view->edit(RowIndex(rig, "b.txt"));
    auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(RowIndex(rig, "b.txt")));
    ASSERT_NE(editor, nullptr);
    editor->setText("c.txt");
    QStringList duringQuestion;
    rig.dialogs.onCall = [&](const ScriptedDialogs::Call&) {
        editor->clearFocus();
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        duringQuestion = QDir(server.root()).entryList(QDir::Files);
    };
    rig.find<QAction>("mnuDownload")->trigger();
    EXPECT_EQ(duringQuestion, (QStringList{"a.jpg", "b.txt"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(serverPath("c.txt")); }, 10000));
    EXPECT_EQ(QDir(server.root()).entryList(QDir::Files), (QStringList{"a.jpg", "c.txt"}));
    EXPECT_EQ(ReadFile(localPath("a.jpg")), QByteArray(1500, 'j'));
    EXPECT_EQ(rig.dialogs.confirmTexts().size(), 1);
    EXPECT_TRUE(rig.dialogs.messageTexts().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
}

// Where the server refuses every rename, the person is asked once whether
// uploads may go straight to their names; the upload whose old copy the
// rename attempt deleted is kept until a straight upload replaces it.
TEST(UploadWithoutRenames, IsOfferedOnceStraightToTheName)
{
    for (const int answer : {6, 7}) {
        SCOPED_TRACE(answer);
        QTemporaryDir remote;
        quillmar::test::ScriptedServer server({.folder = remote.path(), .refuseRenames = true});
        WindowRig rig;
        WriteFile(remote.filePath("photo.jpg"), "old picture");
        WriteFile(rig.localFolder.filePath("photo.jpg"), "new picture");
        WriteFile(rig.localFolder.filePath("second.jpg"), "second picture");
        OpenOnScriptedServer(rig, server);
        rig.dialogs.queueMessageAnswer(answer);
        SelectLocalFiles(rig, {"photo.jpg", "second.jpg"});
        rig.form->Upload();
        const QStringList messages = rig.dialogs.messageTexts();
        ASSERT_FALSE(messages.isEmpty());
        EXPECT_TRUE(messages[0].contains("If such an upload is interrupted, the copy on the server is damaged."));
        EXPECT_EQ(messages.filter("Upload straight").size(), 1) << messages.join('|').toStdString();
        for (const auto& call : rig.dialogs.calls())
            if (call.text.contains("Upload straight"))
                EXPECT_EQ(call.defaultAnswer, quillmar::Dialogs::Answer::No) << "Enter keeps the safe way";
        const QStringList temps = QDir(remote.path()).entryList({".quillmar-*.part"}, QDir::Files | QDir::Hidden);
        if (answer == 6) {
            EXPECT_EQ(messages.size(), 1);
            EXPECT_EQ(ReadFile(remote.filePath("photo.jpg")), QByteArray("new picture"));
            EXPECT_EQ(ReadFile(remote.filePath("second.jpg")), QByteArray("second picture"));
            EXPECT_EQ(temps, QStringList());
            EXPECT_EQ(rig.panel(1), "Status: Upload Complete");
        } else {
            EXPECT_EQ(temps.size(), 1);
            EXPECT_FALSE(QFileInfo::exists(remote.filePath("second.jpg")));
        }
    }
}

// A server that stores an upload under another name than asked: the status
// line says which, and the preview's copy goes by that name.
TEST(UploadRenamedByTheServer, IsReportedWithTheNameTheServerUsed)
{
    QTemporaryDir remote;
    quillmar::test::ServerScript script{.folder = remote.path()};
    script.underscoreEdgeBlanks = true;
    quillmar::test::ScriptedServer server(script);
    WindowRig rig;
    WritePicture(rig.localFolder.filePath(" lead.jpg"), 8, 8);
    OpenOnScriptedServer(rig, server);
    SelectLocalFiles(rig, {" lead.jpg"});
    rig.form->Upload();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(QDir(remote.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"_lead.jpg"});
    EXPECT_TRUE(rig.panel(1).startsWith("Status: Upload Complete"));
    EXPECT_TRUE(rig.panel(1).endsWith("; the server stored \" lead.jpg\" as \"_lead.jpg\"")) << rig.panel(1).toStdString();
    ClickServerRow(rig, "_lead.jpg");  // previewed from the cache
    EXPECT_FALSE(rig.find<QLabel>("viewimage")->isHidden());
}

// Temporary uploads the settings remember for this site are removed at the
// next connect; nothing else is, whatever its name.
TEST_F(ConnectedWindow, TemporaryUploadsLeftOnTheServerAreRemovedAtTheNextConnect)
{
    const QString site = quillmar::SiteKey(server.user(), QStringLiteral("127.0.0.1:%1").arg(server.port()));
    for (const char* name : {".quillmar-1a2b3c4d.part", ".quillmar-0badf00d.part", ".quillmar-99999999.part", "c.jpg"})
        WriteFile(serverPath(QLatin1String(name)), "left");
    const QStringList recorded{site + "\n.quillmar-1a2b3c4d.part", site + "\nc.jpg",
                               "someone@127.0.0.1:21\n.quillmar-99999999.part"};
    rig.store->setValue("LeftOnServer/Uploads", recorded);
    rig.store->sync();
    openConnected();
    EXPECT_EQ(QDir(server.root()).entryList({".quillmar-*", "c.jpg"}, QDir::Files | QDir::Hidden),
              (QStringList{".quillmar-0badf00d.part", ".quillmar-99999999.part", "c.jpg"}));
    EXPECT_FALSE(RowTexts(rig).contains(".quillmar-1a2b3c4d.part"));
    EXPECT_EQ(SavedSetting(rig, "LeftOnServer/Uploads").toStringList(), recorded.mid(1));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
}

// A Stop that cuts the connection during an upload leaves its temporary
// name in the settings when the call ends (not while it runs: one write a
// file would slow many-file uploads), and only until the program removes it
// over a connection of its own; a temporary-looking name it did not make stays.
TEST(UploadStoppedOnASlowServer, LeavesNoTemporaryFileAndNoNote)
{
    QTemporaryDir remote;
    quillmar::test::ScriptedServer server({.folder = remote.path(), .storReadDelayMs = 5, .hangUpOnBrokenStor = true});
    WindowRig rig;
    WriteFile(rig.localFolder.filePath("big.jpg"), QByteArray(8 * 1024 * 1024, 'b'));
    WriteFile(remote.filePath(".quillmar-0badf00d.part"), "not ours");
    OpenOnScriptedServer(rig, server);
    const QString site = quillmar::SiteKey("demo", QStringLiteral("127.0.0.1:%1").arg(server.port()));
    const auto notes = [&] { return SavedSetting(rig, "LeftOnServer/Uploads"); };
    QStringList duringCall, atCallEnd;
    QObject::connect(&rig.form->ftp(), &quillmar::FtpComponent::Busy, rig.form.get(), [&](bool running) {
        if (!running && atCallEnd.isEmpty())
            atCallEnd = notes().toStringList();
    });
    QTimer::singleShot(300, rig.form.get(), [&] {
        duringCall = notes().toStringList();
        rig.form->Stop();
    });
    SelectLocalFiles(rig, {"big.jpg"});
    rig.form->Upload();
    EXPECT_EQ(duringCall, QStringList());
    ASSERT_EQ(atCallEnd.size(), 1);
    EXPECT_TRUE(atCallEnd[0].startsWith(site + "\n.quillmar-")) << atCallEnd[0].toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !notes().isValid(); }, 10000)) << notes().toString().toStdString();
    EXPECT_EQ(QDir(remote.path()).entryList(QDir::Files | QDir::Hidden), QStringList{".quillmar-0badf00d.part"})
        << "a temporary-looking name it did not make stays";
}

// Renames and new folders on either side, never outside.
TEST_F(ConnectedWindow, RenameAndNewFolderOnEitherSideAndNeverOutside)
{
    WriteFile(cachePath("a.jpg"), "cached a");
    WriteFile(localPath("here.txt"), "h");
    openConnected();
    const QString before = rig.panel(1);
    // A name that would escape the folder is refused (which names do is the
    // name rule's test); cancelled asks nothing of the server and says so on
    // this computer.
    const QString refused = "Cannot rename to", notRenamed = "here.txt was not renamed: no new name was given.";
    const std::tuple<quillmar::FocusSide, QString, QString> renames[] = {
        {quillmar::FocusSide::Server, QString(), QString()}, {quillmar::FocusSide::Server, "../x.jpg", refused},
        {quillmar::FocusSide::Local, QString(), notRenamed}, {quillmar::FocusSide::Local, "../up.txt", refused}};
    for (const auto& [side, answer, says] : renames) {
        SCOPED_TRACE(answer.toStdString());
        rig.dialogs.clear();
        rig.form->state().GotFocus = side;
        side == quillmar::FocusSide::Server ? SelectRows(rig, {"a.jpg"}) : SelectLocalFiles(rig, {"here.txt"});
        rig.dialogs.queueInput(answer);
        rig.find<QAction>("mnuRename")->trigger();
        if (says.isEmpty())
            EXPECT_TRUE(rig.dialogs.messageTexts().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
        else
            ExpectOneMessage(rig, says);
        EXPECT_EQ(rig.panel(1), before);
    }
    EXPECT_EQ(QDir(server.root()).entryList(QDir::Files), (QStringList{"a.jpg", "b.txt"}));
    EXPECT_EQ(ReadFile(cachePath("a.jpg")), QByteArray("cached a"));
    EXPECT_EQ(ReadFile(localPath("here.txt")), QByteArray("h"));

    rig.form->state().GotFocus = quillmar::FocusSide::Server;
    SelectRows(rig, {"a.jpg"});
    rig.dialogs.clear();
    rig.dialogs.queueInput("b.jpg");
    rig.find<QAction>("mnuRename")->trigger();
    EXPECT_EQ(rig.dialogs.calls().value(0).defaultText, "a.jpg");
    EXPECT_EQ(rig.panel(1), "Status: Renamed File.");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Editing the row in place does the same; a change of case only asks nothing.
    rig.find<QLabel>("Panel1")->clear();
    rig.dialogs.clear();
    auto* view = ServerView(rig);
    for (const QString& typed : {"B.JPG", "shop.jpg"}) {
        SelectRows(rig, {"b.jpg"});
        view->setFocus();
        view->edit(RowIndex(rig, "b.jpg"));
        auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(RowIndex(rig, "b.jpg")));
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
    EXPECT_EQ(ReadFile(serverPath("shop.jpg")), QByteArray(1500, 'j'));
    EXPECT_EQ(RowTexts(rig), (QStringList{"b.txt", "images/", "shop.jpg"}));
    EXPECT_EQ(rig.panel(1), "Status: Renamed File.");
    EXPECT_EQ(QDir(cacheFolder()).entryList(QDir::Files), QStringList{"shop.jpg"});
    EXPECT_EQ(ReadFile(cachePath("shop.jpg")), QByteArray("cached a"));

    rig.dialogs.clear();
    rig.form->state().GotFocus = quillmar::FocusSide::Local;
    SelectLocalFiles(rig, {"here.txt"});
    rig.dialogs.queueInput("there.txt");
    rig.find<QAction>("mnuRename")->trigger();
    EXPECT_TRUE(rig.dialogs.messageTexts().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_FALSE(QFileInfo::exists(localPath("here.txt")));
    EXPECT_EQ(ReadFile(localPath("there.txt")), QByteArray("h"));
    EXPECT_EQ(rig.find<QListWidget>("File1")->findItems("there.txt", Qt::MatchExactly).size(), 1);

    const std::tuple<int, QString, bool> newFolders[] = {  // the side, the name given, refused
        {2, QString(), false}, {2, "New_Folder", false}, {2, "../outside", true},
        {0, "New Folder", false}, {1, "../elsewhere", true}, {1, "New Folder", true}};  // already there
    for (const auto& [pane, answer, refused] : newFolders) {
        SCOPED_TRACE(answer.toStdString());
        rig.dialogs.clear();
        rig.dialogs.queueInput(answer);
        rig.form->state().GotFocus = quillmar::FocusSide(pane);
        rig.form->NewFolderCommand();
        EXPECT_EQ(rig.dialogs.messageTexts().size(), refused ? 1 : 0);
    }
    EXPECT_TRUE(QFileInfo(serverPath("New_Folder")).isDir());
    EXPECT_TRUE(RowTexts(rig).contains("New_Folder/"));
    EXPECT_TRUE(QFileInfo(localPath("New Folder")).isDir());
    EXPECT_EQ(rig.find<QListWidget>("Dir1")->findItems("New Folder", Qt::MatchEndsWith).size(), 1);
    for (const QString& path : {serverPath("../x.jpg"), localPath("../up.txt"), serverPath("../outside"),
                                localPath("../elsewhere")})
        EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString() << " is outside";
}

TEST(PictureCacheMenu, EmptyingAsksAndDeletesEverythingInTheCache)
{
    WindowRig rig;
    rig.open();
    const QDir cache(rig.appFolder.filePath("Cache"));
    QDir().mkpath(cache.filePath("sub"));
    for (const char* name : {"a.jpg", "b.GIF", "sub/deep.jpg", "../sites.snd"})
        WriteFile(cache.filePath(QLatin1String(name)), name);
    for (const int answer : {7, 6}) {
        rig.dialogs.clear();
        rig.dialogs.queueMessageAnswer(answer);
        rig.find<QAction>("mnuImageCache")->trigger();
        EXPECT_EQ(rig.dialogs.messageTexts(), QStringList{"Are you sure you want to empty your cache?"});
        EXPECT_EQ(cache.entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), answer == 7 ? 3 : 0);
    }
    EXPECT_TRUE(cache.exists());
    EXPECT_TRUE(QFileInfo::exists(rig.appFolder.filePath("sites.snd")));
}

// The answer is the button pressed; closing the window is no answer.
TEST(ConfirmWindow, EachButtonGivesItsAnswer)
{
    const std::pair<const char*, Choice> cases[] = {
        {"Command1", Choice::Yes}, {"Confirm", Choice::All}, {"Command3", Choice::No}, {nullptr, Choice::Closed}};
    for (const auto& [button, choice] : cases) {
        SCOPED_TRACE(button ? button : "closed");
        quillmar::Confirm window("Delete a.jpg?");
        window.show();
        EXPECT_EQ(window.findChild<QLabel*>("Label1")->text(), "Delete a.jpg?");
        auto* pressed = window.findChild<QPushButton*>(QLatin1String(button ? button : "Command1"));
        ASSERT_NE(pressed, nullptr);
        button ? QTest::mouseClick(pressed, Qt::LeftButton) : window.reject();
        EXPECT_EQ(window.choice(), choice);
        EXPECT_FALSE(window.isVisible());
    }
}
