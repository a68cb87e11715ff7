// The server address a person types: what is refused, and why.

#include "session/ftp_address.h"

#include <gtest/gtest.h>

namespace quillmar {
namespace {

// A refused address gives the start of its problem text; an accepted one the
// host, port and (when not plain FTP) the scheme the connection reads from it:
// FTP and FTPS take the site's port unless one is given, SFTP 22.
TEST(ServerAddress, RefusesWhatNamesNoServerAndSplitsTheRest)
{
    const std::pair<const char*, const char*> cases[] = {
        {"localhost", "localhost 2121"}, {" 127.0.0.1:21 ", "127.0.0.1 21"}, {"[::1]:990", "::1 990"},
        {"[::1]", "::1 2121"}, {"::1", "::1 2121"}, {"FTP://127.0.0.1:21", "127.0.0.1 21"},
        {"ftp://127.0.0.1", "127.0.0.1 2121"},
        {"ftps://127.0.0.1:990", "127.0.0.1 990 ftps"}, {"FTPS://[::1]", "::1 2121 ftps"},
        {"sftp://127.0.0.1", "127.0.0.1 22 sftp"}, {"SFTP://[::1]", "::1 22 sftp"},
        {"sftp://127.0.0.1:2222", "127.0.0.1 2222 sftp"},
        {"127.0.0.1\t", "127.0.0.1 2121"},  // blanks around the address are dropped
        {"ann@127.0.0.1", "The server address holds \"@\""},
        {"ftp://ann:pw@127.0.0.1", "The server address holds \"@\""},
        {"127.0.0.1/pictures", "The server address holds \"/\""},
        {"ftp://127.0.0.1/", "The server address holds \"/\""},
        {"my server", "The server address holds a blank"},
        {"127.0.\t0.1", "The server address holds a control character"},
        {"127.0.0.1\x01", "The server address holds a control character"},
        {"http://127.0.0.1", "The server address starts with \"http://\""},
        {"://127.0.0.1", "The server address starts with \"://\""},
        {"x ftp://127.0.0.1", "The server address starts with \"x ftp://\""},
        {"", "The server address is empty."}, {"ftp://", "The server address is empty."},
        {"127.0.0.1:0", "The port after"}, {"127.0.0.1:65536", "The port after"}, {"127.0.0.1:", "The port after"},
        {"127.0.0.1:21x", "The port after"},
        {"[::1]x", "The server address is not an IPv6 address"}, {"[::1", "The server address is not an IPv6 address"},
        {":21", "The server address has a port but no server name"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        const QString problem = ServerAddressProblem(QString::fromUtf8(text));
        // The connection reads addresses by the same rule.
        const auto split = SplitServerAddress(QString::fromUtf8(text), 2121);
        if (QLatin1String(expected).startsWith(QLatin1String("The "))) {
            EXPECT_TRUE(problem.startsWith(QLatin1String(expected))) << problem.toStdString();
            EXPECT_FALSE(split.has_value());
            continue;
        }
        EXPECT_EQ(problem, QString());
        ASSERT_TRUE(split.has_value());
        const QString scheme = split->scheme != QLatin1String("ftp") ? QLatin1Char(' ') + split->scheme : QString();
        EXPECT_EQ(QStringLiteral("%1 %2").arg(split->host).arg(split->port) + scheme, QLatin1String(expected));
    }
}

}  // namespace
}  // namespace quillmar
