#include "pictures/picture_reading.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>

namespace quillmar {

namespace {

constexpr QByteArrayView kPngSignature("\x89PNG\r\n\x1a\n", 8);
constexpr qsizetype kPngChunkHeader = 8;  // length and type
constexpr qsizetype kPngChunkCrc = 4;
constexpr quint32 kPngLargestChunk = 0x7fffffff;  // what the format allows

bool Rotated(QImageReader& reader)
{
    return reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
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

void ReadUpright(QImageReader& reader)
{
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
}

QSize SeenSize(QImageReader& reader)
{
    const QSize stored = reader.size();
    return Rotated(reader) ? stored.transposed() : stored;
}

void SetSeenScaledSize(QImageReader& reader, const QSize& seen)
{
    reader.setScaledSize(Rotated(reader) ? seen.transposed() : seen);
}

}  // namespace quillmar
