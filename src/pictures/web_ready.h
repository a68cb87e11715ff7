#pragma once

#include <QString>

namespace quillmar {

// A picture made ready for the web before it goes up. A JPEG or PNG is
// always sent as a fresh copy built from an allow-list: its pixels turned
// upright by their EXIF orientation (smoothly scaled when the longer side is
// larger than maxSide; JPEG quality 85), its colour profile, and a few
// harmless facts (camera make and model, date taken, artist, copyright,
// title and description). Nothing else goes along: no position in any form,
// no appended pictures, no other metadata. Other formats go up as they are,
// unless they carry a position: then they are refused.
// The local file itself is never changed; copies are made in workFolder.
struct WebReadyCopy {
    QString file;   // what to upload: a copy, or the local file when nothing was needed
    QString note;   // what was done, "resized to 1200 x 1600, location removed"; empty for nothing
    QString error;  // why the picture could not be prepared; then file is empty
};
WebReadyCopy PrepareForWeb(const QString& localFile, int maxSide, const QString& workFolder);

}  // namespace quillmar
