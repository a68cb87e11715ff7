#include "session/trusted_servers.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace quillmar {

namespace {

QString Key(const QString& host, int port)
{
    return (host.contains(u':') ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2")).arg(host).arg(port);
}

}  // namespace

TrustedServers::TrustedServers(QString appFolder) : path_(QDir(appFolder).filePath(QStringLiteral("trusted-servers"))) {}

QString TrustedServers::pinned(const QString& host, int port) const
{
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QString key = Key(host, port);
    while (!file.atEnd()) {
        const QStringList fields = QString::fromUtf8(file.readLine()).trimmed().split(u' ');
        if (fields.size() == 2 && fields[0] == key)
            return fields[1];
    }
    return {};
}

bool TrustedServers::pin(const QString& host, int port, const QString& fingerprint, QString* error)
{
    const QString key = Key(host, port);
    QByteArray kept;
    QFile old(path_);
    if (old.open(QIODevice::ReadOnly | QIODevice::Text)) {
        while (!old.atEnd()) {
            const QByteArray line = old.readLine().trimmed();
            if (!line.isEmpty() && !line.startsWith((key + u' ').toUtf8()))
                kept += line + '\n';
        }
    }
    QSaveFile file(path_);
    const bool saved = file.open(QIODevice::WriteOnly) &&
                       file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                       file.write(kept + (key + u' ' + fingerprint + u'\n').toUtf8()) >= 0 && file.commit();
    if (!saved && error)
        *error = QStringLiteral("%1 could not be written: %2").arg(QDir::toNativeSeparators(path_), file.errorString());
    return saved;
}

}  // namespace quillmar
