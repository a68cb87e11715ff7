#include "support/support_script.h"

#include <QDeadlineTimer>
#include <QFileInfo>

#include <algorithm>

namespace quillmar::test {

namespace {

// From QUILLMAR_TEST_SUPPORT when it is there, otherwise from the folder this
// kit was built from (a test registered outside tests/ gets a
// QUILLMAR_TEST_SUPPORT that points elsewhere).
QString SupportScriptPath(const QString& script)
{
    const QString name = u'/' + script;
    const QString fromEnvironment = qEnvironmentVariable("QUILLMAR_TEST_SUPPORT") + name;
    return QFileInfo::exists(fromEnvironment) ? fromEnvironment : QStringLiteral(QUILLMAR_TEST_SUPPORT_DIR) + name;
}

}  // namespace

bool StartSupportScript(QProcess& process, const QString& script, const QStringList& arguments, int waitMs,
                        QString* error)
{
    const QString python = qEnvironmentVariable("QUILLMAR_PYTHON", QStringLiteral("/usr/bin/python3"));
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(python, QStringList{SupportScriptPath(script)} + arguments);
    if (process.waitForStarted(waitMs))
        return true;
    *error = QStringLiteral("cannot start %1: %2").arg(python, process.errorString());
    return false;
}

QString AwaitScriptLine(QProcess& process, const QString& prefix, int waitMs, QString* error)
{
    const QDeadlineTimer deadline(waitMs);
    while (!deadline.hasExpired()) {
        while (process.canReadLine()) {
            const QString line = QString::fromUtf8(process.readLine()).trimmed();
            if (line.startsWith(prefix))
                return line.mid(prefix.size());
        }
        if (process.state() != QProcess::Running) {
            *error = QStringLiteral("ended before answering");
            return {};
        }
        process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
    *error = QStringLiteral("did not answer in time");
    return {};
}

void StopSupportScript(QProcess& process, int waitMs)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.closeWriteChannel();
    if (!process.waitForFinished(waitMs)) {
        process.kill();
        process.waitForFinished(waitMs);
    }
}

}  // namespace quillmar::test
