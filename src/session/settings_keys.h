#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>

namespace quillmar {

// The longest side of a picture made ready for the web, unless set.
constexpr int kDefaultMaxSide = 1600;

// One value of the per-user store: where it lives ("Group/Name", as stored
// files have it) and what it reads as while absent.
struct SettingKey {
    QString path;
    QVariant fallback;

    QVariant read(const QSettings& store) const { return store.value(path, fallback); }
    void write(QSettings& store, const QVariant& value) const { store.setValue(path, value); }
};

// Every key the program keeps in the per-user store. The paths are what
// earlier runs wrote: renaming one loses the person's setting.
namespace settings_keys {
// The chosen site, read at start-up.
inline const SettingKey URL{QStringLiteral("StartUp/URL"), QString()};
inline const SettingKey User{QStringLiteral("StartUp/User"), QString()};
inline const SettingKey Pass{QStringLiteral("StartUp/Pass"), QString()};
inline const SettingKey Port{QStringLiteral("StartUp/Port"), QString()};
inline const SettingKey Description{QStringLiteral("StartUp/Description"), QString()};
inline const SettingKey WebAddress{QStringLiteral("StartUp/WebAddress"), QString()};
inline const SettingKey WebFolder{QStringLiteral("StartUp/WebFolder"), QString()};
inline const SettingKey StartUpConnect{QStringLiteral("StartUp/StartUpConnect"), QStringLiteral("False")};
// Options and View entries.
inline const SettingKey WebReady{QStringLiteral("Upload/WebReady"), QStringLiteral("False")};
inline const SettingKey MaxSide{QStringLiteral("Upload/MaxSide"), QString::number(kDefaultMaxSide)};
inline const SettingKey RemotePreview{QStringLiteral("Upload/RemotePreview"), QStringLiteral("False")};
inline const SettingKey AskReplace{QStringLiteral("Transfers/AskReplace"), true};
inline const SettingKey KeepAlive{QStringLiteral("Transfers/KeepAlive"), false};
// Absent until the person has chosen where passwords live.
inline const SettingKey Keyring{QStringLiteral("Security/Keyring"), QVariant()};
// The main window's place.
inline const SettingKey Geometry{QStringLiteral("Window/Geometry"), QByteArray()};
inline const SettingKey Panes{QStringLiteral("Window/Panes"), QByteArray()};
inline const SettingKey LocalFolder{QStringLiteral("Window/LocalFolder"), QString()};
// Temporary uploads a cut connection may have left on a server.
inline const SettingKey LeftUploads{QStringLiteral("LeftOnServer/Uploads"), QStringList()};
}  // namespace settings_keys

}  // namespace quillmar
