#include "shell/connection_settings.h"

#include "session/settings_keys.h"
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

namespace keys = settings_keys;

constexpr int kSmallestMaxSide = 16;

// Flags are stored as "True" and "False"; anything else reads as off.
bool ReadFlag(const QSettings& store, const SettingKey& key)
{
    return ParseStartUpConnect(key.read(store).toString()).value_or(false);
}

QString FlagText(bool on) { return on ? QStringLiteral("True") : QStringLiteral("False"); }

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
    values.autoConnect = ReadFlag(store, keys::StartUpConnect);
    auto text = [&store](const SettingKey& key) { return key.read(store).toString(); };
    values.connection.URL = text(keys::URL);
    values.connection.User = text(keys::User);
    values.connection.Pass = text(keys::Pass);
    values.connection.Port = text(keys::Port);
    values.connection.Description = text(keys::Description);
    values.connection.WebAddress = text(keys::WebAddress);
    values.connection.WebFolder = text(keys::WebFolder);
    return values;
}

bool WriteStartUpValues(QSettings& store, const StartUpValues& values, QString* error)
{
    keys::URL.write(store, values.connection.URL);
    keys::User.write(store, values.connection.User);
    keys::Pass.write(store, values.connection.Pass);
    keys::Port.write(store, values.connection.Port);
    keys::Description.write(store, values.connection.Description);
    keys::WebAddress.write(store, values.connection.WebAddress);
    keys::WebFolder.write(store, values.connection.WebFolder);
    keys::StartUpConnect.write(store, FlagText(values.autoConnect));
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
    options.webReady = ReadFlag(store, keys::WebReady);
    options.remotePreview = ReadFlag(store, keys::RemotePreview);
    bool number = false;
    const int side = keys::MaxSide.read(store).toString().trimmed().toInt(&number);
    // A side too small to show anything is no setting a person meant.
    if (number && side >= kSmallestMaxSide)
        options.maxSide = side;
    return options;
}

void WriteUploadOptions(QSettings& store, const UploadOptions& options)
{
    keys::WebReady.write(store, FlagText(options.webReady));
    keys::MaxSide.write(store, QString::number(options.maxSide));
    keys::RemotePreview.write(store, FlagText(options.remotePreview));
}

}  // namespace quillmar
