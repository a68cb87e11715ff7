// FTP > Publish Folder through the real main window against real servers.

#include "operations/publish_window.h"
#include "pictures/picture_rules.h"
#include "session/ftp_component.h"
#include "support/ftp_daemon_fixture.h"
#include "support/window_helpers.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <qpa/qwindowsysteminterface.h>

#include <unistd.h>

namespace {

const QDateTime kLongAgo = QDateTime(QDate(2025, 3, 1), QTime(9, 30, 0), Qt::UTC);

void Touch(const QString& path, const QDateTime& when)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite)) << path.toStdString();
    ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime)) << path.toStdString();
}

QTreeWidget* PublishList(const WindowRig& rig) { return rig.find<QTreeWidget>("lvwPublish"); }

// "path: kind" for every row of the publishing window, in its order.
QStringList KindsShown(const WindowRig& rig)
{
    QStringList rows;
    QTreeWidget* list = PublishList(rig);
    for (int i = 0; list && i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        rows << item->text(quillmar::PublishWindow::PathColumn) + ": " + item->text(quillmar::PublishWindow::KindColumn);
    }
    return rows;
}

void Untick(const WindowRig& rig, const QString& path)
{
    const QList<QTreeWidgetItem*> items = PublishList(rig)->findItems(path, Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1) << path.toStdString();
    items.first()->setCheckState(quillmar::PublishWindow::PathColumn, Qt::Unchecked);
}

void PressPublish(const WindowRig& rig) { QTest::mouseClick(rig.find<QPushButton>("cmdPublish"), Qt::LeftButton); }

}  // namespace

// New, changed by size and by time, same, only on the server, a sub-folder
// and an unticked row; the same file differs in content on the server, so a
// STOR of it would show.
TEST_F(ConnectedWindow, PublishSendsTheTickedNewAndChangedFilesAndKeepsTheRest)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    WritePicture(localPath("new.jpg"), 40, 30);
    Touch(localPath("new.jpg"), kLongAgo);
    WriteFile(localPath("size.txt"), "local size");
    WriteFile(serverPath("size.txt"), "srv");
    WriteFile(localPath("date.txt"), "LOCAL DATE");
    Touch(localPath("date.txt"), now);
    WriteFile(serverPath("date.txt"), "old date..");
    Touch(serverPath("date.txt"), kLongAgo);
    WriteFile(localPath("same.txt"), "local same");
    Touch(localPath("same.txt"), kLongAgo);
    WriteFile(serverPath("same.txt"), "srv's same");
    WriteFile(localPath("untick.txt"), "not wanted");
    QDir(rig.localFolder.path()).mkdir("sub");
    WritePicture(localPath("sub/inner.jpg"), 20, 20);

    rig.open();
    EXPECT_FALSE(rig.find<QAction>("mnuPublish")->isEnabled());
    EXPECT_FALSE(rig.find<QAction>("Publish")->isEnabled());
    rig.form->Connect();
    ASSERT_TRUE(rig.find<QAction>("Publish")->isEnabled());
    rig.find<QAction>("Publish")->trigger();
    ASSERT_TRUE(rig.find<QWidget>("frmPublish")->isVisible());
    EXPECT_EQ(KindsShown(rig), (QStringList{"date.txt: changed", "new.jpg: new", "same.txt: same", "size.txt: changed",
                                            "untick.txt: new", "a.jpg: only on the server",
                                            "b.txt: only on the server"}));
    rig.find<QCheckBox>("chkSubFolders")->setChecked(true);
    EXPECT_TRUE(KindsShown(rig).contains("sub/inner.jpg: new")) << KindsShown(rig).join('|').toStdString();
    qint64 wanted = 0;
    for (const char* sent : {"new.jpg", "size.txt", "date.txt", "sub/inner.jpg"})
        wanted += QFileInfo(localPath(sent)).size();
    Untick(rig, "untick.txt");  // its bytes leave the count; its row stays counted as new
    EXPECT_EQ(rig.find<QLabel>("lblCounts")->text(),
              "3 new · 2 changed · 1 same · 2 only on the server · " + quillmar::SizeText(wanted) + " to send");
    PressPublish(rig);

    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_TRUE(rig.panel(1).startsWith("Status: Published 4 files (2 new, 2 changed), ")) << rig.panel(1).toStdString();
    for (const char* sent : {"new.jpg", "size.txt", "date.txt", "sub/inner.jpg"})
        EXPECT_EQ(ReadFile(serverPath(sent)), ReadFile(localPath(sent))) << sent;
    EXPECT_EQ(ReadFile(serverPath("same.txt")), "srv's same");
    EXPECT_FALSE(QFileInfo::exists(serverPath("untick.txt")));
    EXPECT_TRUE(QFileInfo::exists(serverPath("a.jpg")) && QFileInfo::exists(serverPath("b.txt")));
    // The server copy carries the local file's time, so the next comparison is exact.
    EXPECT_EQ(QFileInfo(serverPath("new.jpg")).lastModified().toSecsSinceEpoch(), kLongAgo.toSecsSinceEpoch());
    // Previews of the published pictures, the sub-folder's under its own place.
    EXPECT_EQ(ReadFile(cachePath("new.jpg")), ReadFile(localPath("new.jpg")));
    EXPECT_EQ(ReadFile(cacheFolder("/sub") + "/inner.jpg"), ReadFile(localPath("sub/inner.jpg")));
    EXPECT_TRUE(RowTexts(rig).contains("new.jpg"));
    // Compared again at once: only what was left out still differs.
    EXPECT_EQ(KindsShown(rig), (QStringList{"date.txt: same", "new.jpg: same", "same.txt: same", "size.txt: same",
                                            "sub/inner.jpg: same", "untick.txt: new", "a.jpg: only on the server",
                                            "b.txt: only on the server"}));
}

TEST_F(ConnectedWindow, PublishedWebCopyCountsAsSameUntilTheLocalPictureChanges)
{
    WritePicture(localPath("photo.jpg"), 2400, 1600);
    openConnected();
    rig.find<QAction>("mnuWebReady")->setChecked(true);
    rig.find<QAction>("mnuPublish")->trigger();
    ASSERT_TRUE(KindsShown(rig).contains("photo.jpg: new"));
    PressPublish(rig);
    ASSERT_LT(QFileInfo(serverPath("photo.jpg")).size(), QFileInfo(localPath("photo.jpg")).size());
    EXPECT_TRUE(KindsShown(rig).contains("photo.jpg: same")) << KindsShown(rig).join('|').toStdString();
    WritePicture(localPath("photo.jpg"), 2400, 1600, QColor(10, 90, 200));
    Touch(localPath("photo.jpg"), QDateTime::currentDateTimeUtc().addSecs(5));
    rig.find<QAction>("mnuPublish")->trigger();
    EXPECT_TRUE(KindsShown(rig).contains("photo.jpg: changed")) << KindsShown(rig).join('|').toStdString();
}

// The main window stays usable beside the list: a list compared with one
// server folder never sends into another.
TEST_F(ConnectedWindow, PublishAfterTheServerFolderChangedComparesAgainInstead)
{
    WriteFile(localPath("new.txt"), "new");
    openConnected();
    rig.find<QAction>("mnuPublish")->trigger();
    ASSERT_TRUE(KindsShown(rig).contains("new.txt: new"));
    DoubleClickServerRow(rig, "images/");
    ASSERT_TRUE(RowTexts(rig).isEmpty()) << RowTexts(rig).join('|').toStdString();
    PressPublish(rig);
    EXPECT_FALSE(QFileInfo::exists(serverPath("images/new.txt")));
    EXPECT_FALSE(QFileInfo::exists(serverPath("new.txt")));
    EXPECT_EQ(rig.dialogs.messageTexts().size(), 1);
    EXPECT_EQ(KindsShown(rig), QStringList{"new.txt: new"});
}

// vsftpd gives no machine listing and takes no MFMT: a file's time comes
// from MDTM where the sizes agree, and after publishing the server's own
// upload time keeps the copy the same.
TEST(PublishOnVsftpd, TimesFromMdtm)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "vsftpd needs root";
    quillmar::test::FtpDaemonFixture server("vsftpd");
    WindowRig rig;
    const QString remote = server.root(), local = rig.localFolder.path();
    for (const QString& folder : {remote, local}) {
        WriteFile(folder + "/newer.txt", folder == local ? "local copy" : "older copy");
        WriteFile(folder + "/older.txt", folder == local ? "local copy" : "newer copy");
    }
    Touch(remote + "/newer.txt", kLongAgo);
    Touch(local + "/older.txt", kLongAgo);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    rig.presetSite(Loopback(server.port()), QString(), server.user(), server.password());
    rig.open().Connect();
    rig.find<QAction>("mnuPublish")->trigger();
    EXPECT_EQ(KindsShown(rig), (QStringList{"newer.txt: changed", "older.txt: same"}));
    PressPublish(rig);
    EXPECT_EQ(ReadFile(remote + "/newer.txt"), "local copy");
    EXPECT_EQ(ReadFile(remote + "/older.txt"), "newer copy");
    EXPECT_EQ(KindsShown(rig), (QStringList{"newer.txt: same", "older.txt: same"}));
}

// Stopped (Escape in the publishing window) while the second of three goes up: every server copy is whole,
// the old one or the new one.
TEST(PublishStop, LeavesEveryServerCopyOldOrNew)
{
    QTemporaryDir remote;
    quillmar::test::ScriptedServer server({.folder = remote.path(), .storReadDelayMs = 5});
    WindowRig rig;
    const QStringList names{"one.jpg", "two.jpg", "three.jpg"};
    for (const QString& name : names) {
        WriteFile(rig.localFolder.filePath(name), QByteArray(4 * 1024 * 1024, name[1].toLatin1()));
        WriteFile(QDir(remote.path()).filePath(name), "old " + name.toUtf8());
    }
    OpenOnScriptedServer(rig, server);
    rig.find<QAction>("mnuPublish")->trigger();
    bool stopAsked = false;
    // The server's log, not the progress events, says when the second file is
    // on its way: the last progress of the first can arrive after it.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!stopAsked && server.commands().filter(QRegularExpression("^(STOR|APPE) ")).size() == 2) {
            stopAsked = true;
            // As the window system delivers a key: while the call runs.
            QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
                rig.find<QWidget>("frmPublish")->windowHandle(), QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        }
    });
    watch.start(2);
    PressPublish(rig);
    ASSERT_TRUE(stopAsked);
    EXPECT_EQ(rig.panel(1), "Status: Stopped.");
    QStringList states;
    for (const QString& name : names) {
        const QByteArray held = ReadFile(QDir(remote.path()).filePath(name));
        states << (held == ReadFile(rig.localFolder.filePath(name)) ? "new" : held == "old " + name.toUtf8() ? "old" : "damaged");
    }
    EXPECT_EQ(states, (QStringList{"new", "old", "old"}));
}

// Escape that reaches the publishing window between two files, when no call
// is running to be stopped, still ends the run there.
TEST(PublishStop, EscapeBetweenTwoFilesEndsTheRun)
{
    QTemporaryDir remote;
    quillmar::test::ScriptedServer server({.folder = remote.path()});
    WindowRig rig;
    const QStringList names{"one.jpg", "two.jpg", "three.jpg"};
    for (const QString& name : names)
        WriteFile(rig.localFolder.filePath(name), name.toUtf8());
    OpenOnScriptedServer(rig, server);
    rig.find<QAction>("mnuPublish")->trigger();
    bool stopAsked = false;
    // Busy(false) after the first rename: the first file's call has ended,
    // the next has not begun.
    QObject::connect(rig.find<quillmar::FtpComponent>("FTP1"), &quillmar::FtpComponent::Busy, [&](bool running) {
        if (running || stopAsked || server.commands().filter(QRegularExpression("^RNTO ")).size() != 1)
            return;
        stopAsked = true;
        QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::SynchronousDelivery>(
            rig.find<QWidget>("frmPublish")->windowHandle(), QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    });
    PressPublish(rig);
    ASSERT_TRUE(stopAsked);
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Stopped."));
    EXPECT_TRUE(rig.find<QWidget>("frmPublish")->isVisible());
    EXPECT_EQ(server.commands().filter(QRegularExpression("^(STOR|APPE) ")).size(), 1);
    EXPECT_EQ(QDir(remote.path()).entryList(QDir::Files).size(), 1);
}
