// Pictures as a person who puts them on the web sees them, against the real
// FTP server: previews kept by folder, every common format, web addresses,
// pictures made ready for the web, and previews fetched from the server.

#include "support/window_helpers.h"
#include "session/ftp_component.h"
#include "sites/file_list.h"

#include <QClipboard>
#include <QComboBox>
#include <QDirIterator>
#include <QGuiApplication>
#include <QMenu>

namespace {

QLabel* Note(QWidget& host) { return host.findChild<QLabel*>(QStringLiteral("picnote")); }

// The colour in the middle of a shown picture, as "red", "green" or "blue".
QString ShownColour(QLabel* image)
{
    if (image->isHidden() || image->pixmap().isNull())
        return QStringLiteral("none");
    const QColor c = image->pixmap().toImage().pixelColor(image->pixmap().rect().center());
    if (c.red() > 150 && c.green() < 100 && c.blue() < 100)
        return QStringLiteral("red");
    if (c.green() > 150 && c.red() < 100 && c.blue() < 100)
        return QStringLiteral("green");
    if (c.blue() > 150 && c.red() < 100 && c.green() < 100)
        return QStringLiteral("blue");
    return c.name();
}

void Upload(WindowRig& rig, const QString& name)
{
    ClickLocalFile(rig, name);
    rig.find<QAction>("Put")->trigger();
}

const char* const kDescribePhoto = R"(
import json, sys
from PIL import Image
im = Image.open(sys.argv[1])
exif = im.getexif()
rgb = im.convert("RGB")
w, h = im.size
print(json.dumps({"width": w, "height": h, "orientation": exif.get(0x0112, 1),
                  "model": exif.get(0x0110, ""), "gps": 0x8825 in exif and len(exif.get_ifd(0x8825)) > 0,
                  "left": list(rgb.getpixel((w // 4, h // 2))), "right": list(rgb.getpixel((3 * w // 4, h // 2)))}))
)";

bool Reddish(const QJsonValue& pixel) { return pixel[0].toInt() > 150 && pixel[2].toInt() < 100; }
bool Bluish(const QJsonValue& pixel) { return pixel[2].toInt() > 150 && pixel[0].toInt() < 100; }

TEST_F(ConnectedWindow, PicturesOfOneNameInTwoFoldersPreviewAsThemselvesHereAndInTheViewer)
{
    WritePicture(localPath(QStringLiteral("a.jpg")), 120, 80, Qt::green);
    WritePicture(localPath(QStringLiteral("c.png")), 120, 80, Qt::blue, "PNG");
    WritePicture(localPath(QStringLiteral("d.WEBP")), 120, 80, Qt::red, "WEBP");
    WritePicture(localPath(QStringLiteral("e.jpeg")), 120, 80, Qt::green);
    rig.presetStore({{QStringLiteral("Description"), QStringLiteral("Images")}});
    openConnected();
    QFile::remove(serverPath(QStringLiteral("a.jpg")));
    for (const char* name : {"a.jpg", "c.png", "d.WEBP", "e.jpeg"})
        Upload(rig, QLatin1String(name));
    // Replacing a.jpg (gone since the list was read) is asked, and answered Yes.
    ASSERT_TRUE(rig.dialogs.messageTexts().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    WritePicture(localPath(QStringLiteral("a.jpg")), 120, 80, Qt::red);  // a different picture of the same name
    DoubleClickServerRow(rig, QStringLiteral("images/"));
    Upload(rig, QStringLiteral("a.jpg"));
    ClickServerRow(rig, QStringLiteral("a.jpg"));
    EXPECT_EQ(ShownColour(PreviewImage(rig)), QStringLiteral("red"));

    // Saved as the listing of "Images", the site connected; then "Top" is
    // connected, back in the top folder.
    rig.form->connectionSettings().Description = QStringLiteral("Top");
    rig.form->Connect();
    const std::pair<const char*, const char*> top[] = {
        {"a.jpg", "green"}, {"c.png", "blue"}, {"d.WEBP", "red"}, {"e.jpeg", "green"}};
    for (const auto& [name, colour] : top) {
        ClickServerRow(rig, QLatin1String(name));
        EXPECT_EQ(ShownColour(PreviewImage(rig)), QLatin1String(colour)) << name;
    }

    // A rename on the server keeps the preview; a delete takes it away.
    rig.form->state().GotFocus = quillmar::FocusSide::Server;
    SelectRows(rig, {QStringLiteral("a.jpg")});
    rig.dialogs.queueInput(QStringLiteral("renamed.jpg"));
    rig.find<QAction>("mnuRename")->trigger();
    ClickServerRow(rig, QStringLiteral("renamed.jpg"));
    EXPECT_EQ(ShownColour(PreviewImage(rig)), QStringLiteral("green"));
    SelectRows(rig, {QStringLiteral("c.png")});
    rig.dialogs.queueConfirm(quillmar::Dialogs::ConfirmChoice::Yes);
    rig.find<QAction>("mnuDelete")->trigger();
    EXPECT_FALSE(QFileInfo::exists(cachePath(QStringLiteral("c.png"))));
    EXPECT_TRUE(rig.dialogs.messageTexts().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    rig.form->Disconnect();

    // The viewer shows each listing's own picture of the name; it offers the
    // sites of the store.
    WriteFile(rig.services.appFolder + QStringLiteral("/sites.snd"), "Images;x.example;a;b\r\nTop;x.example;a;b\r\n");
    rig.find<QAction>("mnuPrevConnect")->trigger();
    auto* viewer = rig.find<quillmar::FileList>("FileList");
    ASSERT_NE(viewer, nullptr);
    auto* combo = viewer->findChild<QComboBox*>(QStringLiteral("Combo1"));
    auto* rows = viewer->findChild<QListWidget*>(QStringLiteral("ListView1"));
    auto* viewerImage = viewer->findChild<QWidget*>(QStringLiteral("picback"))->findChild<QLabel*>(QStringLiteral("viewimage"));
    const std::pair<const char*, const char*> listings[] = {{"Images", "red"}, {"Top", "green"}};
    for (const auto& [listing, colour] : listings) {
        viewer->Combo1_Click(combo->findText(QLatin1String(listing)));
        const QString name = QLatin1String(listing) == QLatin1String("Top") ? QStringLiteral("renamed.jpg")
                                                                                  : QStringLiteral("a.jpg");
        rows->setCurrentItem(rows->findItems(name, Qt::MatchExactly).value(0));
        EXPECT_EQ(ShownColour(viewerImage), QLatin1String(colour)) << listing;
    }
    rows->setCurrentItem(rows->findItems(QStringLiteral("b.txt"), Qt::MatchExactly).value(0));
    EXPECT_FALSE(Note(*viewer)->isVisible());
}

TEST_F(ConnectedWindow, TheWebAddressOfARowIsCopiedOrTheReasonThereIsNone)
{
    QDir(server.root()).mkpath(QStringLiteral("public_html/my pics"));
    WriteFile(serverPath(QStringLiteral("public_html/my pics/Grüne Vase 1.jpg")), "vase");
    WritePicture(localPath(QStringLiteral("new one.jpg")), 20, 10);
    rig.presetStore({{QStringLiteral("WebAddress"), QStringLiteral("https://www.example.org/")},
                     {QStringLiteral("WebFolder"), QStringLiteral("/public_html")}});
    openConnected();
    auto* copy = rig.find<QAction>("mnuCopyWebAddress");
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(rig.find<QMenu>("mnuCommands")->actions().contains(copy)) << "the server list's context menu";

    // Outside the mapped folder: said, and nothing copied.
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    SelectRows(rig, {QStringLiteral("b.txt")});
    copy->trigger();
    ASSERT_EQ(rig.dialogs.messageTexts().size(), 1);
    EXPECT_TRUE(rig.dialogs.messageTexts().first().contains(QStringLiteral("outside the folder /public_html")))
        << rig.dialogs.messageTexts().first().toStdString();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));

    rig.dialogs.clear();
    DoubleClickServerRow(rig, QStringLiteral("public_html/"));
    DoubleClickServerRow(rig, QStringLiteral("my pics/"));
    const QString vase = QStringLiteral("https://www.example.org/my%20pics/Gr%C3%BCne%20Vase%201.jpg");
    SelectRows(rig, {QStringLiteral("Grüne Vase 1.jpg")});
    copy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), vase);
    EXPECT_TRUE(rig.panel(1).endsWith(vase)) << rig.panel(1).toStdString();
    Upload(rig, QStringLiteral("new one.jpg"));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Upload Complete: https://www.example.org/my%20pics/new%20one.jpg"));

    // A site without a web address says where to give one.
    rig.form->connectionSettings().WebAddress.clear();
    copy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), vase);
    EXPECT_TRUE(rig.dialogs.messageTexts().value(0).contains(QStringLiteral("site manager")))
        << rig.dialogs.messageTexts().join('|').toStdString();
}

TEST_F(ConnectedWindow, PhotosGoUpReadyForTheWebAndServerPicturesAreFetchedOnceForThePreview)
{
    const QString photo = localPath(QStringLiteral("camera.jpg"));
    WriteCameraPhoto(photo, 4000, 3000);
    WriteCameraPhoto(localPath(QStringLiteral("small.jpg")), 400, 300);
    QImage wide(2000, 1000, QImage::Format_RGB32);
    wide.fill(Qt::green);
    ASSERT_TRUE(wide.save(localPath(QStringLiteral("wide.png")), "PNG"));
    const QByteArray original = ReadFile(photo);
    WritePicture(serverPath(QStringLiteral("remote.jpg")), 120, 80, Qt::blue);
    const QByteArray remote = ReadFile(serverPath(QStringLiteral("remote.jpg")));
    QFile big(serverPath(QStringLiteral("big.jpg")));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(21 * 1000 * 1000));
    big.close();
    openConnected();
    auto* webReady = rig.find<QAction>("mnuWebReady");
    ASSERT_TRUE(webReady && webReady->isCheckable() && !webReady->isChecked());

    // Off: the server copy is the local file, byte for byte.
    Upload(rig, QStringLiteral("camera.jpg"));
    EXPECT_EQ(ReadFile(serverPath(QStringLiteral("camera.jpg"))), original);
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Upload Complete"));

    // On: over the same name, a smaller upright copy without its location.
    webReady->trigger();
    Upload(rig, QStringLiteral("camera.jpg"));
    EXPECT_TRUE(rig.dialogs.messageTexts().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Upload Complete (resized to 1200 x 1600, location removed)"));
    const QJsonObject sent = RunPython(QLatin1String(kDescribePhoto), {serverPath(QStringLiteral("camera.jpg"))});
    EXPECT_EQ(sent["width"].toInt(), 1200);
    EXPECT_EQ(sent["height"].toInt(), 1600);
    EXPECT_EQ(sent["orientation"].toInt(), 1);
    EXPECT_TRUE(Bluish(sent["left"]) && Reddish(sent["right"])) << "upright";
    EXPECT_FALSE(sent["gps"].toBool());
    EXPECT_EQ(sent["model"].toString(), QStringLiteral("QuillCam 7"));
    EXPECT_EQ(ReadFile(photo), original) << "the local original is never changed";
    EXPECT_EQ(ReadFile(cachePath(QStringLiteral("camera.jpg"))), ReadFile(serverPath(QStringLiteral("camera.jpg"))));

    // Small enough: not scaled, but upright and without the location (what
    // stays and what goes is the web-ready rules' test); a large PNG is scaled too.
    Upload(rig, QStringLiteral("small.jpg"));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Upload Complete (location removed)"));
    EXPECT_EQ(QImage(serverPath(QStringLiteral("small.jpg"))).size(), QSize(300, 400)) << "not scaled";
    Upload(rig, QStringLiteral("wide.png"));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Upload Complete (resized to 1600 x 800)"));
    EXPECT_EQ(QImage(serverPath(QStringLiteral("wide.png"))).size(), QSize(1600, 800));

    // Server pictures are fetched once for the preview, when asked.
    rig.dialogs.clear();
    auto* remotePreview = rig.find<QAction>("mnuRemotePreview");
    ASSERT_TRUE(remotePreview && remotePreview->isCheckable() && !remotePreview->isChecked());

    ClickServerRow(rig, QStringLiteral("remote.jpg"));  // off: as before, nothing fetched
    EXPECT_EQ(Note(*rig.form)->text(), QStringLiteral("Not in the picture cache"));
    EXPECT_FALSE(QFileInfo::exists(cachePath(QStringLiteral("remote.jpg"))));

    remotePreview->trigger();
    ClickServerRow(rig, QStringLiteral("remote.jpg"));
    EXPECT_EQ(ShownColour(PreviewImage(rig)), QStringLiteral("blue"));
    EXPECT_EQ(ReadFile(cachePath(QStringLiteral("remote.jpg"))), remote);
    // Gone from the server, still previewed: the second look is the cache's.
    QFile::remove(serverPath(QStringLiteral("remote.jpg")));
    ClickServerRow(rig, QStringLiteral("b.txt"));
    ClickServerRow(rig, QStringLiteral("remote.jpg"));
    EXPECT_EQ(ShownColour(PreviewImage(rig)), QStringLiteral("blue"));

    ClickServerRow(rig, QStringLiteral("big.jpg"));
    EXPECT_TRUE(Note(*rig.form)->text().contains(QStringLiteral("larger than 20 MB")));
    EXPECT_FALSE(QFileInfo::exists(cachePath(QStringLiteral("big.jpg"))));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(rig.form->ftp().State(), 1);

    rig.close();
    QSettings stored(rig.settingsFile(), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("Upload/RemotePreview")).toString(), QStringLiteral("True"));
    EXPECT_EQ(stored.value(QStringLiteral("Upload/WebReady")).toString(), QStringLiteral("True"));
    EXPECT_EQ(stored.value(QStringLiteral("Upload/MaxSide")).toString(), QStringLiteral("1600"));
}

// Qt reads a path that starts with ":" as a resource path; such names still
// land in their own folders: the download target, the cache copy of a folder
// and of a picture, the copy made for the web.
TEST_F(ConnectedWindow, NamesStartingWithAColonLandInTheirOwnFolders)
{
    const QString local = rig.localFolder.path() + QStringLiteral("/");
    QDir().mkdir(server.root() + QStringLiteral("/:x"));  // QDir::mkdir(":x") would make it in the working folder
    WritePicture(server.root() + QStringLiteral("/:d.jpg"), 120, 80, Qt::blue);
    WritePicture(local + QStringLiteral(":a.jpg"), 120, 80, Qt::green);
    openConnected();

    SelectRows(rig, {QStringLiteral(":d.jpg")});
    rig.find<QAction>("Get")->trigger();
    EXPECT_EQ(ReadFile(local + QStringLiteral(":d.jpg")), ReadFile(server.root() + QStringLiteral("/:d.jpg")));

    Upload(rig, QStringLiteral(":a.jpg"));
    EXPECT_EQ(ReadFile(cacheFolder() + QStringLiteral("/:a.jpg")), ReadFile(local + QStringLiteral(":a.jpg")));
    rig.find<QAction>("mnuWebReady")->trigger();
    DoubleClickServerRow(rig, QStringLiteral(":x/"));
    Upload(rig, QStringLiteral(":a.jpg"));
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Upload Complete"));
    const QByteArray sent = ReadFile(server.root() + QStringLiteral("/:x/:a.jpg"));
    EXPECT_TRUE(sent.startsWith("\xff\xd8")) << "the web copy went up";
    EXPECT_EQ(ReadFile(cacheFolder(QStringLiteral("/:x")) + QStringLiteral("/:a.jpg")), sent);
    ClickServerRow(rig, QStringLiteral(":a.jpg"));
    EXPECT_EQ(ShownColour(PreviewImage(rig)), QStringLiteral("green"));
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
    WriteFile(remote.filePath(QStringLiteral("big.jpg")), "tiny");   // listed, and sized, as 4 bytes
    const qsizetype megabyte = 1000 * 1000;
    quillmar::test::ServerScript script{.file = QByteArray(25 * megabyte, 'p'), .dripBytes = int(megabyte),
                                        .dripEveryMs = 20};
    script.folder = remote.path();
    quillmar::test::ScriptedServer server(script);
    WindowRig rig;
    OpenOnScriptedServer(rig, server);
    rig.form->state().upload.remotePreview = true;
    ClickServerRow(rig, QStringLiteral("big.jpg"));
    EXPECT_EQ(rig.form->ftp().State(), 1);
    EXPECT_TRUE(rig.panel(1).contains(QStringLiteral("larger than 20 MB"))) << rig.panel(1).toStdString();
    EXPECT_TRUE(Note(*rig.form)->text().contains(QStringLiteral("larger than 20 MB")));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    QDirIterator kept(rig.appFolder.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (kept.hasNext())
        EXPECT_FALSE(kept.next().contains(QStringLiteral("big"))) << kept.filePath().toStdString();
    rig.form->Refresh();   // the same session goes on
    EXPECT_EQ(RowTexts(rig), QStringList{QStringLiteral("big.jpg")});
}

}  // namespace
