#include "session/trusted_servers.h"
#include "support/files.h"

#include <QDir>
#include <QTemporaryDir>

using namespace quillmar;

// A pins file line as people and other programs leave it: each is read the
// same way when asking for a pin and when replacing it, and host names count
// in lower case.
TEST(TrustedServers, PinsAreReadAndReplacedAlikeWhateverTheBlanksAndCase)
{
    const QString nbsp(QChar(0x00A0));
    const struct {
        const char* what;
        QString line;
        QString host;
        QString pinned;      // what the line pins for host:21
        bool encrypted;      // whether host:21 spoke TLS before
    } cases[] = {
        {"plain", "127.0.0.1:21 AA", "127.0.0.1", "AA", false},
        {"leading non-breaking blank", nbsp + "127.0.0.1:21 AA", "127.0.0.1", "AA", false},
        {"non-breaking blank between", "127.0.0.1:21" + nbsp + "AA", "127.0.0.1", "AA", false},
        {"tab between, blank after", "127.0.0.1:21\tAA ", "127.0.0.1", "AA", false},
        {"host in capitals, asked in lower case", "LocalHost:21 AA", "localhost", "AA", false},
        {"host in lower case, asked in capitals", "localhost:21 AA", "LOCALhost", "AA", false},
        {"another port", "127.0.0.1:2121 AA", "127.0.0.1", "", false},
        {"spoke TLS, no pin", "encrypted 127.0.0.1:21", "127.0.0.1", "", true},
        {"spoke TLS, capitals", "encrypted LOCALHOST:21", "localhost", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir folder;
        const QString other = QStringLiteral("127.0.0.2:21 CC\nencrypted 127.0.0.2:21\n");
        ASSERT_TRUE(WriteFile(QDir(folder.path()).filePath("trusted-servers"), (c.line + '\n' + other).toUtf8()));
        TrustedServers trusted(folder.path());
        EXPECT_EQ(trusted.pinned(c.host, 21), c.pinned);
        EXPECT_EQ(trusted.encryptedBefore(c.host, 21), c.encrypted);

        QString error;
        ASSERT_TRUE(trusted.pin(c.host, 21, QStringLiteral("BB"), &error)) << error.toStdString();
        EXPECT_EQ(trusted.pinned(c.host.toUpper(), 21), "BB");
        EXPECT_EQ(trusted.encryptedBefore(c.host, 21), c.encrypted) << "a new pin keeps what else is known";
        EXPECT_EQ(trusted.pinned("127.0.0.2", 21), "CC");
        EXPECT_TRUE(trusted.encryptedBefore("127.0.0.2", 21));

        ASSERT_TRUE(trusted.rememberEncrypted(c.host, 21, &error)) << error.toStdString();
        EXPECT_TRUE(trusted.encryptedBefore(c.host.toUpper(), 21));
        EXPECT_EQ(trusted.pinned(c.host, 21), "BB") << "remembering TLS keeps the pin";
    }
}

// The lines that remember TLS never read as pins to a reader that knows only
// "host:port fingerprint" lines (an older Quillmar keeps working).
TEST(TrustedServers, RememberedTlsLinesAreNoPinsForTheOlderReader)
{
    QTemporaryDir folder;
    TrustedServers trusted(folder.path());
    ASSERT_TRUE(trusted.rememberEncrypted("127.0.0.1", 21, nullptr));
    ASSERT_TRUE(trusted.pin("127.0.0.1", 21, "AA", nullptr));
    const QList<QByteArray> lines = ReadFile(QDir(folder.path()).filePath("trusted-servers")).split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 2 && fields[0] == "127.0.0.1:21")
            EXPECT_EQ(fields[1], "AA") << line.constData();
    }
    EXPECT_TRUE(lines.contains("encrypted 127.0.0.1:21"));
}
