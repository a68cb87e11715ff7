#pragma once

#include <QString>

#include <optional>

namespace quillmar {

// Where the control connection goes.
struct ServerAddress {
    QString host;
    int port = 21;
    QString scheme = QStringLiteral("ftp");   // lower case; chooses the transport
};

// Reads the server address a person typed: "host", "host:port", "[v6]",
// "[v6]:port" or a bare IPv6 address (which takes defaultPort), optionally
// after a scheme ("ftp://", "ftps://"). Empty when there is no host or the
// port is not a number from 1 to 65535.
std::optional<ServerAddress> SplitServerAddress(const QString& text, int defaultPort);

}  // namespace quillmar
