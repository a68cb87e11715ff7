#include "operations/published_copies.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace quillmar {

namespace {

const QString kFileName = QStringLiteral("published-copies.json");

QString RecordPath(const QString& appFolder) { return QDir(appFolder).filePath(kFileName); }

QJsonObject ReadAll(const QString& appFolder)
{
    QFile file(RecordPath(appFolder));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

}  // namespace

PublishedCopies ReadPublishedCopies(const QString& appFolder, const ServerPlace& place)
{
    PublishedCopies copies;
    const QJsonObject files = ReadAll(appFolder).value(place.site).toObject().value(place.folder).toObject();
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        const QJsonArray fields = it.value().toArray();
        copies.insert(it.key(), PublishedCopy{fields.at(0).toInteger(),
                                              QDateTime::fromString(fields.at(1).toString(), Qt::ISODateWithMs),
                                              fields.at(2).toInteger()});
    }
    return copies;
}

bool WritePublishedCopies(const QString& appFolder, const ServerPlace& place, const PublishedCopies& copies,
                          QString* error)
{
    QJsonObject files;
    for (auto it = copies.cbegin(); it != copies.cend(); ++it) {
        files.insert(it.key(), QJsonArray{it->localSize, it->localModified.toUTC().toString(Qt::ISODateWithMs),
                                          it->sentSize});
    }
    QJsonObject all = ReadAll(appFolder);
    QJsonObject site = all.value(place.site).toObject();
    site.insert(place.folder, files);
    all.insert(place.site, site);
    QSaveFile file(RecordPath(appFolder));
    if (file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(all).toJson(QJsonDocument::Compact)) >= 0
        && file.commit()) {
        return true;
    }
    if (error)
        *error = QStringLiteral("The record of published web copies could not be saved in %1: %2")
                     .arg(QDir::toNativeSeparators(RecordPath(appFolder)), file.errorString());
    return false;
}

}  // namespace quillmar
