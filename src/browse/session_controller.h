#pragma once

#include "shell/main_context.h"

#include "session/listing.h"

#include <QHash>
#include <QSet>
#include <QList>
#include <QObject>

#include <functional>
#include <optional>

namespace quillmar {

class CommandLight;
class ListingReceiver;
class SitePasswords;
struct ServerCertificate;

// Connecting and disconnecting, the component's connection reports, moving
// around the server's folders, refreshing, and the progress display.
class SessionController : public QObject {
    Q_OBJECT
public:
    SessionController(MainContext& context, ListingReceiver& receiver, SitePasswords& passwords,
                      QObject* parent = nullptr);

    void Connect();
    void Disconnect();
    void StateChanged(int connected);
    // The component logged in again after the server closed an idle connection.
    void Reconnected();
    void ServerDoubleClick();
    void GoUp();
    void Refresh();
    void Progress(qint64 bytes, qint64 expected);

    // One file from the server into the local folder; the double click's.
    // Throws FtpError.
    void DownloadFile(const QString& name, qint64 listedSize = -1);

    // One file from the server into the local folder, without re-reading the
    // local list; commands that fetch many files re-read it once at the end.
    // The server is asked for the size only when the list gave none.
    void FetchFile(const QString& name, qint64 listedSize = -1);

    // Empties the server list and lists the current remote folder.
    void Relist();

    // Runs work inside a folder of the current server folder and comes back
    // on every way out. Throws FtpError.
    void InSubFolder(const QString& folder, const std::function<void()>& work);
    // The rows of a folder of the current server folder, read without
    // showing them. Throws FtpError.
    QList<ListRow> ListSubFolder(const QString& folder);

private:
    // Keeps the settings' list of temporary uploads that may be on a server
    // up to date, under the site they were sent to.
    void NoteTemporaryUpload(const QString& path, bool onServer);
    void NoteUploadsLeftAfterCall(bool running);
    // Removes the temporary uploads a cut connection left on this site.
    void RemoveLeftUploads();
    // Asks the server where it is now (PWD) and keeps it as the place of the
    // rows; a server that will not say leaves the folder unknown.
    void readServerFolder();

    // The steps of Connect. The same login the server refused last time is
    // tried again only when the person says so.
    bool confirmRepeatedLogin(const QStringList& attempt);
    // Closes a connection still open and takes the site being connected.
    void leavePreviousConnection();
    // Hands the site to the component and logs in. Throws FtpError.
    void logIn(const QString& password);
    // The new connection's folder, its left-over uploads and its list.
    void showNewConnection(const QString& passwordNote);
    // A failure that ends Connect with a word of its own (stopped, untrusted,
    // encryption gone) or none; false when Connect's message must tell it.
    bool connectEndedBy(const FtpError& error, CommandLight& light);
    // What the person is told when connecting failed, and how to act on it.
    QString connectFailureText(const std::optional<FtpError>& failure, bool refused, const QString& password) const;

    QString disconnectedText() const;
    // The password to log in with: the settings', else the keyring's, else
    // (the keyring not answering) one the person types for this connection
    // only, in which case *note tells the status line why.
    QString loginPassword(QString* note);
    void EnterFolder(const QString& folder);
    void ShowEnteredFolder();
    // Enters the folder a link leads to; false when the server refuses.
    bool EnterLinkedFolder(const QString& link);
    void showServerFolder();
    // A certificate the system does not vouch for: silent when pinned,
    // otherwise the person decides, and Yes pins it.
    bool TrustCertificate(const ServerCertificate& certificate);
    int AskAboutHostKey(const ServerCertificate& key, const QString& server, const QString& pinned);
    // Whether the site being connected has spoken TLS before, and noting
    // that it does now.
    bool EncryptedBefore() const;
    void RememberEncryption();
    // A server that spoke TLS before refuses it: the person decides, and
    // only Yes lets the login go in clear.
    bool AcceptPlainLogin(const FtpError& error);

    MainContext& ctx_;
    // The site of the connection, taken when it is made: the site manager
    // may choose another while it is open, and the listing saved when it
    // ends belongs to the site that was connected.
    QString connectedDescription_;
    QString connectedUrl_;
    QString snapshotProblem_;  // why the last disconnect's listing was not saved
    ServerPlace placeBeforeDrop_;   // where the rows came from when the connection ended
    ListingReceiver& receiver_;
    SitePasswords& passwords_;
    // The address, login and password the server last refused; Connect asks
    // before trying them again.
    std::optional<QStringList> refusedLogin_;
    QString refusedReply_;
    bool plainAccepted_ = false;   // for the next Connect only
    QHash<QString, QString> uploadSites_;   // temporary upload path -> its site, while it may be there
    QSet<QString> noted_;                   // those of them written to the settings
    bool callRunning_ = false;
};

}  // namespace quillmar
