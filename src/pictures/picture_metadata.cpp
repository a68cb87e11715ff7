// The metadata module: everything that reads or writes metadata with Exiv2.
#include "pictures/picture_metadata.h"

#include <QFile>

#include <exiv2/exiv2.hpp>

#include <stdexcept>
#include <type_traits>

namespace quillmar {

namespace {

// The facts a web copy keeps: what made the picture, when, by whom, and
// what it shows. Everything else stays on this computer.
const char* const kAllowedExif[] = {
    "Exif.Image.Make",   "Exif.Image.Model",     "Exif.Photo.DateTimeOriginal",
    "Exif.Image.Artist", "Exif.Image.Copyright", "Exif.Image.ImageDescription",
};
const char* const kAllowedXmp[] = {"Xmp.dc.title", "Xmp.dc.description", "Xmp.dc.creator", "Xmp.dc.rights"};

bool IsExifLocation(const std::string& key)
{
    return key.rfind("Exif.GPSInfo.", 0) == 0 || key == "Exif.Image.GPSTag";
}

Exiv2::Image::AutoPtr OpenImage(const QString& path)
{
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    return image;
}

// The library's own failures leave this module as the standard kind.
template <typename Work>
auto Translated(Work&& work)
{
    try {
        return work();
    } catch (const Exiv2::AnyError& error) {
        throw std::runtime_error(error.what());
    }
}

class ExivMetadata : public PictureMetadata {
public:
    explicit ExivMetadata(Exiv2::Image::AutoPtr image) : image_(std::move(image)) {}

    bool hasLocation() const override
    {
        for (const auto& datum : image_->exifData()) {
            if (IsExifLocation(datum.key()))
                return true;
        }
        for (const auto& datum : image_->xmpData()) {
            // "Xmp.exif.GPSLatitude" read as "Xmp:exif:GPSLatitude".
            if (NamesLocation(QByteArray::fromStdString(datum.key()).replace('.', ':')))
                return true;
        }
        return false;
    }

    void writeAllowedFactsTo(const QString& copy) const override
    {
        Translated([&] { writeAllowedFacts(copy); });
    }

private:
    void writeAllowedFacts(const QString& copy) const
    {
        Exiv2::Image& original = *image_;
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
        Exiv2::Image::AutoPtr target = OpenImage(copy);
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

    Exiv2::Image::AutoPtr image_;
};

class ExivReader : public MetadataReader {
public:
    int orientation(const QString& path) const override
    {
        try {
            const auto image = OpenImage(path);
            const auto found = image->exifData().findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
            return found == image->exifData().end() ? 1 : int(found->toLong());
        } catch (const Exiv2::AnyError&) {
            return 1;  // unreadable metadata leaves the picture as stored
        }
    }

    bool exifBlockHasLocation(QByteArrayView tiff) const override
    {
        Exiv2::ExifData exif;
        try {
            Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte*>(tiff.data()), uint32_t(tiff.size()));
        } catch (const Exiv2::AnyError&) {
            return false;  // not an Exif block after all
        }
        for (const auto& datum : exif) {
            if (IsExifLocation(datum.key()))
                return true;
        }
        return false;
    }

    std::unique_ptr<PictureMetadata> open(const QString& path) const override
    {
        return Translated(
            [&]() -> std::unique_ptr<PictureMetadata> { return std::make_unique<ExivMetadata>(OpenImage(path)); });
    }
};

}  // namespace

}  // namespace quillmar

// The entry the program resolves when it first loads this module.
extern "C" Q_DECL_EXPORT const quillmar::MetadataReader* quillmar_metadata_reader()
{
    static const quillmar::ExivReader reader;
    return &reader;
}
static_assert(std::is_same_v<decltype(&quillmar_metadata_reader), quillmar::MetadataEntry>);
