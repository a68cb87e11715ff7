#pragma once

#include "session/transport.h"

#include <memory>

namespace quillmar {

// SFTP over one SSH connection (libssh): the same calls as FTP, with the
// server's host key judged the way a certificate is. Names are taken from the
// current folder, which this side keeps, since SFTP has no current folder.
class SftpTransport : public Transport {
public:
    SftpTransport(std::function<void()> disconnected, TrustQuestion trust);
    ~SftpTransport() override;

    void setTimeout(std::chrono::milliseconds timeout) override;
    bool connected() const override;
    QString protection() const override;
    void connect(const FtpLogin& login) override;
    TransferEnd list(const TransferLocal& local) override;
    void changeFolder(const QString& folder) override;
    QString currentFolder() override;
    qint64 sizeOf(const QString& name) override;
    TransferEnd get(const QString& remoteName, const TransferLocal& local) override;
    TransferEnd put(const TransferLocal& local, const QString& remoteName) override;
    void rename(const QString& from, const QString& to, bool replace, bool* targetRemoved = nullptr) override;
    void remove(const QString& name) override;
    void makeFolder(const QString& name) override;
    void removeFolder(const QString& name) override;
    FtpReply command(const QString& line) override;
    void quit() override;
    void beginCall() override;
    void endCall() override;
    void abort(int number, bool keepControl) override;
    void settleAbort() override;
    void watchIdle() override;
    void closeAtExit() override;
    void setRawNames(QHash<QString, QByteArray> names) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace quillmar
