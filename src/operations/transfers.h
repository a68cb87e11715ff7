#pragma once

#include "pictures/picture_cache.h"
#include "pictures/web_ready.h"
#include "shell/main_context.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTemporaryDir>

#include <functional>
#include <optional>

namespace quillmar {

class CacheCopies;
class SessionController;

// One file that publishing sends: the local file, its path in the server
// folder ("a.jpg", "items/b.jpg") and whether the server lacks it.
struct PublishJob {
    QString localFile;
    QString path;
    bool isNew = true;
};

// What publishing did.
struct PublishOutcome {
    qsizetype sentNew = 0;
    qsizetype sentChanged = 0;
    qint64 bytes = 0;   // of the local files sent
};

// Download of the selected server rows and upload of the selected local
// files, asking before either replaces a file, with the copy of an uploaded
// picture into the picture cache.
class TransferController : public QObject {
    Q_OBJECT
public:
    TransferController(MainContext& context, SessionController& session, QObject* parent = nullptr);

    void Download();
    void Upload();
    // Files named by their full paths (dropped on the server list, or the
    // selected local files), one after the other in that order, with one
    // re-listing at the end; after a failure the person says whether the
    // rest go on.
    void UploadFiles(const QStringList& localFiles);
    // The server rows with these texts (dropped on the local file list),
    // as Download does.
    void DownloadRows(const QStringList& texts);
    // Sends the jobs through the upload path, folder by folder, making the
    // sub-folders (relative paths) that serverFolders does not hold; the
    // server list is read once at the end. No question before replacing:
    // the person chose the rows. With web-ready pictures on, what was sent
    // is recorded for the next comparison.
    PublishOutcome Publish(const QList<PublishJob>& jobs, const QSet<QString>& serverFolders);
    // The local file list stays disabled while its double-click upload runs.
    void UploadByDoubleClick();

private:
    struct UploadRun;
    // Sends one file of a command into the current server folder (`below`:
    // the folder under the server list's that it is, for the cache copy);
    // after a failure, asks whether the `rest` go on. False when the command
    // ends here.
    bool SendInRun(UploadRun& run, const QString& localFile, const QString& below, qsizetype rest);
    // The end of an upload command: one re-listing, the status line
    // (completeText, given the names the server stored uploads under), the
    // cache copies in place, what went wrong with them said.
    void FinishUploads(UploadRun& run, const std::function<QString(const QHash<QString, QString>&)>& completeText);
    // The cache place of a folder below the server list's.
    ServerPlace CachePlace(const QString& below) const;
    // Sends one local file (made ready for the web when that is on) and has
    // a picture copied into the cache of place; returns what was done to
    // it. Throws FtpError.
    QString sendFile(const QString& localFile, const ServerPlace& place, CacheCopies& copies);
    // Gives the server's copy the local file's time, where the server
    // offers that, so the next comparison of the two is exact.
    // The file to send: the local file, or its copy made ready for the web
    // when the Options entry is on. Throws FtpError when it cannot be made.
    WebReadyCopy PrepareUpload(const QString& localFile, std::optional<QTemporaryDir>& work) const;
    // "Status: Upload Complete", what was done to the picture and its web address.
    QString UploadCompleteText(const QString& name, const QString& note) const;
    // The uploads the re-read list shows under another name than was sent,
    // each with that name.
    QHash<QString, QString> NamesStoredAs(const QStringList& sentNames, const QStringList& rowsBefore) const;
    // "; the server stored " a.jpg" as "_a.jpg"" for each of them.
    static QString StoredAsText(const QHash<QString, QString>& storedAs);
    // Puts the file on the server under name: by way of a temporary name, or
    // straight to the name where the server refuses renames and the person
    // agreed to that. Throws FtpError.
    void PutOnServer(const QString& file, const QString& name, const QDateTime& modified);
    // Asked once per site, after a refused rename: whether uploads may go
    // straight to their names there.
    bool MayUploadStraight(const FtpError& refusal);

    struct PublishRun;
    // Sends the jobs of folder (relative, "" for the server list's) and then
    // those of the folders below it, entering each. False once the command
    // ends. Throws FtpError when a folder cannot be made or entered.
    bool PublishFolder(PublishRun& publish, const QString& folder);

    MainContext& ctx_;
    SessionController& session_;
    QHash<QString, bool> straightUploads_;   // per site, the person's answer
    // The cache entries an upload shares with its files become copies after
    // the command, never while one runs.
    CacheUnsharer unsharer_;
};

}  // namespace quillmar
