#pragma once

#include <QByteArrayView>
#include <QImageIOHandler>
#include <QImageReader>
#include <QSize>
#include <QString>

#include <functional>

namespace quillmar {

// Reading pictures as they are meant to be seen: upright by their EXIF
// orientation, decoded no larger than needed, and refused before decoding
// when the file cannot be what it claims.

// Why the picture file must not be handed to an image reader; empty when it
// may. A PNG part that claims more bytes than the file holds would make the
// reader reserve that much memory (1 GiB from a file of a few hundred bytes).
QString PictureFileProblem(const QString& path);

// Calls visit with each chunk's type and data of the PNG in bytes, up to
// IEND or until visit returns false; why the chunks cannot be walked when a
// chunk claims more than the bytes hold, empty otherwise. Bytes that are no
// PNG have no chunks.
QString ForEachPngChunk(QByteArrayView bytes,
                        const std::function<bool(QByteArrayView type, QByteArrayView data)>& visit);

// The turn an EXIF orientation (1 to 8) asks for.
QImageIOHandler::Transformations TurnOfOrientation(int orientation);

// A picture file read upright. Qt turns JPEGs itself; for a PNG the
// orientation comes from the file's Exif.
class UprightReader {
public:
    explicit UprightReader(const QString& path);

    QByteArray format() const { return format_; }
    // The size as the picture is seen: a quarter turn swaps the sides.
    QSize seenSize();
    // Decodes straight at the given seen size. The reader scales in the
    // file's stored orientation, before the picture is turned.
    void setSeenScaledSize(const QSize& seen);
    // The picture upright; null on failure, with errorString() saying why.
    QImage read();
    QString errorString() const { return reader_.errorString(); }

private:
    QImageReader reader_;
    QByteArray format_;
    QImageIOHandler::Transformations turn_;  // what read() still has to do after the reader
};

}  // namespace quillmar
