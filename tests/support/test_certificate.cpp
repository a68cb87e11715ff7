#include "support/test_certificate.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace quillmar::test {

namespace {

constexpr int OpensslWaitMs = 60000;

QByteArray RunOpenssl(const QStringList& arguments)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), arguments);
    const bool ran = openssl.waitForFinished(OpensslWaitMs) && openssl.exitCode() == 0;
    return ran ? openssl.readAllStandardOutput() : QByteArray();
}

}  // namespace

TestCertificate MakeCertificate(const QString& folder, const QString& name)
{
    const QString pem = QDir(folder).filePath(name + QStringLiteral(".pem"));
    const QString crt = pem + QStringLiteral(".crt");
    RunOpenssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-keyout",
                pem, "-out", crt});
    QFile certificate(crt);
    QFile key(pem);
    if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::Append) || key.write(certificate.readAll()) <= 0)
        return {};
    const QString printed = QString::fromUtf8(RunOpenssl({"x509", "-in", crt, "-noout", "-fingerprint", "-sha256"})).trimmed();
    return {pem, printed.mid(printed.indexOf(u'=') + 1)};
}

}  // namespace quillmar::test
