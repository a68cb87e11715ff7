#include "session/part_name.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace quillmar {

namespace {
constexpr qsizetype MaxNameBytes = 255;
constexpr int UploadTempDigits = 8;
}

QString HiddenPartName(const QString& name, const QString& suffix)
{
    QString kept = name;
    while (!kept.isEmpty() && QFile::encodeName(u'.' + kept + suffix).size() > MaxNameBytes)
        kept.chop(kept.size() >= 2 && kept.back().isLowSurrogate() ? 2 : 1);
    return u'.' + kept + suffix;
}

QString UploadTempName(const QString& remoteName)
{
    const qsizetype slash = remoteName.lastIndexOf(u'/');
    return remoteName.left(slash + 1) + QStringLiteral(".quillmar-%1.part")
                                            .arg(QRandomGenerator::global()->generate(), UploadTempDigits, 16, QLatin1Char('0'));
}

bool IsUploadTempName(const QString& path)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\.quillmar-[0-9a-f]{%1}\\.part$").arg(UploadTempDigits));
    return pattern.match(path.section(u'/', -1)).hasMatch();
}

}  // namespace quillmar
