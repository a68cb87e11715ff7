#pragma once

#include <QString>

namespace quillmar {

// The server certificates the person has trusted, pinned by SHA-256
// fingerprint per host and port in "trusted-servers" in the application
// folder: one "host:port fingerprint" line each, rewritten atomically and
// readable by the owner only.
class TrustedServers {
public:
    explicit TrustedServers(QString appFolder);

    QString pinned(const QString& host, int port) const;   // empty when none
    bool pin(const QString& host, int port, const QString& fingerprint, QString* error);

private:
    QString path_;
};

}  // namespace quillmar
