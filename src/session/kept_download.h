#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace quillmar {

// A download that could not be finished (the connection gave out, the
// program was closed or killed) keeps its part file beside the target,
// together with a record of where the bytes came from, so the next download
// of the same file from the same place can go on from there.
struct KeptDownload {
    QString site;        // "ftp://login@host:port"
    QString folder;      // the server folder, as reached from the login folder
    QString name;        // the file's name on the server
    QString target;      // the local file's name the part file is for
    qint64 size = -1;    // the server's size and date when the download began
    QDateTime modified;
    QString part;        // the part file's name, beside the target
    qint64 synced = 0;   // bytes of the part known to be on the disk
    QByteArray bootId;   // the machine's boot the download ran in
};

// Smaller downloads are quicker fetched again than asked about.
constexpr qint64 KeepPartFrom = qint64(1024) * 1024;

// Where the record of a download to localTarget lives: a hidden file beside it.
QString KeptDownloadRecordPath(const QString& localTarget);

// The record is replaced in one step, so a crash leaves the old one or the new one.
bool SaveKeptDownload(const QString& recordPath, const KeptDownload& kept, QString* error = nullptr);
// Empty when there is none, or it cannot be read as one of ours.
std::optional<KeptDownload> LoadKeptDownload(const QString& recordPath);

// The template of a download's part file name beside targetName (for
// QTemporaryFile: the X's become random letters and digits).
QString DownloadPartTemplate(const QString& targetName);

// Whether part is the name of a part file for a download to targetName: a
// hidden name of the form the downloads make, in the same folder.
bool IsDownloadPartName(const QString& part, const QString& targetName);

// How many bytes of the kept part file a download of the server file `now`
// may go on from; 0 to start again. The site, folder, name, size and date
// must all still be those of the record. The part's length counts in the
// boot it was written in; after a restart of the machine only what was
// synced to the disk does. Nothing is trusted that is the whole file or more.
qint64 ResumableBytes(const KeptDownload& record, const KeptDownload& now, qint64 partSize,
                      const QByteArray& currentBootId);

// "photo.jpg was partly downloaded before (12.4 MB of 30.0 MB). Continue where it stopped?"
QString KeptPartQuestion(const QString& name, qint64 have, qint64 total);

}  // namespace quillmar
