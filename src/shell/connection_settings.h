#pragma once

#include "session/settings_keys.h"

#include <QString>

class QSettings;

namespace quillmar {

// The one set of connection settings of the process. Port is carried from
// run to run; the site chosen last is what the next start reads.
struct ConnectionSettings {
    QString URL;
    QString User;
    QString Pass;
    QString Port;
    QString Description;
    QString WebAddress;  // the site's web address and the server folder it shows
    QString WebFolder;
};

// How the window and the printed list name the site: its description, or its
// address when it has none.
QString ShownSiteName(const ConnectionSettings& settings);

struct StartUpValues {
    ConnectionSettings connection;
    bool autoConnect = false;
};

// Group "StartUp" of the per-user store. Absent keys read as empty text and
// an unusable "StartUpConnect" leaves Auto Connect off.
StartUpValues ReadStartUpValues(QSettings& store);

// Writes all eight keys, also when nothing changed. Returns false with a reason
// when the store could not be written; closing goes on regardless.
bool WriteStartUpValues(QSettings& store, const StartUpValues& values, QString* error = nullptr);

// Group "Upload": pictures made ready for the web on the way up, and
// previews fetched from the server.
struct UploadOptions {
    bool webReady = false;
    int maxSide = kDefaultMaxSide;  // longest side of a picture made ready for the web
    bool remotePreview = false;
};
UploadOptions ReadUploadOptions(QSettings& store);
void WriteUploadOptions(QSettings& store, const UploadOptions& options);

}  // namespace quillmar
