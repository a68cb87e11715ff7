#include "session/ftp_address.h"

#include <algorithm>

namespace quillmar {

namespace {

constexpr int kLowestPort = 1;
constexpr int kHighestPort = 65535;
constexpr int kSshPort = 22;   // an sftp:// address without a port

// The scheme words an address may start with. sftp is read here so the
// factory of transports can answer for it.
constexpr QLatin1StringView kSchemes[] = {QLatin1StringView("ftp"), QLatin1StringView("ftps"),
                                          QLatin1StringView("sftp")};

std::optional<int> ReadPort(const QString& text)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < kLowestPort || port > kHighestPort || text.startsWith(u'+'))
        return std::nullopt;
    return port;
}

// Why the host (and port) part cannot name a server; empty when it can.
QString HostProblem(const QString& hostAndPort)
{
    if (hostAndPort.contains(u'@'))
        return QStringLiteral("The server address holds \"@\": type the login into the Login box and only the "
                              "server's name here (for example ftp.example.org).");
    if (hostAndPort.contains(u'/'))
        return QStringLiteral("The server address holds \"/\": type the server's name alone (for example "
                              "ftp.example.org), without a folder or a web address.");
    if (std::any_of(hostAndPort.begin(), hostAndPort.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
        return QStringLiteral("The server address holds a control character (a tab or a line break, perhaps "
                              "pasted with it); type the server's name alone.");
    if (std::any_of(hostAndPort.begin(), hostAndPort.end(), [](QChar c) { return c.isSpace(); }))
        return QStringLiteral("The server address holds a blank; a server's name has none.");
    return {};
}

QString PortProblem()
{
    return QStringLiteral("The port after \":\" in the server address must be a number from %1 to %2.")
        .arg(kLowestPort)
        .arg(kHighestPort);
}

// The one reading of an address: the address, or *problem says why there is none.
std::optional<ServerAddress> ReadAddress(const QString& text, int defaultPort, QString* problem)
{
    QString address = text.trimmed();
    ServerAddress result;
    result.port = defaultPort;
    const qsizetype schemeEnd = address.indexOf(QStringLiteral("://"));
    if (schemeEnd >= 0) {
        const QString scheme = address.left(schemeEnd).toLower();
        if (std::find(std::begin(kSchemes), std::end(kSchemes), scheme) == std::end(kSchemes)) {
            *problem = QStringLiteral("The server address starts with \"%1://\"; Quillmar connects to ftp://, "
                                      "ftps:// and sftp:// addresses, or to a server's name alone.")
                           .arg(address.left(schemeEnd));
            return std::nullopt;
        }
        result.scheme = scheme;
        if (scheme == QLatin1String("sftp"))
            result.port = kSshPort;
        address = address.mid(schemeEnd + 3);
    }
    if (address.isEmpty()) {
        *problem = QStringLiteral("The server address is empty.");
        return std::nullopt;
    }
    *problem = HostProblem(address);
    if (!problem->isEmpty())
        return std::nullopt;

    QString portText;
    if (address.startsWith(u'[')) {
        const qsizetype close = address.indexOf(u']');
        const QString rest = close < 0 ? QString() : address.mid(close + 1);
        if (close < 0 || close == 1 || (!rest.isEmpty() && !rest.startsWith(u':'))) {
            *problem = QStringLiteral("The server address is not an IPv6 address in brackets, such as [::1]:21.");
            return std::nullopt;
        }
        result.host = address.mid(1, close - 1);
        if (rest.isEmpty())
            return result;
        portText = rest.mid(1);
    } else if (address.count(u':') == 1) {
        // More than one colon without brackets is an IPv6 address, not host:port.
        const qsizetype colon = address.indexOf(u':');
        result.host = address.left(colon);
        portText = address.mid(colon + 1);
        if (result.host.isEmpty()) {
            *problem = QStringLiteral("The server address has a port but no server name before the \":\".");
            return std::nullopt;
        }
    } else {
        result.host = address;
        return result;
    }
    const std::optional<int> port = ReadPort(portText);
    if (!port) {
        *problem = PortProblem();
        return std::nullopt;
    }
    result.port = *port;
    return result;
}

}  // namespace

std::optional<ServerAddress> SplitServerAddress(const QString& text, int defaultPort)
{
    QString problem;
    return ReadAddress(text, defaultPort, &problem);
}

QString ServerAddressProblem(const QString& text)
{
    QString problem;
    ReadAddress(text, kLowestPort, &problem);
    return problem;
}

}  // namespace quillmar
