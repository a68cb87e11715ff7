#include "shell/connection_settings.h"

#include "shell/startup_rules.h"

#include <QFile>
#include <QSettings>

namespace quillmar {

namespace {
const QString kGroup = QStringLiteral("StartUp");
}

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
    store.setValue(QStringLiteral("StartUpConnect"),
                   values.autoConnect ? QStringLiteral("True") : QStringLiteral("False"));
    store.endGroup();
    store.sync();  // written through a temporary file and renamed: never half a file
    if (store.status() != QSettings::NoError) {
        if (error)
            *error = QStringLiteral("The settings could not be written to %1.").arg(store.fileName());
        return false;
    }
    // The store holds a password in plain text: the owner alone may read it.
    if (store.format() != QSettings::NativeFormat || QFile::exists(store.fileName()))
        QFile::setPermissions(store.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

}  // namespace quillmar
