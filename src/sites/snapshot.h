#pragma once

#include "session/server_place.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace quillmar {

// The server list as it stood when a connection ended: "<description>.dat"
// directly in the application folder, a "|URL| <address>" header line, then
// one row text a line (folders end in "/").
struct SnapshotRow {
    QString text;
    bool folder = false;
};

// The file name for a site description: the description and ".dat", with
// path separators turned into "_" so the file stays in the application
// folder ("" gives ".dat").
QString SnapshotFileName(const QString& description);

// Rewrites the site's snapshot atomically. A row text the format cannot hold
// (a line break, or "|URL|" which marks a header) is left out. On failure (a name the file system
// refuses, a full disk) the old snapshot stays, *error says why and the result
// is false.
bool WriteListingSnapshot(const QString& appFolder, const QString& description, const QString& url,
                          const QStringList& rowTexts, QString* error = nullptr);
// The same, followed by the place the rows came from when it is known, in
// two more header lines ("|URL|Site| " and "|URL|Folder| ") that every
// reader skips, so the viewer can preview the rows' cached pictures.
bool WriteListingSnapshot(const QString& appFolder, const QString& description, const QString& url,
                          const ServerPlace& place, const QStringList& rowTexts, QString* error = nullptr);

// Names of the snapshot files (ordinary files ending in ".dat", lower case),
// sorted by name.
QStringList ListSnapshotFiles(const QString& appFolder);

// The rows of one snapshot; header lines are skipped wherever they are.
// Empty when the file is missing or the name would leave the folder.
QList<SnapshotRow> ReadListingSnapshot(const QString& appFolder, const QString& fileName);

// The place a snapshot's rows came from, read from the header lines at the
// top only; not known for a snapshot that does not name it there.
ServerPlace ReadSnapshotPlace(const QString& appFolder, const QString& fileName);

}  // namespace quillmar
