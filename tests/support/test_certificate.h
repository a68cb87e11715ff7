#pragma once

#include <QString>

namespace quillmar::test {

// A self-signed certificate for 127.0.0.1, made with openssl at test time.
struct TestCertificate {
    QString pem;           // certificate and key, as the FTP server fixture takes them
    QString fingerprint;   // SHA-256, as openssl prints it ("AB:CD:...")
};

// Writes <folder>/<name>.pem; an empty pem when openssl fails.
TestCertificate MakeCertificate(const QString& folder, const QString& name);

}  // namespace quillmar::test
