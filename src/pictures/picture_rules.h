#pragma once

#include <QString>

namespace quillmar {

// A name is a picture when it ends in .jpg, .jpeg, .png, .gif, .webp or
// .bmp, in any letter case ("a.JPEG" passes, "xjpg" and "pics/" do not).
bool IsPicture(const QString& name);

// A file length as shown beside its name: "0 bytes", "45.3 KB", "2.5 MB",
// the rule of the server list's "Size" column. A negative length shows as
// 0 bytes.
QString SizeText(qint64 bytes);

// Where a picture goes inside its frame, in twips, before any snapping to
// whole pixels. stretched: the picture is scaled to width x height rather
// than shown at its natural size.
struct Fit {
    double left = 0, top = 0, width = 0, height = 0;
    bool stretched = false;
};

// A picture smaller than the frame (both ways, strictly) keeps its natural
// size; a larger one is fitted to the frame's height, or to its width when
// that would still be too wide; either way it is centred. A picture with no
// natural width or height gives a zero width and height: nothing to show,
// the caller treats it as a failed load.
Fit FitPicture(double naturalW, double naturalH, double frameW, double frameH);

}  // namespace quillmar
