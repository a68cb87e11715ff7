#pragma once

#include <QString>

namespace quillmar {

// A picture made ready for the web before it goes up: a JPEG or PNG whose
// longer side (as it is seen, after its EXIF orientation) is larger than
// maxSide becomes a smoothly scaled, upright copy (JPEG quality 85), and a
// JPEG loses its location (GPS) metadata while the rest of it stays. The
// local file itself is never changed; copies are made in workFolder.
struct WebReadyCopy {
    QString file;   // what to upload: a copy, or the local file when nothing was needed
    QString note;   // what was done, "resized to 1200 x 1600, location removed"; empty for nothing
    QString error;  // why the picture could not be prepared; then file is empty
};
WebReadyCopy PrepareForWeb(const QString& localFile, int maxSide, const QString& workFolder);

}  // namespace quillmar
