#include "support/ftp_daemon_fixture.h"

#include <QDeadlineTimer>
#include <QFileInfo>

#include <algorithm>

namespace quillmar::test {

namespace {

// Unpacking a daemon from its package on first use takes a while.
constexpr int StartWaitMs = 120000;
constexpr int StopWaitMs = 10000;

QString DaemonScript()
{
    const QString name = QStringLiteral("/ftp_daemon.py");
    const QString fromEnvironment = qEnvironmentVariable("QUILLMAR_TEST_SUPPORT") + name;
    return QFileInfo::exists(fromEnvironment) ? fromEnvironment : QStringLiteral(QUILLMAR_TEST_SUPPORT_DIR) + name;
}

}  // namespace

FtpDaemonFixture::FtpDaemonFixture(const QString& kind) : kind_(kind) {}

FtpDaemonFixture::~FtpDaemonFixture()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.closeWriteChannel();  // the script stops its daemon when its input closes
    if (!process_.waitForFinished(StopWaitMs)) {
        process_.kill();
        process_.waitForFinished(StopWaitMs);
    }
}

bool FtpDaemonFixture::start(QString* error)
{
    if (!root_.isValid() || !work_.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString python = qEnvironmentVariable("QUILLMAR_PYTHON", QStringLiteral("/usr/bin/python3"));
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(python, {DaemonScript(), QStringLiteral("--kind"), kind_, QStringLiteral("--root"), root(),
                            QStringLiteral("--work"), work_.path(), QStringLiteral("--kit"),
                            QStringLiteral(QUILLMAR_DAEMON_KIT_DIR)});
    if (!process_.waitForStarted(StartWaitMs)) {
        *error = QStringLiteral("cannot start %1: %2").arg(python, process_.errorString());
        return false;
    }
    const QDeadlineTimer deadline(StartWaitMs);
    while (!deadline.hasExpired()) {
        while (process_.canReadLine()) {
            // "PORT <n> USER <name> PASS <password>"
            const QStringList words = QString::fromUtf8(process_.readLine()).trimmed().split(u' ');
            if (words.size() == 6 && words[0] == QLatin1String("PORT")) {
                port_ = words[1].toInt();
                user_ = words[3];
                password_ = words[5];
                return true;
            }
        }
        if (process_.state() != QProcess::Running) {
            *error = QStringLiteral("%1 ended before answering").arg(kind_);
            return false;
        }
        process_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
    *error = QStringLiteral("%1 did not answer in time").arg(kind_);
    return false;
}

}  // namespace quillmar::test
