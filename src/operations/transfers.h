#pragma once

#include "pictures/web_ready.h"
#include "shell/main_context.h"

#include <QHash>
#include <QObject>
#include <QTemporaryDir>

#include <optional>

namespace quillmar {

class CacheCopies;
class SessionController;

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
    // The local file list stays disabled while its double-click upload runs.
    void UploadByDoubleClick();

private:
    // Sends one local file (made ready for the web when that is on) and has
    // a picture copied into the cache; returns what was done to it. Throws
    // FtpError.
    QString sendFile(const QString& localFile, CacheCopies& copies);
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
    void PutOnServer(const QString& file, const QString& name);
    // Asked once per site, after a refused rename: whether uploads may go
    // straight to their names there.
    bool MayUploadStraight(const FtpError& refusal);

    MainContext& ctx_;
    SessionController& session_;
    QHash<QString, bool> straightUploads_;   // per site, the person's answer
};

}  // namespace quillmar
