#include "pictures/web_ready.h"

#include "pictures/picture_reading.h"
#include "session/entry_names.h"

#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QStringList>

#include <exiv2/exiv2.hpp>

#include <algorithm>

namespace quillmar {

namespace {

constexpr int kJpegQuality = 85;

// The facts a web copy keeps: what made the picture, when, by whom, and
// what it shows. Everything else stays on this computer.
const char* const kAllowedExif[] = {
    "Exif.Image.Make",   "Exif.Image.Model",     "Exif.Photo.DateTimeOriginal",
    "Exif.Image.Artist", "Exif.Image.Copyright", "Exif.Image.ImageDescription",
};
const char* const kAllowedXmp[] = {"Xmp.dc.title", "Xmp.dc.description", "Xmp.dc.creator", "Xmp.dc.rights"};

constexpr QByteArrayView kExifHeader("Exif\0\0", 6);
constexpr QByteArrayView kXmpStart("<x:xmpmeta");
constexpr QByteArrayView kXmpEnd("</x:xmpmeta>");

bool IsExifLocation(const std::string& key)
{
    return key.rfind("Exif.GPSInfo.", 0) == 0 || key == "Exif.Image.GPSTag";
}

// A property of any namespace that holds a position: exif:GPSLatitude, a
// drone maker's drone-dji:GpsLatitude, Iptc4xmpExt:LocationCreated. Only
// property names count, so a title that mentions a location is no position.
bool NamesLocation(QByteArrayView xmp)
{
    const QByteArray lower = xmp.toByteArray().toLower();
    return lower.contains(":gps") || lower.contains(":location");
}

bool ExifBlockHasLocation(QByteArrayView tiff)
{
    Exiv2::ExifData exif;
    try {
        Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte*>(tiff.data()), uint32_t(tiff.size()));
    } catch (const Exiv2::AnyError&) {
        return false;  // not an Exif block after all
    }
    return std::any_of(exif.begin(), exif.end(), [](const Exiv2::Exifdatum& d) { return IsExifLocation(d.key()); });
}

// A PNG text chunk written by other programs as "Raw profile type exif":
// a few header lines, then the Exif block in hexadecimal.
QByteArray RawProfile(QByteArrayView text)
{
    constexpr int kHeaderLines = 3;  // "", the profile's name, its length
    qsizetype at = -1;
    for (int line = 0; line < kHeaderLines; ++line) {
        at = text.indexOf('\n', at + 1);
        if (at < 0)
            return {};
    }
    return QByteArray::fromHex(text.sliced(at + 1).toByteArray());
}

bool BytesHaveLocation(QByteArrayView bytes);

// PNG places the plain scan cannot read: an eXIf chunk holds a bare Exif
// block; an uncompressed text chunk may hold one in hexadecimal.
bool PngChunksHaveLocation(QByteArrayView bytes)
{
    bool located = false;
    ForEachPngChunk(bytes, [&](QByteArrayView type, QByteArrayView data) {
        if (type == "eXIf")
            located = ExifBlockHasLocation(data);
        else if (type == "tEXt" && data.startsWith("Raw profile type"))
            located = BytesHaveLocation(RawProfile(data.sliced(data.indexOf('\0') + 1)));
        return !located;
    });
    return located;
}

// Every Exif block and XMP packet in the file, wherever it sits: a second
// Exif segment, a picture appended after the first, a PNG chunk.
bool BytesHaveLocation(QByteArrayView bytes)
{
    for (qsizetype at = bytes.indexOf(kExifHeader); at >= 0; at = bytes.indexOf(kExifHeader, at + 1)) {
        if (ExifBlockHasLocation(bytes.sliced(at + kExifHeader.size())))
            return true;
    }
    for (qsizetype at = bytes.indexOf(kXmpStart); at >= 0; at = bytes.indexOf(kXmpStart, at + 1)) {
        const qsizetype end = bytes.indexOf(kXmpEnd, at);
        if (NamesLocation(bytes.sliced(at, (end < 0 ? bytes.size() : end) - at)))
            return true;
    }
    return PngChunksHaveLocation(bytes);
}

// What the metadata reader finds too, compressed places included.
bool MetadataHasLocation(const Exiv2::Image& image)
{
    for (const auto& datum : image.exifData()) {
        if (IsExifLocation(datum.key()))
            return true;
    }
    for (const auto& datum : image.xmpData()) {
        // "Xmp.exif.GPSLatitude" read as "Xmp:exif:GPSLatitude".
        if (NamesLocation(QByteArray::fromStdString(datum.key()).replace('.', ':')))
            return true;
    }
    return false;
}

bool FileHasLocation(const QString& path, const Exiv2::Image& metadata)
{
    if (MetadataHasLocation(metadata))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const uchar* mapped = file.size() > 0 ? file.map(0, file.size()) : nullptr;
    return mapped && BytesHaveLocation(QByteArrayView(mapped, file.size()));
}

Exiv2::Image::AutoPtr OpenMetadata(const QString& path)
{
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    return image;
}

// The allowed facts and the colour profile of the original, and nothing
// else, on the copy.
void WriteAllowedFacts(Exiv2::Image& original, const QString& copy)
{
    Exiv2::ExifData exif;
    for (const char* key : kAllowedExif) {
        const auto found = original.exifData().findKey(Exiv2::ExifKey(key));
        if (found != original.exifData().end())
            exif.add(*found);
    }
    Exiv2::XmpData xmp;
    for (const char* key : kAllowedXmp) {
        const auto found = original.xmpData().findKey(Exiv2::XmpKey(key));
        if (found != original.xmpData().end())
            xmp.add(*found);
    }
    Exiv2::Image::AutoPtr target = OpenMetadata(copy);
    target->setExifData(exif);
    target->setXmpData(xmp);
    // A JPEG's colour profile is copied here; a PNG's came with its pixels,
    // since this library writes the PNG profile under a name readers refuse.
    if (original.iccProfileDefined() && !target->iccProfileDefined()) {
        Exiv2::DataBuf icc(original.iccProfile()->pData_, original.iccProfile()->size_);
        target->setIccProfile(icc, false);
    }
    target->writeMetadata();
}

// The pixels and their colour profile alone: the image reader hands a PNG's
// text chunks and a JPEG's comments along with the picture, and the writer
// would write them back.
QImage PixelsOnly(const QImage& decoded)
{
    const QImage rgb = decoded.convertToFormat(decoded.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QImage bare = QImage(rgb.constBits(), rgb.width(), rgb.height(), rgb.bytesPerLine(), rgb.format()).copy();
    bare.setColorSpace(decoded.colorSpace());
    return bare;
}

}  // namespace

WebReadyCopy PrepareForWeb(const QString& localFile, int maxSide, const QString& workFolder)
{
    const QString name = QFileInfo(localFile).fileName();
    const QString problem = PictureFileProblem(localFile);
    if (!problem.isEmpty())
        return {{}, {}, QStringLiteral("%1 could not be made ready for the web: %2").arg(name, problem)};
    UprightReader reader(localFile);
    const QByteArray format = reader.format();
    if (format != "jpeg" && format != "png")
        return {localFile, {}, {}};
    const QString copy = EntryPath(workFolder, name);
    QFile::remove(copy);
    try {
        Exiv2::Image::AutoPtr original = OpenMetadata(localFile);
        const bool located = FileHasLocation(localFile, *original);

        const QSize seen = reader.seenSize();
        const bool large = std::max(seen.width(), seen.height()) > maxSide;
        // Decoded already reduced: a 100-megapixel photo never exists whole in memory.
        if (large)
            reader.setSeenScaledSize(seen.scaled(QSize(maxSide, maxSide), Qt::KeepAspectRatio));
        const QImage picture = reader.read();
        if (picture.isNull())
            return {{}, {}, QStringLiteral("%1 could not be read to make it ready for the web: %2")
                                    .arg(name, reader.errorString())};
        QImageWriter writer(copy, format);
        if (format == "jpeg")
            writer.setQuality(kJpegQuality);
        if (!writer.write(PixelsOnly(picture)))
            return {{}, {}, QStringLiteral("The copy of %1 made for the web could not be written: %2")
                                    .arg(name, writer.errorString())};
        WriteAllowedFacts(*original, copy);
        if (FileHasLocation(copy, *OpenMetadata(copy))) {
            QFile::remove(copy);
            return {{}, {}, QStringLiteral("%1 could not be made ready for the web without its location.").arg(name)};
        }

        QStringList done;
        if (large)
            done << QStringLiteral("resized to %1 x %2").arg(picture.width()).arg(picture.height());
        if (located)
            done << QStringLiteral("location removed");
        return {copy, done.join(QStringLiteral(", ")), {}};
    } catch (const Exiv2::AnyError& error) {
        QFile::remove(copy);
        return {{}, {}, QStringLiteral("The metadata of %1 could not be handled: %2")
                            .arg(name, QString::fromStdString(error.what()))};
    }
}

}  // namespace quillmar
