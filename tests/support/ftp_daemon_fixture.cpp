#include "support/ftp_daemon_fixture.h"

#include "support/support_script.h"

namespace quillmar::test {

namespace {

// Unpacking a daemon from its package on first use takes a while.
constexpr int StartWaitMs = 120000;
constexpr int StopWaitMs = 10000;

}  // namespace

FtpDaemonFixture::FtpDaemonFixture(const QString& kind) : kind_(kind) {}

// The script stops its daemon when its input closes.
FtpDaemonFixture::~FtpDaemonFixture() { StopSupportScript(process_, StopWaitMs); }

bool FtpDaemonFixture::start(QString* error, int port)
{
    if (!root_.isValid() || !work_.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    if (!StartSupportScript(process_, QStringLiteral("ftp_daemon.py"),
                            {QStringLiteral("--kind"), kind_, QStringLiteral("--root"), root(), QStringLiteral("--work"),
                             work_.path(), QStringLiteral("--kit"), QStringLiteral(QUILLMAR_DAEMON_KIT_DIR),
                             QStringLiteral("--port"), QString::number(port), QStringLiteral("--authorized-key"),
                             authorizedKey_},
                            StartWaitMs, error))
        return false;
    // "PORT <n> USER <name> PASS <password>"
    QString why;
    const QStringList words = AwaitScriptLine(process_, QStringLiteral("PORT "), StartWaitMs, &why).split(u' ');
    if (words.size() != 5 || words[1] != QLatin1String("USER") || words[3] != QLatin1String("PASS")) {
        *error = kind_ + u' ' + (why.isEmpty() ? QStringLiteral("answered in an unknown form") : why);
        return false;
    }
    port_ = words[0].toInt();
    user_ = words[2];
    password_ = words[4];
    return true;
}

}  // namespace quillmar::test
