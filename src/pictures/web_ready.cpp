#include "pictures/web_ready.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QStringList>

#include <exiv2/exiv2.hpp>

namespace quillmar {

namespace {

constexpr int kJpegQuality = 85;

bool IsLocation(const std::string& key)
{
    return key.rfind("Exif.GPSInfo.", 0) == 0 || key == "Exif.Image.GPSTag" || key.rfind("Xmp.exif.GPS", 0) == 0;
}

template <class Data>
bool EraseLocation(Data& data)
{
    bool erased = false;
    for (auto it = data.begin(); it != data.end();) {
        if (IsLocation(it->key())) {
            it = data.erase(it);
            erased = true;
        } else {
            ++it;
        }
    }
    return erased;
}

bool HasLocation(const Exiv2::Image& image)
{
    for (const auto& datum : image.exifData()) {
        if (IsLocation(datum.key()))
            return true;
    }
    for (const auto& datum : image.xmpData()) {
        if (IsLocation(datum.key()))
            return true;
    }
    return false;
}

Exiv2::Image::AutoPtr OpenMetadata(const QString& path)
{
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    return image;
}

// The metadata of the original on the scaled copy: upright, its new size, no
// thumbnail of the old orientation, no location.
void CarryMetadata(Exiv2::Image& original, const QString& copy, const QSize& size)
{
    Exiv2::ExifData exif = original.exifData();
    Exiv2::XmpData xmp = original.xmpData();
    EraseLocation(exif);
    EraseLocation(xmp);
    Exiv2::ExifThumb(exif).erase();
    if (exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation")) != exif.end())
        exif["Exif.Image.Orientation"] = uint16_t(1);
    if (xmp.findKey(Exiv2::XmpKey("Xmp.tiff.Orientation")) != xmp.end())
        xmp["Xmp.tiff.Orientation"] = "1";
    for (const auto& [key, value] : {std::pair{"Exif.Photo.PixelXDimension", size.width()},
                                     std::pair{"Exif.Photo.PixelYDimension", size.height()}}) {
        if (exif.findKey(Exiv2::ExifKey(key)) != exif.end())
            exif[key] = uint32_t(value);
    }
    Exiv2::Image::AutoPtr target = OpenMetadata(copy);
    target->setExifData(exif);
    target->setIptcData(original.iptcData());
    target->setXmpData(xmp);
    target->setComment(original.comment());
    target->writeMetadata();
}

// The size as the picture is seen: a quarter turn swaps the sides.
QSize SeenSize(QImageReader& reader)
{
    const QSize stored = reader.size();
    return reader.transformation().testFlag(QImageIOHandler::TransformationRotate90) ? stored.transposed() : stored;
}

}  // namespace

WebReadyCopy PrepareForWeb(const QString& localFile, int maxSide, const QString& workFolder)
{
    QImageReader reader(localFile);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    const bool jpeg = format == "jpeg";
    if (!jpeg && format != "png")
        return {localFile, {}, {}};
    const QString copy = QDir(workFolder).filePath(QFileInfo(localFile).fileName());
    const QString name = QFileInfo(localFile).fileName();
    try {
        Exiv2::Image::AutoPtr original;
        if (jpeg)
            original = OpenMetadata(localFile);
        const bool located = original.get() && HasLocation(*original);
        const QSize seen = SeenSize(reader);
        const bool large = std::max(seen.width(), seen.height()) > maxSide;
        if (!large && !located)
            return {localFile, {}, {}};

        QStringList done;
        QFile::remove(copy);
        if (large) {
            reader.setAutoTransform(true);
            const QImage picture = reader.read();
            if (picture.isNull())
                return {{}, {}, QStringLiteral("%1 could not be read to make it ready for the web: %2")
                                    .arg(name, reader.errorString())};
            const QImage scaled =
                picture.scaled(QSize(maxSide, maxSide), Qt::KeepAspectRatio, Qt::SmoothTransformation);
            QImageWriter writer(copy, format);
            if (jpeg)
                writer.setQuality(kJpegQuality);
            if (!writer.write(scaled))
                return {{}, {}, QStringLiteral("The copy of %1 made for the web could not be written: %2")
                                    .arg(name, writer.errorString())};
            if (original.get())
                CarryMetadata(*original, copy, scaled.size());
            done << QStringLiteral("resized to %1 x %2").arg(scaled.width()).arg(scaled.height());
        } else {
            if (!QFile::copy(localFile, copy))
                return {{}, {}, QStringLiteral("%1 could not be copied to remove its location.").arg(name)};
            QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::WriteOwner);
            Exiv2::Image::AutoPtr target = OpenMetadata(copy);
            EraseLocation(target->exifData());
            EraseLocation(target->xmpData());
            target->writeMetadata();
        }
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
