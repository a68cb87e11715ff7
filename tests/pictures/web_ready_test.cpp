// Web copies of pictures: every place a position can hide is emptied, the
// allowed facts and the colour profile stay, large photos are decoded
// reduced, and damaged files are refused before they are decoded.

#include "pictures/picture_frame.h"
#include "pictures/picture_reading.h"
#include "pictures/preview.h"
#include "pictures/web_ready.h"
#include "support/window_helpers.h"

#include <QColorSpace>
#include <QtEndian>

#include <exiv2/exiv2.hpp>

namespace {

// Pictures 64 x 48, stored turned by orientation 6, each with the position
// 52°31'47" N 13°24'29" E (52.529861, 13.408056) in one hiding place, and
// the allowed facts in the first Exif block where the place leaves it free.
const char* const kMakePictures = R"(
import io, struct, sys
from PIL import Image, ImageCms
from PIL.PngImagePlugin import PngInfo
folder = sys.argv[1]
LAT, LON = (52.0, 31.0, 47.0), (13.0, 24.0, 29.0)

def exif(gps=False, facts=True):
    e = Image.Exif()
    e[0x0112] = 6
    if facts:
        e.update({0x010F: "QuillMaker", 0x0110: "QuillCam 7", 0x013B: "Ada Artist",
                  0x8298: "(c) Ada", 0x010E: "A red vase"})
        e[0x8769] = {0x9003: "2024:05:06 07:08:09"}
    if gps:
        e[0x8825] = {1: "N", 2: LAT, 3: "E", 4: LON}
    return e.tobytes()

def xmp(ns, body):
    return ('<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?><x:xmpmeta xmlns:x="adobe:ns:meta/">'
            '<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description rdf:about="" '
            'xmlns:dc="http://purl.org/dc/elements/1.1/" ' + ns + '><dc:title><rdf:Alt>'
            '<rdf:li xml:lang="x-default">Red vase, our location</rdf:li></rdf:Alt></dc:title>' + body +
            '</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end="w"?>')

DRONE = xmp('xmlns:drone-dji="http://www.dji.com/drone-dji/1.0/"',
            '<drone-dji:GpsLatitude>52.529861</drone-dji:GpsLatitude>'
            '<drone-dji:GpsLongitude>13.408056</drone-dji:GpsLongitude>')
IPTC = xmp('xmlns:Iptc4xmpExt="http://iptc.org/std/Iptc4xmpExt/2008-02-29/"',
           '<Iptc4xmpExt:LocationCreated><rdf:Bag><rdf:li rdf:parseType="Resource">'
           '<Iptc4xmpExt:City>Berlin</Iptc4xmpExt:City>'
           '<Iptc4xmpExt:GPSLatitude>52.529861</Iptc4xmpExt:GPSLatitude>'
           '</rdf:li></rdf:Bag></Iptc4xmpExt:LocationCreated>')

def picture():
    im = Image.new("RGB", (64, 48), (30, 30, 220))
    im.paste((220, 30, 30), (0, 0, 64, 24))
    return im

def jpeg(exif_bytes, icc=None):
    out = io.BytesIO()
    picture().save(out, "JPEG", quality=90, exif=exif_bytes, **({"icc_profile": icc} if icc else {}))
    return out.getvalue()

def app1(payload):
    return b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload

def after_metadata(data, segments):  # before the first table, behind what PIL wrote
    at = data.index(b"\xff\xdb")
    return data[:at] + segments + data[at:]

def png(name, info=None, **extra):
    picture().save(folder + "/" + name, "PNG", pnginfo=info, **extra)

def write(name, data):
    open(folder + "/" + name, "wb").write(data)

icc = ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB")).tobytes()
write("clean.jpg", jpeg(exif(), icc))
write("exif.jpg", jpeg(exif(gps=True)))
for name, packet in (("titled.jpg", xmp("", "")), ("drone-xmp.jpg", DRONE), ("iptc-xmp.jpg", IPTC)):
    write(name, after_metadata(jpeg(exif()), app1(b"http://ns.adobe.com/xap/1.0/\0" + packet.encode())))
write("second-exif.jpg", after_metadata(jpeg(exif()), app1(exif(gps=True, facts=False))))
write("both-exif.jpg", after_metadata(jpeg(exif(gps=True)), app1(exif(gps=True, facts=False))))
write("appended.jpg", jpeg(exif()) + jpeg(exif(gps=True, facts=False)))
png("exif-chunk.png", exif=exif(gps=True), icc_profile=icc)
for name, zipped in (("raw-profile.png", False), ("raw-profile-zip.png", True)):
    info, blob = PngInfo(), exif(gps=True)
    info.add_text("Raw profile type exif", "\nexif\n%8d\n%s\n" % (len(blob), blob.hex()), zip=zipped)
    png(name, info)
for name, chunk, key, text in (("xmp.png", "add_itxt", "XML:com.adobe.xmp", DRONE),
                               ("text.png", "add_text", "Comment", "taken at 52.529861, 13.408056")):
    info = PngInfo()
    getattr(info, chunk)(key, text)
    png(name, info, exif=exif())
for name, extra in (("clean.webp", {"exif": exif()}), ("exif.webp", {"exif": exif(gps=True)}),
                    ("xmp.webp", {"xmp": DRONE.encode()})):
    picture().save(folder + "/" + name, "WEBP", **extra)
picture().save(folder + "/plain.gif", "GIF")
print("{}")
)";

// Any trace of the position: its degrees 52/1 31/1 47/1 as Exif rationals
// in either byte order, or as text.
QStringList PositionTraces(const QByteArray& bytes)
{
    QStringList traces;
    if (bytes.contains(QByteArray::fromHex("34000000010000001f000000010000002f00000001000000")) ||
        bytes.contains(QByteArray::fromHex("00000034000000010000001f000000010000002f00000001")))
        traces << "GPS rationals";
    for (const char* text : {"52.5298", "13.4080", "Berlin", "52,31"}) {
        if (bytes.contains(text))
            traces << QLatin1String(text);
    }
    return traces;
}

// Every Exif and XMP datum of a file, key to value.
std::map<std::string, std::string> ReadMetadata(const QString& path)
{
    std::map<std::string, std::string> facts;
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    for (const auto& datum : image->exifData())
        facts[datum.key()] = datum.toString();
    for (const auto& datum : image->xmpData())
        facts[datum.key()] = datum.toString();
    return facts;
}

TEST(WebReady, NoPositionIsLeftInAnyPlaceAndTheAllowedFactsStay)
{
    QTemporaryDir folder, work;
    RunPython(QLatin1String(kMakePictures), {folder.path()});
    const struct {
        const char* name;
        bool noted;    // known as a position: the note says it was removed
        bool traced;   // the position shows in the file's bytes as they are
        bool facts;    // the allowed facts were in the first Exif block
        bool icc;
        bool title;    // an XMP title: "Red vase, our location", which is no position
    } cases[] = {
        {"clean.jpg", false, false, true, true, false},
        {"titled.jpg", false, false, true, false, true},
        {"exif.jpg", true, true, true, false, false},
        {"drone-xmp.jpg", true, true, true, false, true},
        {"iptc-xmp.jpg", true, true, true, false, true},
        {"second-exif.jpg", true, true, true, false, false},
        {"both-exif.jpg", true, true, true, false, false},
        {"appended.jpg", true, true, true, false, false},
        {"exif-chunk.png", true, true, true, true, false},
        {"raw-profile.png", true, false, false, false, false},  // in hexadecimal
        {"raw-profile-zip.png", true, false, false, false, false},  // compressed
        {"xmp.png", true, true, true, false, true},
        {"text.png", false, true, true, false, false},  // free text: not known as a position, but not sent
    };
    const std::pair<const char*, const char*> allowed[] = {
        {"Exif.Image.Make", "QuillMaker"},          {"Exif.Image.Model", "QuillCam 7"},
        {"Exif.Image.Artist", "Ada Artist"},        {"Exif.Image.Copyright", "(c) Ada"},
        {"Exif.Image.ImageDescription", "A red vase"}, {"Exif.Photo.DateTimeOriginal", "2024:05:06 07:08:09"},
    };
    // As they are, and scaled down (through the image reader and writer): the
    // longest side allowed, the size seen and the note of the scaling.
    const std::tuple<int, QSize, const char*> sides[] = {{1600, QSize(48, 64), ""}, {32, QSize(24, 32), "resized to 24 x 32"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString original = folder.filePath(QLatin1String(c.name));
        EXPECT_EQ(PositionTraces(ReadFile(original)).isEmpty(), !c.traced) << "the original";
        for (const auto& [maxSide, seen, resized] : sides) {
            SCOPED_TRACE(maxSide);
            const quillmar::WebReadyCopy copy = quillmar::PrepareForWeb(original, maxSide, work.path());
            ASSERT_TRUE(copy.error.isEmpty()) << copy.error.toStdString();
            ASSERT_NE(copy.file, original);
            QStringList note{QLatin1String(resized)};
            if (c.noted)
                note << "location removed";
            note.removeAll(QString());
            EXPECT_EQ(copy.note, note.join(", "));

            const QByteArray sent = ReadFile(copy.file);
            EXPECT_EQ(PositionTraces(sent), QStringList());
            EXPECT_EQ(sent.count("\xff\xd8\xff"), sent.startsWith("\xff\xd8") ? 1 : 0) << "one picture, none appended";
            EXPECT_FALSE(sent.contains("eXIf"));
            const auto facts = ReadMetadata(copy.file);
            for (const auto& [key, value] : facts) {
                EXPECT_FALSE(QByteArray::fromStdString(key).toLower().contains("gps")) << key;
                EXPECT_FALSE(QByteArray::fromStdString(key).toLower().contains("location")) << key;
            }
            EXPECT_EQ(facts.count("Exif.Image.Orientation"), 0u) << "the pixels are upright";
            const QImage upright(copy.file);
            EXPECT_EQ(upright.size(), seen);
            EXPECT_GT(upright.pixelColor(upright.width() / 4, upright.height() / 2).blue(), 150) << "blue on the left";
            EXPECT_EQ(sent.count("ICC_PROFILE") + sent.count("iCCP"), c.icc ? 1 : 0) << "one colour profile";
            EXPECT_EQ(upright.colorSpace().isValid(), c.icc);
            EXPECT_EQ(facts.count("Xmp.dc.title") ? facts.at("Xmp.dc.title") : "<none>",
                      c.title ? "lang=\"x-default\" Red vase, our location" : "<none>");
            if (!c.facts)
                continue;
            for (const auto& [key, value] : allowed)
                EXPECT_EQ(facts.count(key) ? facts.at(key) : "<none>", value) << key;
        }
    }
}

// No fresh copy is made of other formats: they go up as they are, unless
// they carry a position, and then not at all.
TEST(WebReady, OtherFormatsGoAsTheyAreUnlessTheyCarryAPosition)
{
    QTemporaryDir folder, work;
    RunPython(QLatin1String(kMakePictures), {folder.path()});
    const std::pair<const char*, bool> cases[] = {   // refused
        {"clean.webp", false}, {"plain.gif", false}, {"exif.webp", true}, {"xmp.webp", true}};
    for (const auto& [name, refused] : cases) {
        SCOPED_TRACE(name);
        const QString original = folder.filePath(QLatin1String(name));
        const quillmar::WebReadyCopy copy = quillmar::PrepareForWeb(original, 1600, work.path());
        EXPECT_EQ(copy.file, refused ? QString() : original);
        EXPECT_EQ(copy.error.contains("carries the place where it was taken"), refused) << copy.error.toStdString();
    }
}

// Qt turns a JPEG by its orientation itself; a PNG is turned by its Exif
// here. Both must come out alike, for each of the eight orientations.
TEST(WebReady, PngAndJpegAreTurnedAlikeForEveryOrientation)
{
    QTemporaryDir folder;
    RunPython(QStringLiteral(R"(
import sys
from PIL import Image
im = Image.new("RGB", (60, 40), (255, 255, 255))
for box, colour in (((0, 0, 30, 20), (220, 0, 0)), ((30, 0, 60, 20), (0, 200, 0)), ((0, 20, 30, 40), (0, 0, 220))):
    im.paste(colour, box)
for n in range(1, 9):
    exif = Image.Exif()
    exif[0x0112] = n
    for kind in ("JPEG", "PNG"):
        im.save("%s/%d.%s" % (sys.argv[1], n, kind.lower()), kind, exif=exif.tobytes(), quality=95)
print("{}")
)"),
              {folder.path()});
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        quillmar::UprightReader jpeg(folder.filePath(QStringLiteral("%1.jpeg").arg(orientation)));
        quillmar::UprightReader png(folder.filePath(QStringLiteral("%1.png").arg(orientation)));
        const QSize seen = jpeg.seenSize();
        EXPECT_EQ(seen, orientation >= 5 ? QSize(40, 60) : QSize(60, 40));
        EXPECT_EQ(png.seenSize(), seen);
        const QImage byQt = jpeg.read(), byExif = png.read();
        ASSERT_EQ(byQt.size(), seen);
        ASSERT_EQ(byExif.size(), seen);
        for (const QPoint& quarter : {QPoint(1, 1), QPoint(3, 1), QPoint(1, 3), QPoint(3, 3)}) {
            const QPoint at(quarter.x() * seen.width() / 4, quarter.y() * seen.height() / 4);
            const QColor a = byQt.pixelColor(at), b = byExif.pixelColor(at);
            EXPECT_LT(std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()), 60)
                << at.x() << "," << at.y() << ": " << a.name().toStdString() << " and " << b.name().toStdString();
        }
    }
}

// A photo too large to be decoded whole under Qt's reading limit is decoded
// already reduced, and upright.
TEST(WebReady, AFiftyMegapixelPhotoIsPrepared)
{
    QTemporaryDir folder, work;
    const QString photo = folder.filePath("large.jpg");
    WriteCameraPhoto(photo, 8660, 5773);
    const quillmar::WebReadyCopy copy = quillmar::PrepareForWeb(photo, 1600, work.path());
    ASSERT_TRUE(copy.error.isEmpty()) << copy.error.toStdString();
    const QImage sent(copy.file);
    EXPECT_EQ(sent.height(), 1600);
    EXPECT_NEAR(sent.width(), 1600.0 * 5773 / 8660, 1.0);
    EXPECT_EQ(copy.note, QStringLiteral("resized to %1 x 1600, location removed").arg(sent.width()));
    EXPECT_GT(sent.pixelColor(sent.width() / 4, sent.height() / 2).blue(), 150) << "upright: blue on the left";
    EXPECT_EQ(PositionTraces(ReadFile(copy.file)), QStringList());
}

// A PNG whose text chunk claims 1 GiB is refused before any reader reserves
// that much: for the web copy with a reason, in the preview as an empty frame.
TEST(WebReady, APngWhosePartClaimsMoreThanTheFileIsRefusedBeforeDecoding)
{
    QTemporaryDir folder, work;
    const QString path = folder.filePath("claims.png");
    WritePicture(path, 4, 4, Qt::red, "PNG");
    const QByteArray png = ReadFile(path);
    const qsizetype idat = png.indexOf("IDAT") - 4;
    QByteArray claim(4, 0);
    qToBigEndian(quint32(1) << 30, claim.data());
    WriteFile(path, png.left(idat) + claim + "tEXtComment" + QByteArray(1, 0) + "x" + png.mid(idat));
    ASSERT_LT(QFileInfo(path).size(), 1000);

    const quillmar::WebReadyCopy copy = quillmar::PrepareForWeb(path, 1600, work.path());
    EXPECT_TRUE(copy.file.isEmpty());
    EXPECT_TRUE(copy.error.startsWith("claims.png could not be made ready for the web: it is damaged"))
        << copy.error.toStdString();
    EXPECT_TRUE(copy.error.contains(QString::number(quint32(1) << 30))) << copy.error.toStdString();

    QWidget host;
    host.resize(200, 200);
    const quillmar::PictureFrame frame = quillmar::AddPictureFrame(&host);
    frame.picback->resize(200, 200);
    quillmar::ShowImage(path, host);
    EXPECT_TRUE(frame.viewimage->isHidden());
    EXPECT_TRUE(frame.viewimage->pixmap().isNull());
}

}  // namespace
