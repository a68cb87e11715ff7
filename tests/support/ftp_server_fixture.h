#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace quillmar::test {

// A real FTP server (tests/support/ftp_server.py) on 127.0.0.1, a free port
// and a temporary root; stopped when this object goes.
class FtpServerFixture {
public:
    // sendLimit > 0: downloads move at most this many bytes a second;
    // extraArguments go to ftp_server.py (--tls-cert, --tls-required, --port).
    explicit FtpServerFixture(int sendLimit = 0, const QStringList& extraArguments = {});
    ~FtpServerFixture();
    FtpServerFixture(const FtpServerFixture&) = delete;
    FtpServerFixture& operator=(const FtpServerFixture&) = delete;

    bool running() const { return port_ > 0; }
    QString error() const { return error_; }   // why it did not start

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return port_; }
    QString root() const { return root_.path(); }
    QString user() const { return QStringLiteral("demo"); }
    QString password() const { return QStringLiteral("demo"); }

    // Ends the server at once, as a server going away would.
    void stop();

private:
    QTemporaryDir root_;
    QProcess process_;
    int port_ = 0;
    QString error_;
};

}  // namespace quillmar::test
