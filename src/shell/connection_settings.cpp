#include "shell/connection_settings.h"

#include "shell/startup_rules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace quillmar {

QString ShownSiteName(const ConnectionSettings& settings)
{
    return settings.Description.isEmpty() ? settings.URL : settings.Description;
}

namespace {

const QString kGroup = QStringLiteral("StartUp");

// The store holds a password in plain text. A store written for the first
// time starts as an empty file only its owner may read, so the rewrite,
// which keeps the permissions of the file it replaces, never shows the
// password to anyone else, not even for a moment.
void PrepareOwnerOnlyFile(const QString& fileName)
{
    if (fileName.isEmpty() || QFile::exists(fileName))
        return;
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QFile file(fileName);
    if (file.open(QIODevice::WriteOnly))
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

}  // namespace

StartUpValues ReadStartUpValues(QSettings& store)
{
    StartUpValues values;
    store.beginGroup(kGroup);
    values.autoConnect = ParseStartUpConnect(store.value(QStringLiteral("StartUpConnect")).toString()).value_or(false);
    auto text = [&store](const char* key) { return store.value(QLatin1String(key), QString()).toString(); };
    values.connection.URL = text("URL");
    values.connection.User = text("User");
    values.connection.Pass = text("Pass");
    values.connection.Port = text("Port");
    values.connection.Description = text("Description");
    values.connection.WebAddress = text("WebAddress");
    values.connection.WebFolder = text("WebFolder");
    store.endGroup();
    return values;
}

bool WriteStartUpValues(QSettings& store, const StartUpValues& values, QString* error)
{
    store.beginGroup(kGroup);
    store.setValue(QStringLiteral("URL"), values.connection.URL);
    store.setValue(QStringLiteral("User"), values.connection.User);
    store.setValue(QStringLiteral("Pass"), values.connection.Pass);
    store.setValue(QStringLiteral("Port"), values.connection.Port);
    store.setValue(QStringLiteral("Description"), values.connection.Description);
    store.setValue(QStringLiteral("WebAddress"), values.connection.WebAddress);
    store.setValue(QStringLiteral("WebFolder"), values.connection.WebFolder);
    store.setValue(QStringLiteral("StartUpConnect"),
                   values.autoConnect ? QStringLiteral("True") : QStringLiteral("False"));
    store.endGroup();
    PrepareOwnerOnlyFile(store.fileName());
    store.sync();  // written through a temporary file and renamed: never half a file
    if (store.status() != QSettings::NoError) {
        if (error)
            *error = QStringLiteral("The settings could not be written to %1.").arg(store.fileName());
        return false;
    }
    // A store that already existed with wider permissions is narrowed too.
    QFile::setPermissions(store.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

UploadOptions ReadUploadOptions(QSettings& store)
{
    UploadOptions options;
    store.beginGroup(QStringLiteral("Upload"));
    auto flag = [&store](const char* key) {
        return ParseStartUpConnect(store.value(QLatin1String(key)).toString()).value_or(false);
    };
    options.webReady = flag("WebReady");
    options.remotePreview = flag("RemotePreview");
    bool number = false;
    const int side = store.value(QStringLiteral("MaxSide")).toString().trimmed().toInt(&number);
    // A side too small to show anything is no setting a person meant.
    if (number && side >= 16)
        options.maxSide = side;
    store.endGroup();
    return options;
}

void WriteUploadOptions(QSettings& store, const UploadOptions& options)
{
    auto text = [](bool on) { return on ? QStringLiteral("True") : QStringLiteral("False"); };
    store.beginGroup(QStringLiteral("Upload"));
    store.setValue(QStringLiteral("WebReady"), text(options.webReady));
    store.setValue(QStringLiteral("MaxSide"), QString::number(options.maxSide));
    store.setValue(QStringLiteral("RemotePreview"), text(options.remotePreview));
    store.endGroup();
}

}  // namespace quillmar
