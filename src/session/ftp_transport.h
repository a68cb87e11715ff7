#pragma once

#include "session/transport.h"

#include <memory>

namespace quillmar {

// FTP over one control connection and passive data connections (Poco),
// encrypted with TLS whenever the server accepts AUTH TLS; requireTls
// refuses a server that does not.
class FtpTransport : public Transport {
public:
    FtpTransport(bool requireTls, std::function<void()> disconnected, TrustQuestion trust);
    ~FtpTransport() override;

    void setTimeout(std::chrono::milliseconds timeout) override;
    bool connected() const override;
    QString protection() const override;
    void connect(const FtpLogin& login) override;
    TransferEnd list(const TransferLocal& local) override;
    void changeFolder(const QString& folder) override;
    QString currentFolder() override;   // PWD
    qint64 sizeOf(const QString& name) override;   // SIZE
    QDateTime modifiedTime(const QString& name) override;   // MDTM, where offered
    bool setModified(const QString& name, const QDateTime& time) override;   // MFMT, where offered
    TransferEnd get(const QString& remoteName, const TransferLocal& local) override;
    TransferEnd put(const TransferLocal& local, const QString& remoteName) override;
    void rename(const QString& from, const QString& to, bool replace, bool* targetRemoved = nullptr) override;
    void remove(const QString& name) override;
    void makeFolder(const QString& name) override;
    void removeFolder(const QString& name) override;
    FtpReply command(const QString& line) override;
    std::optional<TransferEnd> getFrom(const QString& remoteName, qint64 offset, const TransferLocal& local) override;
    std::optional<TransferEnd> putFrom(const TransferLocal& local, const QString& remoteName, qint64 offset) override;
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
