#pragma once

#include <QString>

#include <optional>

namespace quillmar {

// FTP's own port, taken when an address names none.
constexpr int kDefaultFtpPort = 21;

// Where the control connection goes.
struct ServerAddress {
    QString host;
    int port = kDefaultFtpPort;
    QString scheme = QStringLiteral("ftp");   // lower case; chooses the transport
};

// Reads the server address a person typed: "host", "host:port", "[v6]",
// "[v6]:port" or a bare IPv6 address (which takes defaultPort, or 22 after
// "sftp://"), optionally after a scheme ("ftp://", "ftps://", "sftp://"). Empty when
// ServerAddressProblem finds a problem.
std::optional<ServerAddress> SplitServerAddress(const QString& text, int defaultPort);

// Why the typed text is no server address, in words for the person; empty
// when it is one. Refuses an empty address, a scheme other than ftp, ftps
// and sftp, a host holding blanks, control characters, "/" (a folder) or "@"
// (a login typed into the address), and a port that is not 1 to 65535.
QString ServerAddressProblem(const QString& text);

}  // namespace quillmar
