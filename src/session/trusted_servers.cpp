#include "session/trusted_servers.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <optional>
#include <utility>

namespace quillmar {

namespace {

const QString kEncrypted = QStringLiteral("encrypted");

QString Key(const QString& host, int port)
{
    const QString name = host.toLower();
    return (name.contains(u':') ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2")).arg(name).arg(port);
}

// A line's two fields, split at any run of blanks (a non-breaking one too);
// host keys in lower case. Empty for any other line.
std::optional<std::pair<QString, QString>> Fields(const QString& line)
{
    const QStringList fields = line.simplified().split(u' ', Qt::SkipEmptyParts);
    if (fields.size() != 2)
        return std::nullopt;
    if (fields[0] == kEncrypted)
        return std::pair{fields[0], fields[1].toLower()};
    return std::pair{fields[0].toLower(), fields[1]};
}

}  // namespace

TrustedServers::TrustedServers(QString appFolder) : path_(QDir(appFolder).filePath(QStringLiteral("trusted-servers"))) {}

QStringList TrustedServers::lines() const
{
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QString TrustedServers::pinned(const QString& host, int port) const
{
    const QString key = Key(host, port);
    for (const QString& line : lines()) {
        const auto fields = Fields(line);
        if (fields && fields->first == key)
            return fields->second;
    }
    return {};
}

bool TrustedServers::encryptedBefore(const QString& host, int port) const
{
    const auto wanted = std::pair{kEncrypted, Key(host, port)};
    for (const QString& line : lines()) {
        if (Fields(line) == wanted)
            return true;
    }
    return false;
}

bool TrustedServers::pin(const QString& host, int port, const QString& fingerprint, QString* error)
{
    const QString key = Key(host, port);
    return replace(key, {}, key + u' ' + fingerprint, error);
}

bool TrustedServers::rememberEncrypted(const QString& host, int port, QString* error)
{
    if (encryptedBefore(host, port))
        return true;
    const QString key = Key(host, port);
    return replace(kEncrypted, key, kEncrypted + u' ' + key, error);
}

bool TrustedServers::replace(const QString& first, const QString& second, const QString& line, QString* error)
{
    QByteArray kept;
    for (const QString& old : lines()) {
        const auto fields = Fields(old);
        const bool same = fields && fields->first == first && (second.isEmpty() || fields->second == second);
        if (!same && !old.trimmed().isEmpty())
            kept += old.toUtf8() + '\n';
    }
    QSaveFile file(path_);
    const bool saved = file.open(QIODevice::WriteOnly) &&
                       file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                       file.write(kept + (line + u'\n').toUtf8()) >= 0 && file.commit();
    if (!saved && error)
        *error = QStringLiteral("%1 could not be written: %2").arg(QDir::toNativeSeparators(path_), file.errorString());
    return saved;
}

}  // namespace quillmar
