// Pictures as a person who puts them on the web sees them, against the real
// FTP server: previews kept by folder, every common format, web addresses,
// pictures made ready for the web, and previews fetched from the server.

#include "support/window_helpers.h"
#include "session/ftp_component.h"
#include "pictures/picture_cache.h"
#include "pictures/web_ready.h"
#include "sites/file_list.h"

#include <QClipboard>
#include <QComboBox>
#include <QDirIterator>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>

namespace {

QLabel* Note(QWidget& host) { return host.findChild<QLabel*>("picnote"); }

// The colour in the middle of a shown picture, as "red", "green" or "blue".
QString ShownColour(QLabel* image)
{
    if (image->isHidden() || image->pixmap().isNull())
        return "none";
    const QColor c = image->pixmap().toImage().pixelColor(image->pixmap().rect().center());
    if (c.red() > 150 && c.green() < 100 && c.blue() < 100)
        return "red";
    if (c.green() > 150 && c.red() < 100 && c.blue() < 100)
        return "green";
    if (c.blue() > 150 && c.red() < 100 && c.green() < 100)
        return "blue";
    return c.name();
}

void Upload(WindowRig& rig, const QString& name)
{
    ClickLocalFile(rig, name);
    rig.find<QAction>("Put")->trigger();
}

TEST_F(ConnectedWindow, PicturesOfOneNameInTwoFoldersPreviewAsThemselvesHereAndInTheViewer)
{
    WritePicture(localPath("a.jpg"), 120, 80, Qt::green);
    WritePicture(localPath("c.png"), 120, 80, Qt::blue, "PNG");
    WritePicture(localPath("d.WEBP"), 120, 80, Qt::red, "WEBP");
    WritePicture(localPath("e.jpeg"), 120, 80, Qt::green);
    rig.presetStore({{"Description", "Images"}});
    openConnected();
    QFile::remove(serverPath("a.jpg"));
    for (const char* name : {"a.jpg", "c.png", "d.WEBP", "e.jpeg"})
        Upload(rig, QLatin1String(name));
    // Replacing a.jpg (gone since the list was read) is asked, and answered Yes.
    ASSERT_TRUE(rig.dialogs.messageTexts().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    // Once the cache holds copies of its own, the local file may change.
    ASSERT_TRUE(QTest::qWaitFor([&] { return quillmar::SharedCacheEntries(rig.services.appFolder) == 0; }));
    WritePicture(localPath("a.jpg"), 120, 80, Qt::red);  // a different picture of the same name
    DoubleClickServerRow(rig, "images/");
    Upload(rig, "a.jpg");
    ClickServerRow(rig, "a.jpg");
    EXPECT_EQ(ShownColour(PreviewImage(rig)), "red");

    // Saved as the listing of "Images", the site connected; then "Top" is
    // connected, back in the top folder.
    rig.form->connectionSettings().Description = "Top";
    rig.form->Connect();
    const std::pair<const char*, const char*> top[] = {
        {"a.jpg", "green"}, {"c.png", "blue"}, {"d.WEBP", "red"}, {"e.jpeg", "green"}};
    for (const auto& [name, colour] : top) {
        ClickServerRow(rig, name);
        EXPECT_EQ(ShownColour(PreviewImage(rig)), colour) << name;
    }

    // A delete on the server takes the preview away.
    rig.form->state().GotFocus = quillmar::FocusSide::Server;
    SelectRows(rig, {"c.png"});
    rig.dialogs.queueConfirm(quillmar::Dialogs::ConfirmChoice::Yes);
    rig.find<QAction>("mnuDelete")->trigger();
    EXPECT_FALSE(QFileInfo::exists(cachePath("c.png")));
    EXPECT_TRUE(rig.dialogs.messageTexts().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();

    // A folder row clears the picture; the site's picture leaves with its
    // connection, a local one stays.
    ClickServerRow(rig, "a.jpg");
    ClickServerRow(rig, "images/");
    EXPECT_EQ(ShownColour(PreviewImage(rig)), "none");
    ClickServerRow(rig, "a.jpg");
    rig.form->Disconnect();
    EXPECT_EQ(ShownColour(PreviewImage(rig)), "none");
    rig.form->Connect();
    ClickLocalFile(rig, "d.WEBP");
    rig.form->Disconnect();
    EXPECT_EQ(ShownColour(PreviewImage(rig)), "red");

    // The viewer shows each listing's own picture of the name; it offers the
    // sites of the store.
    WriteFile(rig.services.appFolder + "/sites.snd", "Images;x.example;a;b\r\nTop;x.example;a;b\r\n");
    rig.find<QAction>("mnuPrevConnect")->trigger();
    auto* viewer = rig.find<quillmar::FileList>("FileList");
    ASSERT_NE(viewer, nullptr);
    auto* combo = viewer->findChild<QComboBox*>("Combo1");
    auto* rows = viewer->findChild<QListWidget*>("ListView1");
    auto* viewerImage = viewer->findChild<QWidget*>("picback")->findChild<QLabel*>("viewimage");
    const std::pair<const char*, const char*> listings[] = {{"Images", "red"}, {"Top", "green"}};
    for (const auto& [listing, colour] : listings) {
        viewer->Combo1_Click(combo->findText(listing));
        rows->setCurrentItem(rows->findItems("a.jpg", Qt::MatchExactly).value(0));
        EXPECT_EQ(ShownColour(viewerImage), colour) << listing;
    }
    rows->setCurrentItem(rows->findItems("b.txt", Qt::MatchExactly).value(0));
    EXPECT_FALSE(Note(*viewer)->isVisible());
}

TEST_F(ConnectedWindow, TheWebAddressOfARowIsCopiedOrTheReasonThereIsNone)
{
    QDir(server.root()).mkpath("public_html/my pics");
    WriteFile(serverPath("public_html/my pics/Grüne Vase 1.jpg"), "vase");
    WritePicture(localPath("new one.jpg"), 20, 10);
    rig.presetStore({{"WebAddress", "https://127.0.0.2/"}, {"WebFolder", "/public_html"}});
    openConnected();
    auto* copy = rig.find<QAction>("mnuCopyWebAddress");
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(rig.find<QMenu>("mnuCommands")->actions().contains(copy)) << "the server list's context menu";

    DoubleClickServerRow(rig, "public_html/");
    DoubleClickServerRow(rig, "my pics/");
    const QString vase = "https://127.0.0.2/my%20pics/Gr%C3%BCne%20Vase%201.jpg";
    SelectRows(rig, {"Grüne Vase 1.jpg"});
    copy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), vase);
    EXPECT_TRUE(rig.panel(1).endsWith(vase)) << rig.panel(1).toStdString();
    Upload(rig, "new one.jpg");
    EXPECT_EQ(rig.panel(1), "Status: Upload Complete: https://127.0.0.2/my%20pics/new%20one.jpg");

    // A site without a web address says where to give one, and copies nothing.
    rig.form->connectionSettings().WebAddress.clear();
    copy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), vase);
    EXPECT_TRUE(rig.dialogs.messageTexts().value(0).contains("site manager"))
        << rig.dialogs.messageTexts().join('|').toStdString();
}

TEST_F(ConnectedWindow, PhotosGoUpReadyForTheWebAndServerPicturesAreFetchedOnceForThePreview)
{
    const QString photo = localPath("camera.jpg");
    WriteCameraPhoto(photo, 4000, 3000);
    const QByteArray original = ReadFile(photo);
    WritePicture(serverPath("remote.jpg"), 120, 80, Qt::blue);
    const QByteArray remote = ReadFile(serverPath("remote.jpg"));
    QFile big(serverPath("big.jpg"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(21 * 1000 * 1000));
    big.close();
    openConnected();
    auto* webReady = rig.find<QAction>("mnuWebReady");
    ASSERT_TRUE(webReady && webReady->isCheckable() && !webReady->isChecked());

    // Off: the server copy is the local file, byte for byte.
    Upload(rig, "camera.jpg");
    EXPECT_EQ(ReadFile(serverPath("camera.jpg")), original);
    EXPECT_EQ(rig.panel(1), "Status: Upload Complete");

    // On: it goes up over the same name as the copy the web-ready rules make
    // (what it holds and its note for each kind of picture are their test's).
    webReady->trigger();
    Upload(rig, "camera.jpg");
    EXPECT_EQ(rig.panel(1), "Status: Upload Complete (resized to 1200 x 1600, location removed)");
    QTemporaryDir work;
    EXPECT_EQ(ReadFile(serverPath("camera.jpg")), ReadFile(quillmar::PrepareForWeb(photo, 1600, work.path()).file));
    EXPECT_TRUE(rig.dialogs.messageTexts().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(ReadFile(photo), original) << "the local original is never changed";
    EXPECT_EQ(ReadFile(cachePath("camera.jpg")), ReadFile(serverPath("camera.jpg")));

    // Server pictures are fetched once for the preview, when asked.
    rig.dialogs.clear();
    auto* remotePreview = rig.find<QAction>("mnuRemotePreview");
    ASSERT_TRUE(remotePreview && remotePreview->isCheckable() && !remotePreview->isChecked());

    ClickServerRow(rig, "remote.jpg");  // off: as before, nothing fetched
    EXPECT_EQ(Note(*rig.form)->text(), "Not in the picture cache");
    EXPECT_FALSE(QFileInfo::exists(cachePath("remote.jpg")));

    remotePreview->trigger();
    ClickServerRow(rig, "remote.jpg");
    EXPECT_EQ(ShownColour(PreviewImage(rig)), "blue");
    EXPECT_EQ(ReadFile(cachePath("remote.jpg")), remote);
    // Gone from the server, still previewed: the second look is the cache's.
    QFile::remove(serverPath("remote.jpg"));
    ClickServerRow(rig, "b.txt");
    ClickServerRow(rig, "remote.jpg");
    EXPECT_EQ(ShownColour(PreviewImage(rig)), "blue");

    ClickServerRow(rig, "big.jpg");
    EXPECT_TRUE(Note(*rig.form)->text().contains("larger than 20 MB"));
    EXPECT_FALSE(QFileInfo::exists(cachePath("big.jpg")));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(rig.form->ftp().State(), 1);

    rig.close();
    QSettings stored(rig.settingsFile(), QSettings::IniFormat);
    EXPECT_EQ(stored.value("Upload/RemotePreview").toString(), "True");
    EXPECT_EQ(stored.value("Upload/WebReady").toString(), "True");
    EXPECT_EQ(stored.value("Upload/MaxSide").toString(), "1600");
}

// Qt reads a path that starts with ":" as a resource path; such names still
// land in their own folders: the download target, the cache copy of a folder
// and of a picture, the copy made for the web.
TEST_F(ConnectedWindow, NamesStartingWithAColonLandInTheirOwnFolders)
{
    const QString local = rig.localFolder.path() + "/";
    QDir().mkdir(server.root() + "/:x");  // QDir::mkdir(":x") would make it in the working folder
    WritePicture(server.root() + "/:d.jpg", 120, 80, Qt::blue);
    WritePicture(local + ":a.jpg", 120, 80, Qt::green);
    openConnected();

    SelectRows(rig, {":d.jpg"});
    rig.find<QAction>("Get")->trigger();
    EXPECT_EQ(ReadFile(local + ":d.jpg"), ReadFile(server.root() + "/:d.jpg"));

    rig.find<QAction>("mnuWebReady")->trigger();
    DoubleClickServerRow(rig, ":x/");
    Upload(rig, ":a.jpg");
    EXPECT_EQ(rig.panel(1), "Status: Upload Complete");
    const QByteArray sent = ReadFile(server.root() + "/:x/:a.jpg");
    EXPECT_TRUE(sent.startsWith("\xff\xd8")) << "the web copy went up";
    EXPECT_EQ(ReadFile(cacheFolder("/:x") + "/:a.jpg"), sent);
    ClickServerRow(rig, ":a.jpg");
    EXPECT_EQ(ShownColour(PreviewImage(rig)), "green");

    // Publishing reads the local file from its own folder too.
    rig.find<QAction>("Publish")->trigger();
    QTest::mouseClick(rig.find<QPushButton>("cmdPublish"), Qt::LeftButton);
    EXPECT_TRUE(rig.panel(1).startsWith("Status: Published 2 files")) << rig.panel(1).toStdString();
    EXPECT_TRUE(ReadFile(server.root() + "/:x/:d.jpg").startsWith("\xff\xd8"));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(QDir(local).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{":a.jpg", ":d.jpg"}))
        << "nothing else in the working folder";
}

// A picture that turns out larger than the cap while it is fetched (its
// listing said less) stops that transfer only: the session stays.
TEST(PreviewFetch, APictureOverTheCapStopsOnlyItsTransfer)
{
    QTemporaryDir remote;
    WriteFile(remote.filePath("big.jpg"), "tiny");  // listed, and sized, as 4 bytes
    const qsizetype megabyte = 1000 * 1000;
    quillmar::test::ServerScript script{.file = QByteArray(25 * megabyte, 'p'), .dripBytes = int(megabyte),
                                        .dripEveryMs = 20};
    script.folder = remote.path();
    quillmar::test::ScriptedServer server(script);
    WindowRig rig;
    OpenOnScriptedServer(rig, server);
    rig.form->state().upload.remotePreview = true;
    ClickServerRow(rig, "big.jpg");
    EXPECT_EQ(rig.form->ftp().State(), 1);
    EXPECT_TRUE(rig.panel(1).contains("larger than 20 MB")) << rig.panel(1).toStdString();
    EXPECT_TRUE(Note(*rig.form)->text().contains("larger than 20 MB"));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    QDirIterator kept(rig.appFolder.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (kept.hasNext())
        EXPECT_FALSE(kept.next().contains("big")) << kept.filePath().toStdString();
    rig.form->Refresh();   // the same session goes on
    EXPECT_EQ(RowTexts(rig), QStringList{"big.jpg"});
}

}  // namespace
