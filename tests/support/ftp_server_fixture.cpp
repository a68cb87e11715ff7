#include "support/ftp_server_fixture.h"

#include "support/support_script.h"

namespace quillmar::test {

namespace {

constexpr int StartWaitMs = 20000;
constexpr int StopWaitMs = 5000;

}  // namespace

FtpServerFixture::FtpServerFixture(int sendLimit, const QStringList& extraArguments)
{
    if (!root_.isValid()) {
        error_ = QStringLiteral("no temporary root: ") + root_.errorString();
        return;
    }
    if (!StartSupportScript(process_, QStringLiteral("ftp_server.py"),
                            QStringList{QStringLiteral("--root"), root(), QStringLiteral("--port"), QStringLiteral("0"),
                                        QStringLiteral("--user"), user(), QStringLiteral("--password"), password(),
                                        QStringLiteral("--watch-stdin"), QStringLiteral("--send-limit"),
                                        QString::number(sendLimit)} +
                                extraArguments,
                            StartWaitMs, &error_))
        return;
    QString why;
    const QString port = AwaitScriptLine(process_, QStringLiteral("PORT "), StartWaitMs, &why);
    if (port.isEmpty())
        error_ = QStringLiteral("the FTP server ") + why;
    else
        port_ = port.toInt();
}

FtpServerFixture::~FtpServerFixture() { stop(); }

// The server ends when its input closes.
void FtpServerFixture::stop() { StopSupportScript(process_, StopWaitMs); }

}  // namespace quillmar::test
