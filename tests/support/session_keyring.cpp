#include "support/session_keyring.h"

#include "support/files.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QThread>

#include <csignal>

namespace quillmar::test {

namespace {

constexpr int kWaitMs = 30000;  // for a daemon to start or end, or secret-tool to answer
constexpr int kPollMs = 50;

// Whether the process still runs: the forked bus is not our child, so once
// ended it may linger as a zombie until something else reaps it.
bool Running(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray fields = stat.readAll();
    const qsizetype nameEnd = fields.lastIndexOf(") ");
    return nameEnd >= 0 && fields.mid(nameEnd + 2, 1) != "Z";
}

const QString kService = QStringLiteral("Quillmar");

// No service folders: nothing on this bus starts by itself, so a
// keyring that has gone stays gone.
QByteArray BusConfig(const QString& folder)
{
    return QStringLiteral(R"(<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
        .arg(folder)
        .toUtf8();
}

}  // namespace

SessionKeyring::SessionKeyring()
{
    if (!home_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return;
    }
    for (const char* folder : {"data", "run", "config"})
        QDir(home_.path()).mkpath(QLatin1String(folder));
    QFile::setPermissions(home_.filePath(QStringLiteral("run")), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                      | QFileDevice::ExeOwner);
    if (startBus())
        startKeyring();
}

SessionKeyring::~SessionKeyring()
{
    stopKeyring();
    if (busPid_ <= 0)
        return;
    ::kill(pid_t(busPid_), SIGTERM);
    // The bus removes its socket from home_ as it ends; removing home_ while it
    // does left the folder behind in /tmp after every run.
    const QDeadlineTimer deadline(kWaitMs);
    while (Running(busPid_) && !deadline.hasExpired())
        QThread::msleep(kPollMs);
}

bool SessionKeyring::startBus()
{
    const QString config = home_.filePath(QStringLiteral("bus.conf"));
    if (!WriteFile(config, BusConfig(home_.path()))) {
        error_ = QStringLiteral("cannot write %1").arg(config);
        return false;
    }
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config, QStringLiteral("--fork"),
                                               QStringLiteral("--print-address=1"), QStringLiteral("--print-pid=1")});
    if (!bus.waitForFinished(kWaitMs) || bus.exitCode() != 0) {
        error_ = QStringLiteral("dbus-daemon did not start: %1 %2")
                     .arg(bus.errorString(), QString::fromLocal8Bit(bus.readAllStandardError()));
        return false;
    }
    const QStringList lines = QString::fromLocal8Bit(bus.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    if (lines.size() < 2) {
        error_ = QStringLiteral("dbus-daemon said neither address nor process: ") + lines.join(u' ');
        return false;
    }
    address_ = lines[0].trimmed();
    busPid_ = lines[1].trimmed().toLongLong();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
    return true;
}

bool SessionKeyring::startKeyring()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home_.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home_.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_.filePath(QStringLiteral("run")));
    environment.remove(QStringLiteral("DISPLAY"));
    keyring_.setProcessEnvironment(environment);
    keyring_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    keyring_.start(QStringLiteral("gnome-keyring-daemon"),
                   {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    if (!keyring_.waitForStarted(kWaitMs)) {
        error_ = QStringLiteral("gnome-keyring-daemon did not start: ") + keyring_.errorString();
        return false;
    }
    keyring_.write("throw-away keyring password\n");
    keyring_.waitForBytesWritten(kWaitMs);  // nothing else writes it while this waits below
    keyring_.closeWriteChannel();
    // Ready once secret-tool can reach it.
    const QDeadlineTimer deadline(kWaitMs);
    QString said;
    while (!deadline.hasExpired()) {
        bool ok = false;
        said = secretTool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("service"), kService},
                          &ok, true);
        if (ok)
            return true;
        if (keyring_.state() == QProcess::NotRunning)
            break;
        QThread::msleep(kPollMs);
    }
    error_ = QStringLiteral("the keyring daemon never answered on the private bus (%1; daemon %2)")
                 .arg(said.trimmed(), keyring_.state() == QProcess::NotRunning
                                          ? QStringLiteral("ended with %1").arg(keyring_.exitCode())
                                          : QStringLiteral("running"));
    return false;
}

void SessionKeyring::stopKeyring()
{
    if (keyring_.state() == QProcess::NotRunning)
        return;
    keyring_.terminate();
    if (!keyring_.waitForFinished(kWaitMs))
        keyring_.kill();
    keyring_.waitForFinished(kWaitMs);
}

QString SessionKeyring::secretTool(const QStringList& arguments, bool* ok, bool errorText) const
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), arguments);
    const bool finished = tool.waitForFinished(kWaitMs);
    const QByteArray errors = tool.readAllStandardError();
    if (ok)
        *ok = finished && tool.exitStatus() == QProcess::NormalExit && errors.isEmpty();
    if (errorText)
        return finished ? QString::fromLocal8Bit(errors) : tool.errorString();
    return QString::fromUtf8(tool.readAllStandardOutput());
}

std::optional<QString> SessionKeyring::lookup(const QString& key) const
{
    bool ok = false;
    const QString password =
        secretTool({QStringLiteral("lookup"), QStringLiteral("server"), kService, QStringLiteral("user"), key}, &ok);
    if (!ok || password.isEmpty())
        return std::nullopt;
    return password;
}

int SessionKeyring::entryCount() const
{
    const QString found =
        secretTool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("server"), kService});
    // Each entry opens with its path in brackets ("[/1]"); the attributes go to standard error.
    int entries = 0;
    for (const QString& line : found.split(u'\n'))
        entries += line.startsWith(QStringLiteral("[/")) ? 1 : 0;
    return entries;
}

void SessionKeyring::clear() const { secretTool({QStringLiteral("clear"), QStringLiteral("server"), kService}); }

}  // namespace quillmar::test
