#include "pictures/local_pane.h"
#include "support/files.h"
#include "support/qt_printers.h"
#include "support/scripted_dialogs.h"
#include "support/window_helpers.h"

#include <QComboBox>
#include <QFileInfo>
#include <QSignalSpy>

using quillmar::LocalPane;

namespace {

// The folder list's paths.
QStringList Paths(const QListWidget* folders) { return RowTexts(folders, 0, Qt::UserRole); }

// root/pics/{.hidden, A.txt, b.JPG, sub1/, sub2/} and root/other/x.gif; the
// pane starts in root/pics; the drives are "/", root and a missing one.
class LocalPaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = QFileInfo(tree.path()).canonicalFilePath();
        pics = root + "/pics";
        ASSERT_TRUE(QDir(root).mkpath("pics/sub1") && QDir(root).mkpath("pics/sub2") && QDir(root).mkpath("other"));
        for (const char* name : {"/pics/.hidden", "/pics/A.txt", "/pics/b.JPG", "/other/x.gif"})
            WriteFile(root + name, {});
        ASSERT_TRUE(QDir::setCurrent(pics));
        pane = std::make_unique<LocalPane>(dialogs, [this] {
            return QStringList{"/", root, "/nonexistent-quillmar-drive"};
        });
        drives = pane->findChild<QComboBox*>("Drive1");
        folders = pane->findChild<QListWidget*>("Dir1");
        files = pane->findChild<QListWidget*>("File1");
        ASSERT_TRUE(drives && folders && files);
    }

    void TearDown() override
    {
        pane.reset();
        QDir::setCurrent(startDir);
    }

    // Dir1's path, File1's contents and the working directory agree.
    void expectShowing(const QString& folder, const QStringList& names)
    {
        EXPECT_EQ(pane->folder(), folder);
        EXPECT_EQ(QDir::currentPath(), folder);
        EXPECT_EQ(RowTexts(files), names);
        ASSERT_TRUE(folders->currentItem());
        EXPECT_EQ(folders->currentItem()->data(Qt::UserRole).toString(), folder);
    }

    QPoint fileRow(int row) const { return files->visualItemRect(files->item(row)).center(); }

    const QString startDir = QDir::currentPath();
    QTemporaryDir tree;
    QString root, pics;
    ScriptedDialogs dialogs;
    std::unique_ptr<LocalPane> pane;
    QComboBox* drives = nullptr;
    QListWidget *folders = nullptr, *files = nullptr;
};

const QStringList kPicsFiles{".hidden", "A.txt", "b.JPG"};

TEST_F(LocalPaneTest, FolderListFileListAndWorkingDirectoryMoveTogether)
{
    expectShowing(pics, kPicsFiles);
    EXPECT_EQ(drives->currentIndex(), 1);  // the longest root that holds it
    files->setCurrentRow(2);
    WriteFile(pics + "/0first.gif", {});
    ASSERT_TRUE(QDir(pics).mkdir("sub0"));
    ASSERT_TRUE(QDir(pics).mkdir(":x"));  // a leading ":" is a name here, not a resource path
    pane->refreshFiles();
    pane->refreshFolders();
    expectShowing(pics, {".hidden", "0first.gif", "A.txt", "b.JPG"});
    EXPECT_EQ(pane->currentFile(), "b.JPG") << "a refresh keeps the current file";
    EXPECT_EQ(Paths(folders),
              (QStringList{root, pics, pics + "/:x", pics + "/sub0", pics + "/sub1", pics + "/sub2"}));
    WriteFile(pics + "/:x/:in.jpg", {});
    Q_EMIT folders->itemActivated(folders->item(2));
    expectShowing(pics + "/:x", {":in.jpg"});
    ASSERT_TRUE(pane->setFolder(root + "/other"));
    expectShowing(root + "/other", {"x.gif"});
    Q_EMIT folders->itemActivated(folders->item(0));  // as a double click on root would
    expectShowing(root, {});
    EXPECT_TRUE(dialogs.calls().isEmpty());
}

// A removed folder and a drive not ready are reported once and change nothing.
TEST_F(LocalPaneTest, RemovedFolderAndDriveNotReadyAreReportedAndThePaneStaysPut)
{
    ASSERT_TRUE(QDir(pics + "/sub1").removeRecursively());
    const int entry = int(Paths(folders).indexOf(pics + "/sub1"));
    ASSERT_GE(entry, 0);
    Q_EMIT folders->itemActivated(folders->item(entry));
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"An unexpected error occurred."});
    expectShowing(pics, kPicsFiles);
    EXPECT_FALSE(Paths(folders).contains(pics + "/sub1"));
    dialogs.clear();
    ASSERT_FALSE(pane->setDrive(2));
    ASSERT_EQ(dialogs.calls().size(), 1);
    EXPECT_EQ(dialogs.calls().first().text, "Drive or disk not ready.");
    EXPECT_EQ(dialogs.calls().first().title, "Quillmar");
    expectShowing(pics, kPicsFiles);
    // The next good drive works, chosen in the list itself.
    dialogs.clear();
    drives->setCurrentIndex(1);
    expectShowing(root, {});
    EXPECT_TRUE(dialogs.calls().isEmpty());
}

TEST_F(LocalPaneTest, OnlyARightReleaseAsksForTheMenuAndFocusAndKeysMoveAsClicks)
{
    pane->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pane.get()));
    QSignalSpy menu(pane.get(), &LocalPane::contextMenuRequested);
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, fileRow(1));
    QTest::mouseClick(files->viewport(), Qt::MiddleButton, {}, fileRow(1));
    QTest::mouseClick(folders->viewport(), Qt::RightButton, {}, QPoint(10, 5));
    EXPECT_EQ(menu.count(), 0);
    QTest::mouseClick(files->viewport(), Qt::RightButton, {}, fileRow(2));
    EXPECT_EQ(menu.count(), 1);
    EXPECT_EQ(pane->selectedFiles(), QStringList{"A.txt"});  // the right click selected nothing

    // Focus on the file list makes the pane the one the window's commands
    // act on; the folder list only says it had the focus. A move by key
    // counts as a click.
    pane->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(pane.get()));
    QSignalSpy focus(pane.get(), &LocalPane::focusEntered);
    QSignalSpy folderFocus(pane.get(), &LocalPane::folderListFocused);
    for (QWidget* widget : std::initializer_list<QWidget*>{drives, folders, files, drives})
        widget->setFocus();
    EXPECT_EQ(focus.count(), 1);
    EXPECT_EQ(folderFocus.count(), 1);

    QSignalSpy clicked(pane.get(), &LocalPane::fileClicked);
    files->setCurrentRow(1);
    QTest::keyClick(files, Qt::Key_Down);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(pane->currentFile(), "b.JPG");
    EXPECT_TRUE(QFileInfo::exists(pane->currentFile()));  // a bare name, in the folder shown
}

}  // namespace
