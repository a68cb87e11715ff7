#include "session/part_name.h"

#include <QFile>

namespace quillmar {

namespace {
constexpr qsizetype MaxNameBytes = 255;
}

QString HiddenPartName(const QString& name, const QString& suffix)
{
    QString kept = name;
    while (!kept.isEmpty() && QFile::encodeName(u'.' + kept + suffix).size() > MaxNameBytes)
        kept.chop(kept.size() >= 2 && kept.back().isLowSurrogate() ? 2 : 1);
    return u'.' + kept + suffix;
}

}  // namespace quillmar
