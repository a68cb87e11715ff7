#include "pictures/picture_rules.h"

#include "session/listing.h"

#include <algorithm>

namespace quillmar {

bool IsPicture(const QString& name)
{
    static const QLatin1StringView kEndings[] = {
        QLatin1StringView(".jpg"), QLatin1StringView(".jpeg"), QLatin1StringView(".png"),
        QLatin1StringView(".gif"), QLatin1StringView(".webp"), QLatin1StringView(".bmp"),
    };
    for (const QLatin1StringView ending : kEndings) {
        if (name.size() > ending.size() && name.endsWith(ending, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString SizeText(qint64 bytes)
{
    // A file's length follows the same rule as the server list's size column.
    return RowSizeText(QString::number(std::max<qint64>(bytes, 0)));
}

Fit FitPicture(double naturalW, double naturalH, double frameW, double frameH)
{
    Fit fit;
    if (!(naturalW > 0) || !(naturalH > 0))
        return fit;

    if (naturalH < frameH && naturalW < frameW) {
        fit.width = naturalW;
        fit.height = naturalH;
    } else {
        // Fit to the height first, keeping the proportions.
        fit.stretched = true;
        fit.height = frameH - 2;
        double percent = (frameH - 2) / naturalH * 100;
        fit.width = naturalW / 100 * percent;
        if (fit.width > frameW - 2) {
            // Still too wide: fit to the width instead.
            fit.width = frameW - 1;
            percent = (frameW - 1) / naturalW * 100;
            fit.height = naturalH / 100 * percent;
        }
        // A frame too small to hold anything shows nothing rather than a
        // negative size.
        if (!(fit.width > 0) || !(fit.height > 0))
            return Fit{};
    }
    fit.left = (frameW - fit.width) / 2;
    fit.top = (frameH - fit.height) / 2;
    return fit;
}

}  // namespace quillmar
