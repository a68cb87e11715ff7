// One timed transfer through the real FTP component: connects and logs in
// (untimed), then times a single GetFile or PutFile, checks the byte count
// and prints "seconds bytes". bench/run starts it once per run, in turn with
// curl against the same server.
//
//   transfer_bench get|put HOST:PORT USER PASSWORD REMOTE_NAME LOCAL_PATH
#include "session/ftp_component.h"
#include "session/transport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 7 || (args[1] != QLatin1String("get") && args[1] != QLatin1String("put"))) {
        std::fprintf(stderr, "usage: transfer_bench get|put HOST:PORT USER PASSWORD REMOTE_NAME LOCAL_PATH\n");
        return 2;
    }
    const bool download = args[1] == QLatin1String("get");
    const QString remote = args[5];
    const QString local = QFileInfo(args[6]).absoluteFilePath();

    quillmar::FtpComponent ftp;
    ftp.setObjectName(QStringLiteral("FTP1"));
    qint64 moved = 0;
    QObject::connect(&ftp, &quillmar::FtpComponent::Progress, [&moved](qint64 bytes) { moved = bytes; });
    // The benchmark's own servers use throw-away self-signed certificates.
    ftp.setTrustQuestion([](const quillmar::ServerCertificate&) { return true; });
    try {
        ftp.setHost(args[2]);
        ftp.setUserName(args[3]);
        ftp.setPassword(args[4]);
        ftp.setAction(quillmar::FtpComponent::Connect);

        QElapsedTimer clock;
        clock.start();
        if (download)
            ftp.GetFile(remote, local);
        else
            ftp.PutFile(local, remote);
        const qint64 ns = clock.nsecsElapsed();

        ftp.Quit();
        const qint64 expected = QFileInfo(local).size();  // the file written or read
        if (moved != expected || moved <= 0) {
            std::fprintf(stderr, "transfer_bench: moved %lld bytes, the file has %lld\n", moved, expected);
            return 1;
        }
        std::printf("%.6f %lld\n", double(ns) / 1e9, moved);
        return 0;
    } catch (const quillmar::FtpError& error) {
        std::fprintf(stderr, "transfer_bench: %d %s\n", error.number, qUtf8Printable(error.description));
        return 1;
    }
}
