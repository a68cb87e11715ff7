#include "pictures/local_pane.h"
#include "support/qt_printers.h"
#include "support/scripted_dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using quillmar::Dialogs;
using quillmar::LocalPane;

namespace {

const QString kMissingDrive = QStringLiteral("/nonexistent-quillmar-drive");

void Touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

QStringList Texts(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

// A temporary tree:  root/pics/{.hidden, A.txt, b.JPG, sub1/, sub2/}  and
// root/other/x.gif. The pane starts in root/pics; the drives are "/", the
// temporary root and one that does not exist.
class LocalPaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tree.isValid());
        root = QFileInfo(tree.path()).canonicalFilePath();
        pics = root + "/pics";
        other = root + "/other";
        ASSERT_TRUE(QDir(root).mkpath("pics/sub1"));
        ASSERT_TRUE(QDir(root).mkpath("pics/sub2"));
        ASSERT_TRUE(QDir(root).mkpath("other"));
        for (const char* name : {".hidden", "A.txt", "b.JPG"})
            Touch(pics + "/" + name);
        Touch(other + "/x.gif");
        ASSERT_TRUE(QDir::setCurrent(pics));
        drives = {"/", root, kMissingDrive};
        pane = std::make_unique<LocalPane>(dialogs, [this] { return drives; });
        driveList = pane->findChild<QComboBox*>("Drive1");
        folderList = pane->findChild<QListWidget*>("Dir1");
        fileList = pane->findChild<QListWidget*>("File1");
        ASSERT_TRUE(driveList && folderList && fileList);
    }

    void TearDown() override
    {
        pane.reset();
        QDir::setCurrent(startDir);
    }

    // Dir1's path, File1's contents and the working directory agree.
    void expectShowing(const QString& folder, const QStringList& files)
    {
        EXPECT_EQ(pane->folder(), folder);
        EXPECT_EQ(QDir::currentPath(), folder);
        EXPECT_EQ(Texts(fileList), files);
        const QListWidgetItem* current = folderList->currentItem();
        ASSERT_TRUE(current);
        EXPECT_EQ(current->data(Qt::UserRole).toString(), folder);
    }

    QStringList folderPaths() const
    {
        QStringList paths;
        for (int i = 0; i < folderList->count(); ++i)
            paths.append(folderList->item(i)->data(Qt::UserRole).toString());
        return paths;
    }

    QPoint fileRowCentre(int row) const { return fileList->visualItemRect(fileList->item(row)).center(); }

    const QString startDir = QDir::currentPath();
    QTemporaryDir tree;
    QString root, pics, other;
    QStringList drives;
    ScriptedDialogs dialogs;
    std::unique_ptr<LocalPane> pane;
    QComboBox* driveList = nullptr;
    QListWidget* folderList = nullptr;
    QListWidget* fileList = nullptr;
};

const QStringList kPicsFiles{".hidden", "A.txt", "b.JPG"};

TEST_F(LocalPaneTest, StartsInTheWorkingDirectoryOnItsDrive)
{
    expectShowing(pics, kPicsFiles);
    EXPECT_EQ(driveList->currentIndex(), 1);  // the longest root that holds it
    EXPECT_EQ(folderPaths(), (QStringList{root, pics, pics + "/sub1", pics + "/sub2"}));
    EXPECT_EQ(pane->title(), " Local Files");
    EXPECT_EQ(pane->size(), QSize(204, 321));
    EXPECT_EQ(driveList->toolTip(), "Local drive");
    EXPECT_EQ(folderList->toolTip(), "Local folder");
    EXPECT_EQ(fileList->toolTip(), "Local files");
    EXPECT_TRUE(dialogs.calls().isEmpty());
}

TEST_F(LocalPaneTest, FolderChangeMovesAllThreeTogether)
{
    ASSERT_TRUE(pane->setFolder(other));
    expectShowing(other, {"x.gif"});

    // Choosing an entry of the folder list, as a double click would.
    ASSERT_EQ(folderPaths().first(), root);
    Q_EMIT folderList->itemActivated(folderList->item(0));
    expectShowing(root, {});
    ASSERT_TRUE(pane->setFolder(pics + "/sub2"));
    expectShowing(pics + "/sub2", {});
    EXPECT_TRUE(dialogs.calls().isEmpty());
}

TEST_F(LocalPaneTest, RefreshFindsNewFilesAndKeepsTheCurrentOne)
{
    fileList->setCurrentRow(2);
    Touch(pics + "/new.gif");
    Touch(pics + "/0first.gif");
    pane->refreshFiles();
    EXPECT_EQ(Texts(fileList), (QStringList{".hidden", "0first.gif", "A.txt", "b.JPG", "new.gif"}));
    EXPECT_EQ(pane->currentFile(), "b.JPG");

    ASSERT_TRUE(QDir(pics).mkdir("sub0"));
    pane->refreshFolders();
    EXPECT_EQ(folderPaths(), (QStringList{root, pics, pics + "/sub0", pics + "/sub1", pics + "/sub2"}));
    EXPECT_EQ(pane->folder(), pics);
}

TEST_F(LocalPaneTest, DriveNotReadyIsReportedOnceAndChangesNothing)
{
    ASSERT_FALSE(pane->setDrive(2));
    ASSERT_EQ(dialogs.calls().size(), 1);
    const ScriptedDialogs::Call& call = dialogs.calls().first();
    EXPECT_EQ(call.text, "Drive or disk not ready.");
    EXPECT_EQ(call.buttons, Dialogs::Buttons::Ok);
    EXPECT_EQ(call.icon, Dialogs::Icon::Information);
    EXPECT_EQ(call.title, "Quillmar");
    EXPECT_EQ(driveList->currentIndex(), 2);
    expectShowing(pics, kPicsFiles);

    // The next good drive works, chosen in the list itself.
    dialogs.clear();
    driveList->setCurrentIndex(1);
    expectShowing(root, {});
    EXPECT_TRUE(dialogs.calls().isEmpty());
}

TEST_F(LocalPaneTest, RemovedFolderIsAnUnexpectedErrorAndThePaneStaysPut)
{
    ASSERT_TRUE(QDir(pics + "/sub1").removeRecursively());
    const int entry = int(folderPaths().indexOf(pics + "/sub1"));
    ASSERT_GE(entry, 0);
    Q_EMIT folderList->itemActivated(folderList->item(entry));
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"An unexpected error occurred."});
    EXPECT_EQ(dialogs.calls().first().title, "Quillmar");
    expectShowing(pics, kPicsFiles);
    EXPECT_FALSE(folderPaths().contains(pics + "/sub1"));
}

TEST_F(LocalPaneTest, OnlyARightReleaseOverTheFileListAsksForTheMenu)
{
    pane->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pane.get()));
    QSignalSpy menu(pane.get(), &LocalPane::contextMenuRequested);
    QTest::mouseClick(fileList->viewport(), Qt::LeftButton, {}, fileRowCentre(1));
    QTest::mouseClick(fileList->viewport(), Qt::MiddleButton, {}, fileRowCentre(1));
    EXPECT_EQ(menu.count(), 0);
    QTest::mouseClick(folderList->viewport(), Qt::RightButton, {}, QPoint(10, 5));
    EXPECT_EQ(menu.count(), 0);

    QTest::mouseClick(fileList->viewport(), Qt::RightButton, {}, fileRowCentre(2));
    EXPECT_EQ(menu.count(), 1);
    EXPECT_EQ(pane->selectedFiles(), QStringList{"A.txt"});  // the right click selected nothing
}

TEST_F(LocalPaneTest, FocusOnTheListsIsReportedButNotOnTheDriveList)
{
    pane->show();
    pane->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(pane.get()));
    QSignalSpy focus(pane.get(), &LocalPane::focusEntered);
    driveList->setFocus();
    ASSERT_TRUE(driveList->hasFocus());
    EXPECT_EQ(focus.count(), 0);
    folderList->setFocus();
    EXPECT_EQ(focus.count(), 1);
    fileList->setFocus();
    EXPECT_EQ(focus.count(), 2);
    driveList->setFocus();
    EXPECT_EQ(focus.count(), 2);
}

TEST_F(LocalPaneTest, ClicksAndKeysOnFilesUseBareNames)
{
    pane->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pane.get()));
    QSignalSpy clicked(pane.get(), &LocalPane::fileClicked);
    QSignalSpy doubled(pane.get(), &LocalPane::fileDoubleClicked);
    EXPECT_EQ(pane->currentFile(), "");

    QTest::mouseClick(fileList->viewport(), Qt::LeftButton, {}, fileRowCentre(1));
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(pane->currentFile(), "A.txt");
    QTest::keyClick(fileList, Qt::Key_Down);
    EXPECT_EQ(clicked.count(), 2);
    EXPECT_EQ(pane->currentFile(), "b.JPG");
    QTest::mouseClick(fileList->viewport(), Qt::LeftButton, Qt::ControlModifier, fileRowCentre(0));
    EXPECT_EQ(pane->selectedFiles(), (QStringList{".hidden", "b.JPG"}));
    EXPECT_EQ(pane->currentFile(), ".hidden");

    // A real double click: a press and release, then the double-click press.
    QTest::mouseClick(fileList->viewport(), Qt::LeftButton, {}, fileRowCentre(2));
    QTest::mouseDClick(fileList->viewport(), Qt::LeftButton, {}, fileRowCentre(2));
    EXPECT_EQ(doubled.count(), 1);
    // The bare name resolves in the folder shown.
    EXPECT_TRUE(QFileInfo::exists(pane->currentFile()));
}

TEST_F(LocalPaneTest, DeleteKeyIsLeftToTheWindow)
{
    fileList->setCurrentRow(0);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(fileList, &press);
    EXPECT_FALSE(press.isAccepted());
    EXPECT_EQ(Texts(fileList), kPicsFiles);
}

}  // namespace
