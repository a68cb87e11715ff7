#pragma once

#include "shell/main_context.h"

#include <QObject>

namespace quillmar {

class ListingReceiver;
struct ServerCertificate;

// Connecting and disconnecting, the component's connection reports, moving
// around the server's folders, refreshing, and the progress display.
class SessionController : public QObject {
    Q_OBJECT
public:
    SessionController(MainContext& context, ListingReceiver& receiver, QObject* parent = nullptr);

    void Connect();
    void Disconnect();
    void StateChanged(int connected);
    void ServerDoubleClick();
    void GoUp();
    void Refresh();
    void Progress(qint64 bytes);

    // One file from the server into the local folder, with its size query
    // first; shared by the double click and Download. Throws FtpError.
    void DownloadFile(const QString& name);

    // Empties the server list and lists the current remote folder.
    void Relist();

private:
    // Asks the server where it is now (PWD) and keeps it as the place of the
    // rows; a server that will not say leaves the folder unknown.
    void readServerFolder();

    QString disconnectedText() const;
    void EnterFolder(const QString& folder);
    void ShowEnteredFolder();
    // Enters the folder a link leads to; false when the server refuses.
    bool EnterLinkedFolder(const QString& link);
    void showServerFolder();
    // A certificate the system does not vouch for: silent when pinned,
    // otherwise the person decides, and Yes pins it.
    bool TrustCertificate(const ServerCertificate& certificate);

    MainContext& ctx_;
    QString snapshotProblem_;  // why the last disconnect's listing was not saved
    ListingReceiver& receiver_;
};

}  // namespace quillmar
