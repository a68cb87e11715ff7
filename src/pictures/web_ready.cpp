#include "pictures/web_ready.h"

#include "pictures/picture_metadata.h"
#include "pictures/picture_reading.h"
#include "session/entry_names.h"

#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QStringList>

#include <algorithm>
#include <stdexcept>

namespace quillmar {

namespace {

constexpr int kJpegQuality = 85;

constexpr QByteArrayView kExifHeader("Exif\0\0", 6);
constexpr QByteArrayView kXmpStart("<x:xmpmeta");
constexpr QByteArrayView kXmpEnd("</x:xmpmeta>");

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
            located = Metadata().exifBlockHasLocation(data);
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
        if (Metadata().exifBlockHasLocation(bytes.sliced(at + kExifHeader.size())))
            return true;
    }
    for (qsizetype at = bytes.indexOf(kXmpStart); at >= 0; at = bytes.indexOf(kXmpStart, at + 1)) {
        const qsizetype end = bytes.indexOf(kXmpEnd, at);
        if (NamesLocation(bytes.sliced(at, (end < 0 ? bytes.size() : end) - at)))
            return true;
    }
    return PngChunksHaveLocation(bytes);
}

bool FileBytesHaveLocation(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const uchar* mapped = file.size() > 0 ? file.map(0, file.size()) : nullptr;
    return mapped && BytesHaveLocation(QByteArrayView(mapped, file.size()));
}

// What the metadata reader finds, and what a plain scan of the bytes finds.
bool FileHasLocation(const QString& path, const PictureMetadata& metadata)
{
    return metadata.hasLocation() || FileBytesHaveLocation(path);
}

// A format no fresh copy is made of: the metadata reader looks where it
// knows the format (a WebP's Exif is a bare block the scan cannot tell),
// the scan everywhere.
bool OtherFormatHasLocation(const QString& path)
{
    try {
        if (Metadata().open(path)->hasLocation())
            return true;
    } catch (const std::runtime_error&) {
        // A format the reader does not know; the scan still looks.
    }
    return FileBytesHaveLocation(path);
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
    if (format != "jpeg" && format != "png") {
        if (OtherFormatHasLocation(localFile))
            return {{}, {}, QStringLiteral("%1 could not be made ready for the web: it carries the place where it "
                                           "was taken, which is left out of JPEG and PNG pictures only. Turn off "
                                           "Prepare Pictures for the Web to send it as it is.")
                                .arg(name)};
        return {localFile, {}, {}};
    }
    const QString copy = EntryPath(workFolder, name);
    QFile::remove(copy);
    try {
        const MetadataReader& metadata = Metadata();
        const std::unique_ptr<PictureMetadata> original = metadata.open(localFile);
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
        original->writeAllowedFactsTo(copy);
        if (FileHasLocation(copy, *metadata.open(copy))) {
            QFile::remove(copy);
            return {{}, {}, QStringLiteral("%1 could not be made ready for the web without its location.").arg(name)};
        }

        QStringList done;
        if (large)
            done << QStringLiteral("resized to %1 x %2").arg(picture.width()).arg(picture.height());
        if (located)
            done << QStringLiteral("location removed");
        return {copy, done.join(QStringLiteral(", ")), {}};
    } catch (const std::runtime_error& error) {
        QFile::remove(copy);
        return {{}, {}, QStringLiteral("The metadata of %1 could not be handled: %2")
                            .arg(name, QString::fromStdString(error.what()))};
    }
}

}  // namespace quillmar
