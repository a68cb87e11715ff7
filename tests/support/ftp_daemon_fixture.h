#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace quillmar::test {

// A real FTP daemon (vsftpd, proftpd or pure-ftpd), or sshd serving SFTP
// (kind "sshd"), run by tests/support/ftp_daemon.py on 127.0.0.1 and a free
// port, serving a temporary home folder as a throw-away local account. Fill
// root() first, then start(); the daemon stops when this object goes. Needs
// root. One daemon runs at a time on the machine: a second start() waits for
// the first daemon to stop.
class FtpDaemonFixture {
public:
    explicit FtpDaemonFixture(const QString& kind);
    ~FtpDaemonFixture();
    FtpDaemonFixture(const FtpDaemonFixture&) = delete;
    FtpDaemonFixture& operator=(const FtpDaemonFixture&) = delete;

    // False with *error saying why when the daemon does not answer. A port
    // other than 0 is taken instead of a free one (a server coming back).
    bool start(QString* error, int port = 0);
    // sshd only, before start(): a public key file whose key may log in.
    void authorize(const QString& publicKey) { authorizedKey_ = publicKey; }

    QString root() const { return root_.path(); }
    // The daemon's configuration; sshd's host key is work()/host_key.
    QString work() const { return work_.path(); }
    int port() const { return port_; }
    QString user() const { return user_; }
    QString password() const { return password_; }

private:
    QString kind_;
    QTemporaryDir root_;
    QTemporaryDir work_;
    QProcess process_;
    int port_ = 0;
    QString user_;
    QString password_;
    QString authorizedKey_;
};

}  // namespace quillmar::test
