#include "pictures/picture_reading.h"

#include "pictures/picture_metadata.h"

#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QTransform>
#include <QtEndian>

#include <algorithm>
#include <stdexcept>

namespace quillmar {

namespace {

constexpr QByteArrayView kPngSignature("\x89PNG\r\n\x1a\n", 8);
constexpr qsizetype kPngChunkHeader = 8;  // length and type
constexpr qsizetype kPngChunkCrc = 4;
constexpr quint32 kPngLargestChunk = 0x7fffffff;  // what the format allows

bool Rotated(QImageIOHandler::Transformations turn)
{
    return turn.testFlag(QImageIOHandler::TransformationRotate90);
}

// The orientation the file's Exif gives, 1 when it gives none or none can be read.
int ExifOrientation(const QString& path)
{
    try {
        return Metadata().orientation(path);
    } catch (const std::runtime_error& error) {
        qWarning("%s", error.what());  // shown as stored
        return 1;
    }
}

}  // namespace

QString ForEachPngChunk(QByteArrayView bytes,
                        const std::function<bool(QByteArrayView type, QByteArrayView data)>& visit)
{
    if (!bytes.startsWith(kPngSignature))
        return {};
    qsizetype at = kPngSignature.size();
    while (at + kPngChunkHeader <= bytes.size()) {
        const quint32 length = qFromBigEndian<quint32>(bytes.data() + at);
        const QByteArrayView type = bytes.sliced(at + 4, 4);
        const qsizetype left = bytes.size() - at - kPngChunkHeader - kPngChunkCrc;
        if (length > kPngLargestChunk || qsizetype(length) > left)
            return QStringLiteral("it is damaged: a part of it claims %1 bytes, but the file holds only %2 more.")
                .arg(length)
                .arg(std::max<qsizetype>(left, 0));
        if (!visit(type, bytes.sliced(at + kPngChunkHeader, length)) || type == "IEND")
            break;
        at += kPngChunkHeader + qsizetype(length) + kPngChunkCrc;
    }
    return {};
}

QString PictureFileProblem(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return {};  // the reader says why it cannot read it
    // Mapped, not read: a large picture costs a walk over its chunk headers.
    const uchar* mapped = file.map(0, file.size());
    if (!mapped)
        return {};
    const QByteArrayView bytes(mapped, file.size());
    return ForEachPngChunk(bytes, [](QByteArrayView, QByteArrayView) { return true; });
}

QImageIOHandler::Transformations TurnOfOrientation(int orientation)
{
    using T = QImageIOHandler::Transformation;
    switch (orientation) {
    case 2: return T::TransformationMirror;
    case 3: return T::TransformationRotate180;
    case 4: return T::TransformationFlip;
    case 5: return T::TransformationFlipAndRotate90;
    case 6: return T::TransformationRotate90;
    case 7: return T::TransformationMirrorAndRotate90;
    case 8: return T::TransformationRotate270;
    default: return T::TransformationNone;
    }
}

UprightReader::UprightReader(const QString& path) : reader_(path)
{
    reader_.setDecideFormatFromContent(true);
    reader_.setAutoTransform(true);
    format_ = reader_.format();
    if (format_ == "png")
        turn_ = TurnOfOrientation(ExifOrientation(path));
}

QSize UprightReader::seenSize()
{
    const QSize stored = reader_.size();
    return Rotated(reader_.transformation() | turn_) ? stored.transposed() : stored;
}

void UprightReader::setSeenScaledSize(const QSize& seen)
{
    reader_.setScaledSize(Rotated(reader_.transformation() | turn_) ? seen.transposed() : seen);
}

QImage UprightReader::read()
{
    QImage picture = reader_.read();
    if (picture.isNull() || turn_ == QImageIOHandler::TransformationNone)
        return picture;
    // Mirrored first, then turned, as the reader does for a JPEG.
    if (turn_.testFlag(QImageIOHandler::TransformationMirror))
        picture = picture.mirrored(true, false);
    if (turn_.testFlag(QImageIOHandler::TransformationFlip))
        picture = picture.mirrored(false, true);
    if (turn_.testFlag(QImageIOHandler::TransformationRotate90)) {
        const QColorSpace profile = picture.colorSpace();  // a turned copy would lose it
        picture = picture.transformed(QTransform().rotate(90));
        picture.setColorSpace(profile);
    }
    return picture;
}

}  // namespace quillmar
