#include "session/ftp_address.h"

namespace quillmar {

namespace {

std::optional<int> ReadPort(const QString& text)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < 1 || port > 65535 || text.startsWith(u'+'))
        return std::nullopt;
    return port;
}

}  // namespace

std::optional<ServerAddress> SplitServerAddress(const QString& text, int defaultPort)
{
    QString address = text.trimmed();
    const qsizetype schemeEnd = address.indexOf(QStringLiteral("://"));
    if (schemeEnd >= 0) {
        const QString scheme = address.left(schemeEnd).toLower();
        auto split = SplitServerAddress(address.mid(schemeEnd + 3), defaultPort);
        if (!split || scheme.isEmpty())
            return std::nullopt;
        split->scheme = scheme;
        return split;
    }
    if (address.startsWith(u'[')) {
        const qsizetype close = address.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        const QString host = address.mid(1, close - 1);
        const QString rest = address.mid(close + 1);
        if (host.isEmpty())
            return std::nullopt;
        if (rest.isEmpty())
            return ServerAddress{host, defaultPort};
        if (!rest.startsWith(u':'))
            return std::nullopt;
        const auto port = ReadPort(rest.mid(1));
        if (!port)
            return std::nullopt;
        return ServerAddress{host, *port};
    }
    // More than one colon without brackets is an IPv6 address, not host:port.
    if (address.count(u':') == 1) {
        const qsizetype colon = address.indexOf(u':');
        const QString host = address.left(colon);
        const auto port = ReadPort(address.mid(colon + 1));
        if (host.isEmpty() || !port)
            return std::nullopt;
        return ServerAddress{host, *port};
    }
    if (address.isEmpty())
        return std::nullopt;
    return ServerAddress{address, defaultPort};
}

}  // namespace quillmar
