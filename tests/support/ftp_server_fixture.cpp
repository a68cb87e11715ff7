#include "support/ftp_server_fixture.h"

#include <QDeadlineTimer>
#include <QFileInfo>

#include <algorithm>

namespace quillmar::test {

namespace {

constexpr int StartWaitMs = 20000;
constexpr int StopWaitMs = 5000;

// The server script: from QUILLMAR_TEST_SUPPORT when it is there, otherwise
// from the folder this kit was built from (a test registered outside tests/
// gets a QUILLMAR_TEST_SUPPORT that points elsewhere).
QString ServerProgram()
{
    const QString name = QStringLiteral("/ftp_server.py");
    const QString fromEnvironment = qEnvironmentVariable("QUILLMAR_TEST_SUPPORT") + name;
    return QFileInfo::exists(fromEnvironment) ? fromEnvironment : QStringLiteral(QUILLMAR_TEST_SUPPORT_DIR) + name;
}

}  // namespace

FtpServerFixture::FtpServerFixture(int sendLimit, const QStringList& extraArguments) : sendLimit_(sendLimit)
{
    start(extraArguments);
}

FtpServerFixture::~FtpServerFixture()
{
    stop();
}

void FtpServerFixture::start(const QStringList& extraArguments)
{
    if (!root_.isValid()) {
        error_ = QStringLiteral("no temporary root: ") + root_.errorString();
        return;
    }
    const QString python = qEnvironmentVariable("QUILLMAR_PYTHON", QStringLiteral("/usr/bin/python3"));
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(python, QStringList{ServerProgram(), QStringLiteral("--root"), root(),
                            QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--user"), user(),
                            QStringLiteral("--password"), password(), QStringLiteral("--watch-stdin"),
                            QStringLiteral("--send-limit"), QString::number(sendLimit_)} +
                               extraArguments);
    if (!process_.waitForStarted(StartWaitMs)) {
        error_ = QStringLiteral("cannot start %1: %2").arg(python, process_.errorString());
        return;
    }
    const QDeadlineTimer deadline(StartWaitMs);
    while (!deadline.hasExpired()) {
        while (process_.canReadLine()) {
            const QString line = QString::fromUtf8(process_.readLine()).trimmed();
            if (line.startsWith(QLatin1String("PORT "))) {
                port_ = line.mid(5).toInt();
                return;
            }
        }
        if (process_.state() != QProcess::Running) {
            error_ = QStringLiteral("the FTP server ended before listening");
            return;
        }
        process_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
    error_ = QStringLiteral("the FTP server did not say its port in time");
}

void FtpServerFixture::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.closeWriteChannel();  // the server ends when its input closes
    if (!process_.waitForFinished(StopWaitMs)) {
        process_.kill();
        process_.waitForFinished(StopWaitMs);
    }
}

}  // namespace quillmar::test
