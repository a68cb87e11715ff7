#pragma once

#include <QString>
#include <QStringList>

namespace quillmar {

// The server certificates the person has trusted, pinned by SHA-256
// fingerprint per host and port in "trusted-servers" in the application
// folder: one "host:port fingerprint" line each, rewritten atomically and
// readable by the owner only. Host names count in lower case. The same file
// remembers each server that has spoken TLS, as "encrypted host:port" lines,
// which readers of pins alone pass over.
class TrustedServers {
public:
    explicit TrustedServers(QString appFolder);

    QString pinned(const QString& host, int port) const;   // empty when none
    bool pin(const QString& host, int port, const QString& fingerprint, QString* error);

    bool encryptedBefore(const QString& host, int port) const;
    bool rememberEncrypted(const QString& host, int port, QString* error);

private:
    QStringList lines() const;
    // Every line but those naming first and second, then the line "first second".
    bool replace(const QString& first, const QString& second, const QString& line, QString* error);

    QString path_;
};

}  // namespace quillmar
