// The picture preview in the main window and the full-screen preview; the
// upload road from a local click to a preview from the cache.

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
    const struct {
        const char* name;
        int width, height;  // as stored
        bool turned;        // a camera photo whose EXIF orientation turns it a quarter
        QRect expected;     // in the 316 x 301 frame (the fitting's own cases are the rules test's)
    } cases[] = {
        {"small.jpg", 200, 100, false, QRect(58, 101, 200, 100)},  // natural size, centred
        {"huge.JPG", 3000, 2000, false, QRect(0, 45, 316, 211)},   // decoded small, not at 6 megapixels
        {"upright.jpg", 200, 100, true, QRect(108, 51, 100, 200)},
        {"upright large.jpg", 1800, 600, true, QRect(108, 0, 100, 301)},  // decoded small, then turned
        {":colon.jpg", 200, 100, false, QRect(58, 101, 200, 100)},  // a name, not a resource path
    };
    WindowRig rig;
    for (const auto& c : cases) {
        const QString path = rig.localFolder.path() + u'/' + QLatin1String(c.name);
        c.turned ? WriteCameraPhoto(path, c.width, c.height) : WritePicture(path, c.width, c.height);
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClickLocalFile(rig, QLatin1String(c.name));
        ExpectShownAt(PreviewImage(rig), c.expected);
        if (c.turned) {
            const QImage shown = PreviewImage(rig)->pixmap().toImage();
            EXPECT_GT(shown.pixelColor(shown.width() / 4, shown.height() / 2).blue(), 150) << "upright: blue on the left";
            EXPECT_GT(shown.pixelColor(3 * shown.width() / 4, shown.height() / 2).red(), 150);
        }
        EXPECT_TRUE(rig.panel(4).startsWith(QLatin1String(c.name) + QLatin1Char(' '))) << rig.panel(4).toStdString();
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

// While the list is re-read after an upload the status line still names it
// under the red light; the picture then previews from the cache.
TEST_F(ConnectedWindow, TheRoadOfOneUploadEndsWithAPreviewFromTheCache)
{
    WritePicture(localPath("shot.jpg"), 200, 100);
    quillmar::Form1& form = openConnected();
    QStringList trail;
    QObject::connect(&form.ftp(), &quillmar::FtpComponent::ListEntry, &form,
                     [&] { trail << rig.panel(1) << rig.light(); });
    ClickLocalFile(rig, "shot.jpg");
    rig.find<QAction>("Put")->trigger();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    const qint64 length = QFileInfo(localPath("shot.jpg")).size();
    EXPECT_EQ(trail.mid(0, 2), (QStringList{QStringLiteral("Status: Uploading shot.jpg %1 bytes").arg(length), "red"}));
    EXPECT_EQ(rig.panel(1), "Status: Upload Complete");
    EXPECT_EQ(rig.light(), "green");

    // The server copy goes away behind the program's back: the preview still
    // shows, so it came from the cache and not from the server.
    QFile::remove(serverPath("shot.jpg"));
    PreviewImage(rig)->clear();
    ClickServerRow(rig, "shot.jpg");
    ExpectShownAt(PreviewImage(rig), QRect(58, 101, 200, 100));
    EXPECT_EQ(rig.panel(4), "shot.jpg");
    ClickServerRow(rig, "images/");
    EXPECT_TRUE(PreviewImage(rig)->pixmap().isNull()) << "a folder row clears the picture";

    // The site's pictures and notes leave with its connection; a local one stays.
    ClickServerRow(rig, "a.jpg");
    ASSERT_TRUE(rig.find<QLabel>("picnote")->isVisible());
    ClickServerRow(rig, "shot.jpg");
    ASSERT_FALSE(PreviewImage(rig)->pixmap().isNull());
    form.Disconnect();
    EXPECT_TRUE(PreviewImage(rig)->pixmap().isNull()) << "the previous site's picture is forgotten";
    EXPECT_FALSE(rig.find<QLabel>("picnote")->isVisible());
    form.Connect();
    ClickLocalFile(rig, "shot.jpg");
    form.Disconnect();
    ExpectShownAt(PreviewImage(rig), QRect(58, 101, 200, 100));
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
    EXPECT_EQ(image->geometry().center(), window->rect().center());
    QTest::mouseClick(window->findChild<QLabel*>("Label1"), Qt::LeftButton);
    ASSERT_FALSE(closed()) << "the hint does not close the window";
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

    // No row selected: no picture; the background closes the window.
    ServerView(rig)->clearSelection();
    ASSERT_TRUE(open());
    EXPECT_TRUE(image->isHidden());
    QTest::mouseClick(window->findChild<QWidget*>("picback"), Qt::LeftButton, {},
                      QPoint(window->width() - 5, window->height() - 5));
    EXPECT_TRUE(closed());
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}
