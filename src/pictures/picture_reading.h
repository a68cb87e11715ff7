#pragma once

#include <QByteArrayView>
#include <QSize>
#include <QString>

#include <functional>

class QImageReader;

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

// A reader of the file that turns the picture upright as it reads.
void ReadUpright(QImageReader& reader);

// The size as the picture is seen: a quarter turn swaps the sides.
QSize SeenSize(QImageReader& reader);

// Decodes straight at the given seen size. The reader scales in the file's
// stored orientation, before the picture is turned.
void SetSeenScaledSize(QImageReader& reader, const QSize& seen);

}  // namespace quillmar
