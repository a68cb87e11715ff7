// The picture preview in the main window and the full-screen preview.

#include "support/window_helpers.h"
#include "session/ftp_component.h"

#include <QPointer>
#include <QScreen>

namespace {

// The picture shown is decoded at the size it is shown.
void ExpectShownAt(QLabel* image, const QRect& geometry)
{
    EXPECT_FALSE(image->isHidden());
    EXPECT_EQ(image->geometry(), geometry);
    EXPECT_EQ(image->pixmap().size(), geometry.size());
}

}  // namespace

TEST(Preview, LocalPicturesAreFittedInTheFrameAndWhatIsNoPictureLeavesItEmpty)
{
    // The name, the size as stored, whether it is a camera photo whose EXIF orientation turns it a quarter
    // (which way is the reader's test), where it shows in the 316 x 301 frame (the fitting's own cases are
    // the rules test's).
    const std::tuple<const char*, QSize, bool, QRect> cases[] = {
        {"small.jpg", {200, 100}, false, QRect(58, 101, 200, 100)},  // natural size, centred
        {"huge.JPG", {3000, 2000}, false, QRect(0, 45, 316, 211)},   // decoded small, not at 6 megapixels
        {"upright.jpg", {200, 100}, true, QRect(108, 51, 100, 200)},
        {"upright large.jpg", {1800, 600}, true, QRect(108, 0, 100, 301)},  // decoded small, then turned
        {":colon.jpg", {200, 100}, false, QRect(58, 101, 200, 100)},  // a name, not a resource path
    };
    WindowRig rig;
    for (const auto& [name, stored, turned, where] : cases) {
        const QString path = rig.localFolder.path() + u'/' + QLatin1String(name);
        turned ? WriteCameraPhoto(path, stored.width(), stored.height())
               : WritePicture(path, stored.width(), stored.height());
    }
    const QByteArray photo = ReadFile(rig.localFolder.filePath("small.jpg"));
    WriteFile(rig.localFolder.filePath("readme.txt"), QByteArray(45120, 'r'));
    WriteFile(rig.localFolder.filePath("broken.jpg"), QByteArray(5000, 'z'));
    WriteFile(rig.localFolder.filePath("empty.gif"), QByteArray());
    WriteFile(rig.localFolder.filePath("cut.jpg"), photo.left(20));
    WriteFile(rig.localFolder.filePath("gone.jpg"), photo);
    rig.open();
    QFile::remove(rig.localFolder.filePath("gone.jpg"));  // listed, then removed
    ASSERT_EQ(rig.find<QWidget>("picback")->size(), QSize(316, 301));
    for (const auto& [name, stored, turned, where] : cases) {
        SCOPED_TRACE(name);
        ClickLocalFile(rig, QLatin1String(name));
        ExpectShownAt(PreviewImage(rig), where);
        EXPECT_TRUE(rig.panel(4).startsWith(QLatin1String(name) + QLatin1Char(' '))) << rig.panel(4).toStdString();
    }

    // What is no picture clears the frame; a broken or missing picture leaves it empty.
    ClickLocalFile(rig, "small.jpg");
    const QRect shown = PreviewImage(rig)->geometry();
    ClickLocalFile(rig, "readme.txt");
    EXPECT_TRUE(PreviewImage(rig)->pixmap().isNull());
    EXPECT_EQ(PreviewImage(rig)->geometry(), shown);
    EXPECT_EQ(rig.panel(4), "readme.txt 45.1 KB");
    for (const char* name : {"broken.jpg", "empty.gif", "cut.jpg", "gone.jpg"}) {
        SCOPED_TRACE(name);
        ClickLocalFile(rig, "small.jpg");
        ASSERT_FALSE(PreviewImage(rig)->pixmap().isNull());
        ClickLocalFile(rig, QLatin1String(name));
        EXPECT_TRUE(PreviewImage(rig)->isHidden() || PreviewImage(rig)->pixmap().isNull());
        EXPECT_TRUE(rig.find<QWidget>("picback")->isVisible());
    }
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}

TEST_F(ConnectedWindow, FullScreenPreviewFollowsTheActivePaneAndClosesOnKeyOrClick)
{
    WriteCameraPhoto(localPath("local.jpg"), 40, 30);  // seen upright, 30 x 40
    WriteCameraPhoto(cachePath("a.jpg"), 2000, 1000);  // seen upright, 1000 x 2000
    openConnected();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QPointer<QWidget> window;
    QLabel* image = nullptr;
    auto open = [&] {
        QTest::mouseDClick(PreviewImage(rig), Qt::LeftButton, {}, QPoint(2, 2));
        for (QWidget* top : QApplication::topLevelWidgets())
            window = top->objectName() == "imgPreview" && top->isVisible() ? top : window.data();
        image = window ? window->findChild<QLabel*>("viewimage") : nullptr;
        return window && image && window->geometry() == screen;
    };
    auto closed = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window.isNull();
    };

    // Server row first, then the local list: the local picture, natural size.
    ClickServerRow(rig, "a.jpg");
    ClickLocalFile(rig, "local.jpg");
    ASSERT_TRUE(open());
    EXPECT_EQ(image->size(), QSize(30, 40));
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_TRUE(closed());

    // The server list used last: the cache copy, fitted to the screen.
    rig.form->state().GotFocus = quillmar::FocusSide::Server;
    SelectRows(rig, {"a.jpg"});
    ASSERT_TRUE(open());
    EXPECT_TRUE(image->width() >= screen.width() - 1 || image->height() >= screen.height() - 1);
    EXPECT_NEAR(double(image->width()) / image->height(), 0.5, 0.02);
    QTest::mouseClick(image, Qt::LeftButton);
    EXPECT_TRUE(closed());
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}
