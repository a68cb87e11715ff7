// The picture preview in the main window and the full-screen preview,
// through the real elements; the upload road from a local click to a
// preview from the cache.

#include "operations/ops_rig.h"
#include "pictures/local_pane.h"
#include "session/ftp_component.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTest>

namespace {

void ClickLocalFile(WindowRig& rig, const QString& name)
{
    auto* files = rig.find<QListWidget>("File1");
    QListWidgetItem* item = files->findItems(name, Qt::MatchExactly).value(0);
    ASSERT_NE(item, nullptr) << name.toStdString();
    files->scrollToItem(item);
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(item).center());
    ASSERT_EQ(files->currentItem(), item);
}

void ClickServerRow(WindowRig& rig, const QString& text)
{
    auto* view = rig.find<QAbstractItemView>("ListView1");
    const QModelIndex index = RowIndex(rig, text);
    ASSERT_TRUE(index.isValid()) << text.toStdString();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
}

QWidget* PreviewWindow()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QStringLiteral("imgPreview") && window->isVisible())
            return window;
    }
    return nullptr;
}

QLabel* Image(const WindowRig& rig) { return rig.find<QLabel>("viewimage"); }

// The picture shown is decoded at the size it is shown.
void ExpectShownAt(QLabel* image, const QRect& geometry)
{
    EXPECT_FALSE(image->isHidden());
    EXPECT_EQ(image->geometry(), geometry);
    EXPECT_EQ(image->pixmap().size(), geometry.size());
}

}  // namespace

TEST(Preview, LocalPicturesAreFittedInTheFrameAsLaidOutInTwips)
{
    // Frame 4740 x 4515 twips = 316 x 301 pixels; results in pixels, from the
    // twip positions rounded to the nearest pixel.
    struct Case {
        const char* name;
        int width, height;
        QRect expected;
    };
    const Case cases[] = {
        {"small.jpg", 200, 100, QRect(58, 101, 200, 100)},  // fits: natural size, centred
        {"wide.jpg", 316, 100, QRect(0, 101, 316, 100)},    // as wide as the frame: fitted to the width
        {"tall.jpg", 200, 600, QRect(108, 0, 100, 301)},    // fitted to the height
        {"exact.jpg", 316, 301, QRect(0, 0, 316, 301)},     // exactly the frame: scaled, not natural
        {"huge.JPG", 3000, 2000, QRect(0, 45, 316, 211)},   // decoded small, not at 6 megapixels
    };
    WindowRig rig;
    rig.open();
    for (const Case& c : cases)
        WritePicture(rig.localFolder.filePath(QLatin1String(c.name)), c.width, c.height);
    // Qt writes no GIF; a one-pixel GIF by hand.
    WriteBytes(rig.localFolder.filePath(QStringLiteral("dot.gif")),
               QByteArray::fromHex("47494638396101000100800000ffffff00000021f90401000000002c00000000010001000002024401003b"));
    rig.form->findChild<quillmar::LocalPane*>()->refreshFiles();
    ASSERT_EQ(rig.find<QWidget>("picback")->size(), QSize(316, 301));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClickLocalFile(rig, QLatin1String(c.name));
        ExpectShownAt(Image(rig), c.expected);
        EXPECT_TRUE(rig.panel(4).startsWith(QLatin1String(c.name) + QLatin1Char(' '))) << rig.panel(4).toStdString();
    }
    ClickLocalFile(rig, QStringLiteral("dot.gif"));
    ExpectShownAt(Image(rig), QRect(158, 150, 1, 1));
    EXPECT_EQ(rig.panel(4), QStringLiteral("dot.gif 43 bytes"));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}

TEST(Preview, NonPicturesClearAndBrokenPicturesLeaveAnEmptyFrame)
{
    WindowRig rig;
    rig.open();
    WritePicture(rig.localFolder.filePath(QStringLiteral("photo.jpg")), 200, 100);
    WriteBytes(rig.localFolder.filePath(QStringLiteral("readme.txt")), QByteArray(45120, 'r'));
    WriteBytes(rig.localFolder.filePath(QStringLiteral("broken.jpg")), QByteArray(5000, 'z'));
    WriteBytes(rig.localFolder.filePath(QStringLiteral("empty.gif")), QByteArray());
    WriteBytes(rig.localFolder.filePath(QStringLiteral("cut.jpg")), ReadBytes(rig.localFolder.filePath("photo.jpg")).left(20));
    rig.form->findChild<quillmar::LocalPane*>()->refreshFiles();

    ClickLocalFile(rig, QStringLiteral("photo.jpg"));
    const QRect shown = Image(rig)->geometry();
    ASSERT_FALSE(Image(rig)->pixmap().isNull());

    // Another kind of file takes the picture away; size and place stay.
    ClickLocalFile(rig, QStringLiteral("readme.txt"));
    EXPECT_TRUE(Image(rig)->pixmap().isNull());
    EXPECT_EQ(Image(rig)->geometry(), shown);
    EXPECT_EQ(rig.panel(4), QStringLiteral("readme.txt 45 KB"));

    for (const char* name : {"broken.jpg", "empty.gif", "cut.jpg"}) {
        SCOPED_TRACE(name);
        ClickLocalFile(rig, QStringLiteral("photo.jpg"));
        ClickLocalFile(rig, QLatin1String(name));
        EXPECT_TRUE(Image(rig)->isHidden() || Image(rig)->pixmap().isNull());
        EXPECT_TRUE(rig.find<QWidget>("picback")->isVisible());
    }
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}

TEST_F(ConnectedWindow, TheRoadOfOneUploadEndsWithAPreviewFromTheCache)
{
    WritePicture(localPath(QStringLiteral("shot.jpg")), 200, 100);
    quillmar::Form1& form = openConnected();
    form.findChild<quillmar::LocalPane*>()->refreshFiles();
    ASSERT_FALSE(QFileInfo::exists(rig.appFolder.filePath(QStringLiteral("Cache")))) << "a fresh installation";

    ClickLocalFile(rig, QStringLiteral("shot.jpg"));
    ExpectShownAt(Image(rig), QRect(58, 101, 200, 100));
    const qint64 length = QFileInfo(localPath(QStringLiteral("shot.jpg"))).size();

    QStringList trail;
    QObject::connect(&form.ftp(), &quillmar::FtpComponent::ListEntry, &form, [&] {
        trail << rig.panel(1);
        trail << (rig.redShown() ? QStringLiteral("red") : QStringLiteral("green"));
    });
    rig.find<QAction>("Put")->trigger();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(trail.value(0), QStringLiteral("Status: Uploading shot.jpg %1 bytes").arg(length));
    EXPECT_EQ(trail.value(1), QStringLiteral("red"));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Upload Complete"));
    EXPECT_TRUE(rig.greenShown());
    EXPECT_FALSE(rig.redShown());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(RowTexts(rig), (QStringList{"a.jpg", "b.txt", "images/", "shot.jpg"}));
    EXPECT_EQ(ReadBytes(cachePath(QStringLiteral("shot.jpg"))), ReadBytes(localPath(QStringLiteral("shot.jpg"))));

    // The server copy goes away behind the program's back: the preview still
    // shows, so it came from the cache and not from the server.
    QFile::remove(serverPath(QStringLiteral("shot.jpg")));
    ClickLocalFile(rig, QStringLiteral("shot.jpg"));
    ClickLocalFile(rig, QStringLiteral("shot.jpg"));
    Image(rig)->clear();
    ClickServerRow(rig, QStringLiteral("shot.jpg"));
    ExpectShownAt(Image(rig), QRect(58, 101, 200, 100));
    EXPECT_EQ(rig.panel(4), QStringLiteral("shot.jpg"));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Upload Complete"));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());

    // A folder row clears the picture; a picture without a cache entry
    // leaves an empty frame.
    ClickServerRow(rig, QStringLiteral("images/"));
    EXPECT_TRUE(Image(rig)->pixmap().isNull());
    EXPECT_EQ(rig.panel(4), QStringLiteral("images/"));
    ClickServerRow(rig, QStringLiteral("a.jpg"));
    EXPECT_TRUE(Image(rig)->isHidden());
    EXPECT_EQ(rig.panel(4), QStringLiteral("a.jpg"));
    EXPECT_FALSE(QFileInfo::exists(localPath(QStringLiteral("a.jpg")))) << "no download for a preview";
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}

TEST_F(ConnectedWindow, FullScreenPreviewFollowsTheActivePaneAndClosesOnKeyOrClick)
{
    WritePicture(localPath(QStringLiteral("local.jpg")), 40, 30);
    QDir().mkpath(rig.appFolder.filePath(QStringLiteral("Cache")));
    WritePicture(cachePath(QStringLiteral("a.jpg")), 2000, 1000);
    openConnected();
    rig.form->findChild<quillmar::LocalPane*>()->refreshFiles();

    // Server row first, then the local list: the local picture wins.
    ClickServerRow(rig, QStringLiteral("a.jpg"));
    ClickLocalFile(rig, QStringLiteral("local.jpg"));
    auto doubleClickPreview = [&] {
        QTest::mouseDClick(Image(rig), Qt::LeftButton, {}, QPoint(2, 2));
        return PreviewWindow();
    };
    QPointer<QWidget> window = doubleClickPreview();
    ASSERT_NE(window, nullptr);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window->geometry(), screen);
    auto* picback = window->findChild<QWidget*>(QStringLiteral("picback"));
    auto* image = window->findChild<QLabel*>(QStringLiteral("viewimage"));
    auto* label = window->findChild<QLabel*>(QStringLiteral("Label1"));
    ASSERT_TRUE(picback && image && label);
    EXPECT_EQ(picback->geometry(), window->rect());
    EXPECT_EQ(label->text(), QStringLiteral("Press any key, or click mouse on image to close window."));
    EXPECT_EQ(image->size(), QSize(40, 30)) << "smaller than the screen: natural size";
    EXPECT_EQ(image->geometry().center(), picback->rect().center());

    QTest::mouseClick(label, Qt::LeftButton);
    EXPECT_TRUE(window && window->isVisible()) << "the hint does not close the window";
    QTest::keyClick(window, Qt::Key_Space);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());

    // The server list used last: the cache copy, fitted to the screen.
    rig.form->state().GotFocus = 2;
    SelectRows(rig, {QStringLiteral("a.jpg")});
    window = doubleClickPreview();
    ASSERT_NE(window, nullptr);
    image = window->findChild<QLabel*>(QStringLiteral("viewimage"));
    EXPECT_FALSE(image->isHidden());
    EXPECT_TRUE(image->width() >= screen.width() - 1 || image->height() >= screen.height() - 1);
    EXPECT_NEAR(double(image->width()) / image->height(), 2.0, 0.02);
    QTest::mouseClick(image, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());

    // No row selected: the window opens without a picture; its background closes it.
    rig.find<QAbstractItemView>("ListView1")->clearSelection();
    window = doubleClickPreview();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->findChild<QLabel*>(QStringLiteral("viewimage"))->isHidden());
    picback = window->findChild<QWidget*>(QStringLiteral("picback"));
    QTest::mouseClick(picback, Qt::LeftButton, {}, QPoint(picback->width() - 5, picback->height() - 5));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}
