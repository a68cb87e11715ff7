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
    const QByteArray photo = ReadFile(rig.localFolder.filePath(QStringLiteral("small.jpg")));
    WriteFile(rig.localFolder.filePath(QStringLiteral("readme.txt")), QByteArray(45120, 'r'));
    WriteFile(rig.localFolder.filePath(QStringLiteral("broken.jpg")), QByteArray(5000, 'z'));
    WriteFile(rig.localFolder.filePath(QStringLiteral("empty.gif")), QByteArray());
    WriteFile(rig.localFolder.filePath(QStringLiteral("cut.jpg")), photo.left(20));
    WriteFile(rig.localFolder.filePath(QStringLiteral("gone.jpg")), photo);
    rig.open();
    QFile::remove(rig.localFolder.filePath(QStringLiteral("gone.jpg")));  // listed, then removed
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
    ClickLocalFile(rig, QStringLiteral("small.jpg"));
    const QRect shown = PreviewImage(rig)->geometry();
    ClickLocalFile(rig, QStringLiteral("readme.txt"));
    EXPECT_TRUE(PreviewImage(rig)->pixmap().isNull());
    EXPECT_EQ(PreviewImage(rig)->geometry(), shown);
    EXPECT_EQ(rig.panel(4), QStringLiteral("readme.txt 45.1 KB"));
    for (const char* name : {"broken.jpg", "empty.gif", "cut.jpg", "gone.jpg"}) {
        SCOPED_TRACE(name);
        ClickLocalFile(rig, QStringLiteral("small.jpg"));
        ASSERT_FALSE(PreviewImage(rig)->pixmap().isNull());
        ClickLocalFile(rig, QLatin1String(name));
        EXPECT_TRUE(PreviewImage(rig)->isHidden() || PreviewImage(rig)->pixmap().isNull());
        EXPECT_TRUE(rig.find<QWidget>("picback")->isVisible());
    }
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}

TEST_F(ConnectedWindow, TheRoadOfOneUploadEndsWithAPreviewFromTheCache)
{
    WritePicture(localPath(QStringLiteral("shot.jpg")), 200, 100);
    quillmar::Form1& form = openConnected();
    ClickLocalFile(rig, QStringLiteral("shot.jpg"));
    ExpectShownAt(PreviewImage(rig), QRect(58, 101, 200, 100));

    QStringList trail;  // the status and light while the list is re-read
    QObject::connect(&form.ftp(), &quillmar::FtpComponent::ListEntry, &form, [&] {
        trail << rig.panel(1) << rig.light();
    });
    rig.find<QAction>("Put")->trigger();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    const qint64 length = QFileInfo(localPath(QStringLiteral("shot.jpg"))).size();
    EXPECT_EQ(trail.mid(0, 2), (QStringList{QStringLiteral("Status: Uploading shot.jpg %1 bytes").arg(length), "red"}));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Upload Complete"));
    EXPECT_EQ(rig.light(), "green");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(RowTexts(rig), (QStringList{"a.jpg", "b.txt", "images/", "shot.jpg"}));
    EXPECT_EQ(ReadFile(cachePath(QStringLiteral("shot.jpg"))), ReadFile(localPath(QStringLiteral("shot.jpg"))));

    // The server copy goes away behind the program's back: the preview still
    // shows, so it came from the cache and not from the server.
    QFile::remove(serverPath(QStringLiteral("shot.jpg")));
    PreviewImage(rig)->clear();
    ClickServerRow(rig, QStringLiteral("shot.jpg"));
    ExpectShownAt(PreviewImage(rig), QRect(58, 101, 200, 100));
    EXPECT_EQ(rig.panel(4), QStringLiteral("shot.jpg"));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Upload Complete"));

    // A folder row clears the picture; a picture not in the cache says so in
    // the frame and is not downloaded for it.
    ClickServerRow(rig, QStringLiteral("images/"));
    EXPECT_TRUE(PreviewImage(rig)->pixmap().isNull());
    ClickServerRow(rig, QStringLiteral("a.jpg"));
    EXPECT_TRUE(PreviewImage(rig)->isHidden());
    EXPECT_TRUE(rig.find<QLabel>("picnote")->isVisible());
    EXPECT_EQ(rig.find<QLabel>("picnote")->text(), QStringLiteral("Not in the picture cache"));
    EXPECT_EQ(rig.panel(4), QStringLiteral("a.jpg"));
    EXPECT_FALSE(QFileInfo::exists(localPath(QStringLiteral("a.jpg"))));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());

    // The site's pictures and notes leave with its connection; a local one stays.
    ClickServerRow(rig, QStringLiteral("shot.jpg"));
    ASSERT_FALSE(PreviewImage(rig)->pixmap().isNull());
    form.Disconnect();
    EXPECT_TRUE(PreviewImage(rig)->pixmap().isNull()) << "the previous site's picture is forgotten";
    EXPECT_FALSE(rig.find<QLabel>("picnote")->isVisible());
    form.Connect();
    ClickLocalFile(rig, QStringLiteral("shot.jpg"));
    form.Disconnect();
    ExpectShownAt(PreviewImage(rig), QRect(58, 101, 200, 100));
}

TEST_F(ConnectedWindow, FullScreenPreviewFollowsTheActivePaneAndClosesOnKeyOrClick)
{
    WriteCameraPhoto(localPath(QStringLiteral("local.jpg")), 40, 30);  // seen upright, 30 x 40
    WriteCameraPhoto(cachePath(QStringLiteral("a.jpg")), 2000, 1000);  // seen upright, 1000 x 2000
    openConnected();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QPointer<QWidget> window;
    QLabel* image = nullptr;
    auto open = [&] {
        QTest::mouseDClick(PreviewImage(rig), Qt::LeftButton, {}, QPoint(2, 2));
        for (QWidget* top : QApplication::topLevelWidgets())
            window = top->objectName() == QStringLiteral("imgPreview") && top->isVisible() ? top : window.data();
        image = window ? window->findChild<QLabel*>(QStringLiteral("viewimage")) : nullptr;
        return window && image && window->geometry() == screen;
    };
    auto closed = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window.isNull();
    };

    // Server row first, then the local list: the local picture, natural size.
    ClickServerRow(rig, QStringLiteral("a.jpg"));
    ClickLocalFile(rig, QStringLiteral("local.jpg"));
    ASSERT_TRUE(open());
    EXPECT_EQ(image->size(), QSize(30, 40));
    EXPECT_EQ(image->geometry().center(), window->rect().center());
    QTest::mouseClick(window->findChild<QLabel*>(QStringLiteral("Label1")), Qt::LeftButton);
    ASSERT_FALSE(closed()) << "the hint does not close the window";
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_TRUE(closed());

    // The server list used last: the cache copy, fitted to the screen.
    rig.form->state().GotFocus = quillmar::FocusSide::Server;
    SelectRows(rig, {QStringLiteral("a.jpg")});
    ASSERT_TRUE(open());
    EXPECT_TRUE(image->width() >= screen.width() - 1 || image->height() >= screen.height() - 1);
    EXPECT_NEAR(double(image->width()) / image->height(), 0.5, 0.02);
    QTest::mouseClick(image, Qt::LeftButton);
    EXPECT_TRUE(closed());

    // No row selected: no picture; the background closes the window.
    ServerView(rig)->clearSelection();
    ASSERT_TRUE(open());
    EXPECT_TRUE(image->isHidden());
    QTest::mouseClick(window->findChild<QWidget*>(QStringLiteral("picback")), Qt::LeftButton, {}, QPoint(window->width() - 5, window->height() - 5));
    EXPECT_TRUE(closed());
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}
