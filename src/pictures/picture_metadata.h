#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

namespace quillmar {

// A picture's metadata, read by the metadata module (Exiv2), which is loaded
// the first time a picture's metadata is needed rather than at start.

// A property of any namespace that holds a position: exif:GPSLatitude, a
// drone maker's drone-dji:GpsLatitude, Iptc4xmpExt:LocationCreated. Only
// property names count, so a title that mentions a location is no position.
inline bool NamesLocation(QByteArrayView xmp)
{
    const QByteArray lower = xmp.toByteArray().toLower();
    return lower.contains(":gps") || lower.contains(":location");
}

// The metadata of one file, open for as long as it is held.
class PictureMetadata {
public:
    virtual ~PictureMetadata() = default;
    // A position anywhere the metadata reader looks, compressed places included.
    virtual bool hasLocation() const = 0;
    // Puts the allowed facts and the colour profile of this picture, and
    // nothing else, on `copy`; throws std::runtime_error when it cannot.
    virtual void writeAllowedFactsTo(const QString& copy) const = 0;
};

class MetadataReader {
public:
    virtual ~MetadataReader() = default;
    // The orientation the file's Exif gives; 1 when it gives none or cannot be read.
    virtual int orientation(const QString& path) const = 0;
    // Whether a bare Exif block holds a position; false when it is no Exif block.
    virtual bool exifBlockHasLocation(QByteArrayView tiff) const = 0;
    // Throws std::runtime_error when the file's metadata cannot be read.
    virtual std::unique_ptr<PictureMetadata> open(const QString& path) const = 0;
};

// The reader from the metadata module, loaded on first use; throws
// std::runtime_error naming what is missing when the module cannot be loaded.
const MetadataReader& Metadata();

// What the module offers under the name kMetadataEntry.
using MetadataEntry = const MetadataReader* (*)();
inline constexpr char kMetadataEntry[] = "quillmar_metadata_reader";

}  // namespace quillmar
