#include "session/kept_download.h"

#include "session/part_name.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QSaveFile>

namespace quillmar {

namespace {

const QString PartSuffixTemplate = QStringLiteral(".XXXXXX.part");
const QString RecordSuffix = QStringLiteral(".quillmar-resume");
// A record is a few hundred bytes; anything much larger is not one of ours.
constexpr qint64 MaxRecordBytes = 64 * 1024;
constexpr int SizeDecimals = 1;

}  // namespace

QString DownloadPartTemplate(const QString& targetName) { return HiddenPartName(targetName, PartSuffixTemplate); }

QString KeptDownloadRecordPath(const QString& localTarget)
{
    const QFileInfo target(localTarget);
    return target.dir().filePath(HiddenPartName(target.fileName(), RecordSuffix));
}

bool SaveKeptDownload(const QString& recordPath, const KeptDownload& kept, QString* error)
{
    const QJsonObject fields{
        {QStringLiteral("site"), kept.site},
        {QStringLiteral("folder"), kept.folder},
        {QStringLiteral("name"), kept.name},
        {QStringLiteral("target"), kept.target},
        {QStringLiteral("size"), QString::number(kept.size)},
        {QStringLiteral("modified"), kept.modified.toUTC().toString(Qt::ISODateWithMs)},
        {QStringLiteral("part"), kept.part},
        {QStringLiteral("synced"), QString::number(kept.synced)},
        {QStringLiteral("boot"), QString::fromLatin1(kept.bootId)},
    };
    QSaveFile file(recordPath);
    if (file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(fields).toJson()) >= 0 && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

std::optional<KeptDownload> LoadKeptDownload(const QString& recordPath)
{
    QFile file(recordPath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxRecordBytes)
        return std::nullopt;
    const QJsonObject fields = QJsonDocument::fromJson(file.readAll()).object();
    KeptDownload kept;
    kept.site = fields.value(QStringLiteral("site")).toString();
    kept.folder = fields.value(QStringLiteral("folder")).toString();
    kept.name = fields.value(QStringLiteral("name")).toString();
    kept.target = fields.value(QStringLiteral("target")).toString();
    bool sizeRead = false, syncedRead = false;
    kept.size = fields.value(QStringLiteral("size")).toString().toLongLong(&sizeRead);
    kept.modified = QDateTime::fromString(fields.value(QStringLiteral("modified")).toString(), Qt::ISODateWithMs);
    kept.part = fields.value(QStringLiteral("part")).toString();
    kept.synced = fields.value(QStringLiteral("synced")).toString().toLongLong(&syncedRead);
    kept.bootId = fields.value(QStringLiteral("boot")).toString().toLatin1();
    if (!sizeRead || !syncedRead || kept.site.isEmpty() || kept.name.isEmpty() || kept.target.isEmpty() ||
        !kept.modified.isValid())
        return std::nullopt;
    return kept;
}

bool IsDownloadPartName(const QString& part, const QString& targetName)
{
    static const QRegularExpression suffix(QStringLiteral("^\\.[A-Za-z0-9]{6}\\.part$"));
    const QString tail = part.right(PartSuffixTemplate.size());
    return suffix.match(tail).hasMatch() && !targetName.contains(u'/') &&
           HiddenPartName(targetName, tail) == part;
}

qint64 ResumableBytes(const KeptDownload& record, const KeptDownload& now, qint64 partSize,
                      const QByteArray& currentBootId)
{
    const bool samePlace = record.site == now.site && record.folder == now.folder && record.name == now.name &&
                           record.target == now.target;
    const bool sameFile = record.size == now.size && record.modified.isValid() && record.modified == now.modified;
    if (!samePlace || !sameFile || !IsDownloadPartName(record.part, record.target))
        return 0;
    const bool sameBoot = !currentBootId.isEmpty() && record.bootId == currentBootId;
    const qint64 usable = sameBoot ? partSize : std::min(record.synced, partSize);
    return usable > 0 && usable < now.size ? usable : 0;
}

QString KeptPartQuestion(const QString& name, qint64 have, qint64 total)
{
    const QLocale locale;
    return QStringLiteral("%1 was partly downloaded before (%2 of %3). Continue where it stopped?")
        .arg(name, locale.formattedDataSize(have, SizeDecimals, QLocale::DataSizeTraditionalFormat),
             locale.formattedDataSize(total, SizeDecimals, QLocale::DataSizeTraditionalFormat));
}

}  // namespace quillmar
