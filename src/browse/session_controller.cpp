#include "browse/session_controller.h"

#include "pictures/local_pane.h"
#include "pictures/server_list_model.h"
#include "pictures/server_list_view.h"
#include "session/entry_names.h"
#include "session/ftp_address.h"
#include "session/ftp_component.h"
#include "session/kept_download.h"
#include "session/listing.h"
#include "browse/listing_receiver.h"
#include "session/server_place.h"
#include "session/transport.h"
#include "session/transfer_meter.h"
#include "session/trusted_servers.h"
#include "session/upload_leftovers.h"
#include "shell/connection_settings.h"
#include "shell/constants.h"
#include "shell/feedback.h"
#include "shell/services.h"
#include "shell/window_title.h"
#include "sites/site_passwords.h"
#include "sites/snapshot.h"

#include <QDir>
#include <QFileInfo>
#include <QMainWindow>

#include <algorithm>
#include <optional>

namespace quillmar {

namespace {
const QString kSecurityTitle = QStringLiteral("Quillmar Security");

// The passphrase of an SSH key, in the masked box; used for this login only.
std::optional<QString> AskKeyPassphrase(Dialogs& dialogs, const QString& keyFile, bool again)
{
    const QString prompt =
        (again ? QStringLiteral("That passphrase did not unlock the key. ") : QString()) +
        QStringLiteral("The SSH key %1 is locked with a passphrase.\n\nType its passphrase for this login; it is not "
                       "saved. Cancel ends the login.")
            .arg(QDir::toNativeSeparators(keyFile));
    const QString typed = dialogs.password(prompt, kSecurityTitle);
    return typed.isEmpty() ? std::nullopt : std::optional<QString>(typed);
}

QString CertificateFacts(const ServerCertificate& certificate)
{
    return QStringLiteral("Subject: %1\nIssuer: %2\nValid from %3 until %4\nNot trusted because %5.\n")
        .arg(certificate.subject, certificate.issuer, certificate.validFrom, certificate.validUntil, certificate.problem);
}
}  // namespace

SessionController::SessionController(MainContext& context, ListingReceiver& receiver, SitePasswords& passwords,
                                     QObject* parent)
    : QObject(parent), ctx_(context), receiver_(receiver), passwords_(passwords)
{
    connect(&ctx_.ftp, &FtpComponent::StateChanged, this, &SessionController::StateChanged);
    connect(&ctx_.ftp, &FtpComponent::Progress, this, &SessionController::Progress);
    connect(&ctx_.ftp, &FtpComponent::Reconnected, this, &SessionController::Reconnected);
    connect(&ctx_.ftp, &FtpComponent::Resuming, this, [this](const QString& name, qint64 bytes, int attempt, int attempts) {
        ctx_.feedback.status(QStringLiteral("Status: ") + ResumingText(name, bytes, ctx_.ftp.ExpectedSize(), attempt, attempts));
    });
    connect(&ctx_.ftp, &FtpComponent::TemporaryUpload, this, &SessionController::NoteTemporaryUpload);
    connect(&ctx_.ftp, &FtpComponent::Busy, this, &SessionController::NoteUploadsLeftAfterCall);
    ctx_.ftp.setTrustQuestion([this](const ServerCertificate& certificate) { return TrustCertificate(certificate); });
    // Either answer loses nothing, so Enter goes on.
    ctx_.ftp.setResumeQuestion([this](const QString& name, qint64 have, qint64 total) {
        ctx_.feedback.status(QStringLiteral("Status: Waiting for your answer: continue %1?").arg(name));
        return ctx_.services.dialogs->question(KeptPartQuestion(name, have, total), Dialogs::Icon::None, kAppTitle,
                                               Dialogs::Answer::Yes) == Dialogs::kYes;
    });
    ctx_.ftp.setPassphraseQuestion([this](const QString& keyFile, bool again) {
        return AskKeyPassphrase(*ctx_.services.dialogs, keyFile, again);
    });
}

// An SSH server's host key: first seen, other than the one the person's
// known_hosts lists, or different from the one trusted here.
int SessionController::AskAboutHostKey(const ServerCertificate& key, const QString& server, const QString& pinned)
{
    if (pinned.isEmpty() && key.listedKeyDiffers) {
        const QString text =
            QStringLiteral("The SSH server %1 showed a host key other than the one your known hosts file lists for "
                           "it. Someone may be listening in.\n\nKey type: %2\nFingerprint now:\n%3\n\n"
                           "Trust this host key and connect?")
                .arg(server, key.keyType, key.fingerprint);
        return ctx_.services.dialogs->question(text, Dialogs::Icon::Warning, kSecurityTitle, Dialogs::Answer::No);
    }
    if (pinned.isEmpty()) {
        const QString text =
            QStringLiteral("The SSH server %1 showed a host key that this computer has not seen before.\n\n"
                           "Key type: %2\nFingerprint:\n%3\n\nCompare this fingerprint with the one the server's "
                           "owner publishes. Quillmar remembers your answer and asks again only if the key "
                           "changes.\n\nTrust this host key and connect?")
                .arg(server, key.keyType, key.fingerprint);
        return ctx_.services.dialogs->message(text, Dialogs::Buttons::YesNo, Dialogs::Icon::Information, kSecurityTitle);
    }
    const QString text =
        QStringLiteral("The host key of the SSH server %1 has changed since you trusted it. Someone may be "
                       "listening in.\n\nTrusted fingerprint:\n%2\nFingerprint now (%3):\n%4\n\n"
                       "Trust the changed host key and connect?")
            .arg(server, pinned, key.keyType, key.fingerprint);
    return ctx_.services.dialogs->question(text, Dialogs::Icon::Warning, kSecurityTitle, Dialogs::Answer::No);
}

bool SessionController::TrustCertificate(const ServerCertificate& certificate)
{
    TrustedServers trusted(ctx_.services.appFolder);
    const QString pinned = trusted.pinned(certificate.host, certificate.port);
    if (!pinned.isEmpty() && pinned == certificate.fingerprint)
        return true;
    const QString server = QStringLiteral("%1 (port %2)").arg(certificate.host).arg(certificate.port);
    int answer = 0;
    if (!certificate.keyType.isEmpty()) {
        answer = AskAboutHostKey(certificate, server, pinned);
    } else if (pinned.isEmpty()) {
        const QString text =
            QStringLiteral("The server %1 presented a certificate that this computer cannot vouch for.\n\n%2\n"
                           "SHA-256 fingerprint:\n%3\n\nCompare this fingerprint with the one the server's owner "
                           "publishes (your host's help pages or its welcome mail). Quillmar remembers your answer "
                           "and asks again only if the certificate changes.\n\nTrust this certificate and connect?")
                .arg(server, CertificateFacts(certificate), certificate.fingerprint);
        answer = ctx_.services.dialogs->message(text, Dialogs::Buttons::YesNo, Dialogs::Icon::Information, kSecurityTitle);
    } else {
        const QString text =
            QStringLiteral("The certificate of the server %1 has changed since you trusted it. Someone may be "
                           "listening in.\n\n%2\nTrusted fingerprint (SHA-256):\n%3\nFingerprint now:\n%4\n\n"
                           "Trust the changed certificate and connect?")
                .arg(server, CertificateFacts(certificate), pinned, certificate.fingerprint);
        answer = ctx_.services.dialogs->question(text, Dialogs::Icon::Warning, kSecurityTitle, Dialogs::Answer::No);
    }
    if (answer != Dialogs::kYes)
        return false;
    QString error;
    if (!trusted.pin(certificate.host, certificate.port, certificate.fingerprint, &error))
        Inform(ctx_.services, QStringLiteral("The %1 is trusted for now but will be asked about again: %2")
                                  .arg(certificate.keyType.isEmpty() ? QStringLiteral("certificate") : QStringLiteral("host key"), error));
    return true;
}

bool SessionController::EncryptedBefore() const
{
    const auto address = SplitServerAddress(ctx_.settings.URL, kDefaultFtpPort);
    return address && TrustedServers(ctx_.services.appFolder).encryptedBefore(address->host, address->port);
}

void SessionController::RememberEncryption()
{
    const auto address = SplitServerAddress(ctx_.settings.URL, kDefaultFtpPort);
    if (!address || !ctx_.ftp.Protection().startsWith(QLatin1String("TLS")))
        return;
    QString error;
    if (!TrustedServers(ctx_.services.appFolder).rememberEncrypted(address->host, address->port, &error))
        Inform(ctx_.services, QStringLiteral("Quillmar could not note that this server uses encryption, so it will not "
                                             "warn you if the server stops offering it: %1")
                                  .arg(error));
}

bool SessionController::AcceptPlainLogin(const FtpError& error)
{
    const QString text =
        QStringLiteral("The server %1 offered encryption (TLS) before and does not now. Someone may be trying to read "
                       "your password on its way.\n\n%2\n\nLog in without encryption, sending your user name and "
                       "password in clear?")
            .arg(ctx_.settings.URL, error.description);
    return ctx_.services.dialogs->question(text, Dialogs::Icon::Warning, kSecurityTitle,
                                           Dialogs::Answer::No) == Dialogs::kYes;
}

QString SessionController::loginPassword(QString* note)
{
    const ConnectionSettings& settings = ctx_.settings;
    if (!settings.Pass.isEmpty() || settings.URL.isEmpty() || settings.User.isEmpty())
        return settings.Pass;
    const PasswordStore::Answer answer = passwords_.find(settings.User, settings.URL);
    // None there, or no keyring ever: the login goes ahead without one, as before.
    if (answer.outcome != PasswordStore::Outcome::Failed || !passwords_.keyringExpected())
        return answer.password;
    const QString typed = ctx_.services.dialogs->password(
        QStringLiteral("The system keyring did not give the password of %1 at %2 (%3).\n\n"
                       "Type the password for this connection; it is not saved.")
            .arg(settings.User, settings.URL, answer.problem),
        kAppTitle);
    if (!typed.isEmpty())
        *note = QStringLiteral(" (with the password you typed: the system keyring did not answer)");
    return typed;
}

void SessionController::Connect()
{
    const ConnectionSettings& settings = ctx_.settings;
    QString passwordNote;
    const QString password = loginPassword(&passwordNote);
    const QStringList attempt{settings.URL, settings.User, password};
    if (!confirmRepeatedLogin(attempt))
        return;
    BusyPointer busy;
    CommandLight light(ctx_.feedback);
    std::optional<FtpError> failure;
    bool loggingIn = false;
    try {
        leavePreviousConnection();
        if (!settings.URL.isEmpty()) {
            loggingIn = true;
            logIn(password);
            loggingIn = false;
            showNewConnection(passwordNote);
            return;
        }
    } catch (const FtpError& error) {
        if (connectEndedBy(error, light))
            return;
        failure = error;
    }
    busy.restore();
    light.end();
    // A reply code while logging in is the server saying no, not the network.
    const bool refused = failure && loggingIn && IsServerRefusal(*failure);
    if (refused) {
        refusedLogin_ = attempt;
        refusedReply_ = failure->description;
    }
    if (!settings.URL.isEmpty())
        ctx_.feedback.status(refused ? QStringLiteral("Status: Login refused by ") + settings.URL
                                     : QStringLiteral("Status: Could not connect to ") + settings.URL);
    Inform(ctx_.services, connectFailureText(failure, refused, password));
}

bool SessionController::confirmRepeatedLogin(const QStringList& attempt)
{
    if (ctx_.settings.URL.isEmpty() || refusedLogin_ != attempt)
        return true;
    // The same login again would only be refused again: say so before trying.
    const QString question = QStringLiteral("The server %1 refused this login the last time:\n%2\n\n"
                                            "Try again with the same login and password?")
                                 .arg(ctx_.settings.URL, refusedReply_);
    return ctx_.services.dialogs->message(question, Dialogs::Buttons::YesNo, Dialogs::Icon::Information, kAppTitle)
           == Dialogs::kYes;
}

void SessionController::leavePreviousConnection()
{
    if (ctx_.ftp.State() == 1)
        ctx_.ftp.Quit();
    connectedDescription_ = ctx_.settings.Description;
    connectedUrl_ = ctx_.settings.URL;
}

void SessionController::logIn(const QString& password)
{
    const ConnectionSettings& settings = ctx_.settings;
    ctx_.feedback.status(QStringLiteral("Status: Connecting to ") + settings.URL);
    ctx_.ftp.setUserName(settings.User);
    ctx_.ftp.setPassword(password);
    ctx_.ftp.setPort(kDefaultFtpPort);
    ctx_.ftp.setHost(settings.URL);
    ctx_.ftp.setEncryptionExpected(!std::exchange(plainAccepted_, false) && EncryptedBefore());
    ctx_.feedback.status(QStringLiteral("Status: Retrieving Directory List"));
    receiver_.resetCounters();
    ctx_.ftp.OpenConnection();
}

void SessionController::showNewConnection(const QString& passwordNote)
{
    refusedLogin_.reset();
    RememberEncryption();
    ctx_.state.place.site = SiteKey(ctx_.settings.User, ctx_.settings.URL);
    readServerFolder();
    RemoveLeftUploads();
    ctx_.ftp.List();
    showServerFolder();
    ctx_.feedback.status(QStringLiteral("Status: Done") + passwordNote);
    ctx_.feedback.panel(2, QStringLiteral("Connected"));
}

bool SessionController::connectEndedBy(const FtpError& error, CommandLight& light)
{
    switch (error.number) {
    case ftp_errors::Cancelled:
        return true;
    case ftp_errors::Stopped:
    case ftp_errors::NoEncryption:
        light.end();
        ctx_.reportError(error);
        return true;
    case ftp_errors::EncryptionDropped:
        if (AcceptPlainLogin(error)) {
            plainAccepted_ = true;
            Connect();
        } else {
            ctx_.feedback.status(QStringLiteral("Status: Disconnected (the server no longer offers encryption)"));
        }
        return true;
    case ftp_errors::Untrusted:
        ctx_.feedback.status(QStringLiteral("Status: Disconnected (the server's certificate was not trusted)"));
        return true;
    default:
        return false;
    }
}

QString SessionController::connectFailureText(const std::optional<FtpError>& failure, bool refused,
                                              const QString& password) const
{
    const ConnectionSettings& settings = ctx_.settings;
    const bool loginMissing = settings.User.isEmpty() || password.isEmpty();
    const QString setLogin = QStringLiteral("You must use the site manager to set your username and password.");
    if (settings.URL.isEmpty())
        return loginMissing ? setLogin
                            : QStringLiteral("No server address is set. Please choose or add a site in the site manager.");
    if (failure->number == ftp_errors::Network || failure->number == ftp_errors::TimedOut)
        return QStringLiteral("It appears you are not connected to the internet.  If you are connected then please "
                              "verify that you entered your server information correctly in the site manager.\n\n(%1)")
            .arg(failure->description);
    // An SSH site without a password logs in with the person's keys.
    const auto address = SplitServerAddress(settings.URL, kDefaultFtpPort);
    const bool keyLogin = address && address->scheme == QLatin1String("sftp");
    if (settings.User.isEmpty() || (password.isEmpty() && !keyLogin))
        return setLogin;
    if (refused)
        return QStringLiteral("The server %1 refused the login:\n%2\n\nThe site's login and password can be changed "
                              "in the site manager (FTP menu, Site Manager).")
            .arg(settings.URL, failure->description);
    return QStringLiteral("The connection to %1 failed:\n%2").arg(settings.URL, failure->description);
}

void SessionController::NoteTemporaryUpload(const QString& path, bool onServer)
{
    if (onServer) {
        if (!ctx_.state.place.site.isEmpty())
            uploadSites_.insert(path, ctx_.state.place.site);
        if (!callRunning_)   // told after its call had ended
            NoteUploadsLeftAfterCall(false);
        return;
    }
    const QString site = uploadSites_.take(path);
    if (noted_.remove(path) && ctx_.services.settings)
        UploadLeftovers(*ctx_.services.settings).note(site, path, false);
}

void SessionController::NoteUploadsLeftAfterCall(bool running)
{
    // Only a call that ended with its temporary upload still there writes
    // the settings: one write a picture would cost a many-picture upload
    // more than the pictures.
    callRunning_ = running;
    if (running || !ctx_.services.settings)
        return;
    for (auto it = uploadSites_.cbegin(); it != uploadSites_.cend(); ++it) {
        if (!noted_.contains(it.key())) {
            UploadLeftovers(*ctx_.services.settings).note(it.value(), it.key(), true);
            noted_.insert(it.key());
        }
    }
}

void SessionController::RemoveLeftUploads()
{
    if (!ctx_.services.settings)
        return;
    UploadLeftovers leftovers(*ctx_.services.settings);
    const QString& site = ctx_.state.place.site;
    for (const QString& path : leftovers.paths(site)) {
        try {
            ctx_.ftp.DeleteFile(path);
        } catch (const FtpError& error) {
            // A refusal (already gone, or never to be removed) settles it;
            // trouble with the connection is the connect's failure.
            if (!IsServerRefusal(error))
                throw;
        }
        leftovers.note(site, path, false);
    }
}

void SessionController::Disconnect()
{
    if (ctx_.ftp.State() == 0) {
        ctx_.ftp.Quit();   // a connection the server had closed stays closed
        Inform(ctx_.services, QStringLiteral("You are already disconnected."));
        return;
    }
    RunCommand(ctx_, [this] {
        ctx_.ftp.Quit();
        ctx_.feedback.status(disconnectedText());
        receiver_.clearList();
    });
}

void SessionController::StateChanged(int connected)
{
    ctx_.feedback.panel(5, ctx_.ftp.Protection());
    ctx_.feedback.setConnected(connected != 0);
    if (connected != 0)
        return;
    ctx_.feedback.panel(2, QStringLiteral("Disconnected"));
    ctx_.feedback.status(QStringLiteral("Status: Disconnected"));
    receiver_.flush();
    snapshotProblem_.clear();
    // The disconnect goes on when the listing cannot be kept; the status line
    // says so. A listing cut short (a drop, Stop) would replace the last
    // whole one with a part, so the one saved before stays.
    if (receiver_.listingWhole())
        WriteListingSnapshot(ctx_.services.appFolder, connectedDescription_, connectedUrl_, ctx_.state.place,
                             ctx_.serverModel.rowTexts(), &snapshotProblem_);
    else
        snapshotProblem_ = QStringLiteral("the folder's listing had not arrived whole");
    placeBeforeDrop_ = ctx_.state.place;
    // A server that closed an idle connection is gone back to, at this same
    // place, by the next call: a command waiting for an answer meanwhile
    // goes on there (its uploads' previews, the site's choices).
    if (!ctx_.ftp.Reconnectable())
        ctx_.state.place = ServerPlace{};
    ctx_.feedback.status(disconnectedText());
    receiver_.clearList();
    ctx_.serverModel.releaseSpareRoom();  // no listing follows
    ctx_.window.setWindowTitle(WindowTitle({}, {}));
}

// The component went back to the same login and folder: the rows it lists
// next belong where the old ones did.
void SessionController::Reconnected()
{
    ctx_.state.place = placeBeforeDrop_;
    ctx_.feedback.panel(2, QStringLiteral("Connected"));
    ctx_.feedback.status(QStringLiteral("Status: The server had closed the idle connection; reconnected to %1.")
                             .arg(connectedUrl_));
    showServerFolder();
}

// The title names the site and the server folder, so the person always
// sees where the list comes from.
void SessionController::showServerFolder()
{
    const QString site = connectedDescription_.isEmpty() ? connectedUrl_ : connectedDescription_;
    ctx_.window.setWindowTitle(WindowTitle(site, ctx_.state.place.folder));
}

QString SessionController::disconnectedText() const
{
    if (snapshotProblem_.isEmpty())
        return QStringLiteral("Status: Disconnected");
    return QStringLiteral("Status: Disconnected (the listing was not saved: %1)").arg(snapshotProblem_);
}

void SessionController::readServerFolder()
{
    ctx_.state.place.folder.clear();
    ctx_.state.place.folder = ctx_.ftp.CurrentFolder();
}

void SessionController::Relist()
{
    receiver_.clearList();
    ctx_.ftp.List();
}

void SessionController::ServerDoubleClick()
{
    RunCommand(ctx_, [this] {
        ctx_.feedback.lightsBusy();
        const int row = ctx_.serverView.currentIndex().isValid() ? ctx_.serverView.currentIndex().row() : -1;
        if (row < 0 || row >= ctx_.serverModel.rowCount())
            throw NoRowSelected();
        const ServerRow& chosen = ctx_.serverModel.row(row);
        const QString text = chosen.text;
        if (text.endsWith(QLatin1Char('/'))) {
            const QString problem = ServerNameProblem(text);
            if (!problem.isEmpty())
                throw FtpError(ftp_errors::BadName, QStringLiteral("%1 cannot be opened: %2").arg(text, problem));
            EnterFolder(FolderName(text));
        } else if (!chosen.link || !EnterLinkedFolder(text)) {
            DownloadFile(text, chosen.bytes);
        }
        ctx_.feedback.lightsConnected();
    }, Needs::Nothing);
}

void SessionController::EnterFolder(const QString& folder)
{
    ctx_.feedback.status(QStringLiteral("Status: Changing Folders"));
    ctx_.ftp.ChangeDir(folder);
    ShowEnteredFolder();
}

void SessionController::ShowEnteredFolder()
{
    readServerFolder();
    Relist();
    showServerFolder();
    ctx_.feedback.status(QStringLiteral("Status: Done"));
}

bool SessionController::EnterLinkedFolder(const QString& link)
{
    // A link may lead to a folder or a file; the server knows which. Its
    // refusal to enter means a file; any other failure is reported.
    ctx_.feedback.status(QStringLiteral("Status: Changing Folders"));
    try {
        ctx_.ftp.ChangeDir(link);
    } catch (const FtpError& error) {
        if (!IsServerRefusal(error))
            throw;
        return false;
    }
    ShowEnteredFolder();
    return true;
}

void SessionController::DownloadFile(const QString& name, qint64 listedSize)
{
    FetchFile(name, listedSize);
    ctx_.localPane.refreshFiles();
}

void SessionController::FetchFile(const QString& name, qint64 listedSize)
{
    const QString problem = EntryNameProblem(name);
    if (!problem.isEmpty())
        throw FtpError(ftp_errors::BadName, QStringLiteral("%1 cannot be downloaded: %2").arg(name, problem));
    // A question per file costs a round trip the listing already answered.
    // Unknown is -1, never the size of an earlier file.
    const qint64 expected = listedSize > 0 ? listedSize : ctx_.ftp.SizeOf(name);
    ctx_.feedback.status(QStringLiteral("Status: Downloading ") + name);
    ctx_.feedback.startTransfer();
    ctx_.ftp.GetFile(name, EntryPath(ctx_.localPane.folder(), name), expected);
    ctx_.feedback.status(QStringLiteral("Status: Download Complete"));
    ctx_.feedback.setProgress(0);
}

void SessionController::InSubFolder(const QString& folder, const std::function<void()>& work)
{
    ctx_.ftp.ChangeDir(folder);
    try {
        work();
    } catch (...) {
        try {
            ctx_.ftp.ChangeDir(QStringLiteral(".."));
        } catch (const FtpError&) {
            // The first failure is the one the person needs to hear about.
        }
        throw;
    }
    ctx_.ftp.ChangeDir(QStringLiteral(".."));
}

QList<ListRow> SessionController::ListSubFolder(const QString& folder)
{
    QList<ListRow> rows;
    InSubFolder(folder, [&] { rows = receiver_.captureListing([this] { ctx_.ftp.List(); }); });
    return rows;
}

void SessionController::GoUp()
{
    if (ctx_.ftp.State() == 0) {
        Inform(ctx_.services, QStringLiteral("You are not connected to the server."));
        return;
    }
    RunCommand(ctx_, [this] {
        ctx_.feedback.status(QStringLiteral("Status: Changing to parent folder"));
        ctx_.ftp.ChangeDir(QStringLiteral(".."));
        ShowEnteredFolder();
    });
}

void SessionController::Refresh()
{
    // A refresh that could not list says so instead of claiming success.
    RunCommand(ctx_, [this] {
        ctx_.feedback.lightsBusy();
        ctx_.feedback.status(QStringLiteral("Status: Refreshing File List."));
        ctx_.localPane.refreshFiles();
        ctx_.localPane.refreshFolders();
        if (ctx_.ftp.State() == 1 || ctx_.ftp.Reconnectable())
            Relist();
        ctx_.feedback.status(QStringLiteral("Status: Refresh Complete."));
        ctx_.feedback.lightsConnected();
    }, Needs::Nothing);
}

void SessionController::Progress(qint64 bytes, qint64 expected)
{
    if (expected <= 0)
        return;
    // The size of the file on its way, whichever list has the focus: the
    // local list's current file need not be the one moving.
    ctx_.feedback.showTransfer(bytes, expected);
}

}  // namespace quillmar
