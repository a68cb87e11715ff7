// The real main window (offscreen) moving many small pictures: every row of a
// server folder selected and downloaded, every file of a local folder
// selected and uploaded.
//
//   many_bench HOST:PORT USER PASSWORD SERVER_PICTURES SERVER_UPLOADS LOCAL_PICTURES LOCAL_DOWNLOADS COUNT
//
// Connects through Form1 (Form_Load with the connection preset) and prints
// "READY". Then for every line on standard input:
//   get  lists SERVER_PICTURES (untimed), selects every row and times
//        Form1::Download() into LOCAL_DOWNLOADS, which bench/run empties
//        before each round; prints "get_s=<seconds>"
//   put  lists SERVER_UPLOADS (untimed; bench/run empties it before each
//        round), selects every file of LOCAL_PICTURES and times
//        Form1::Upload(); prints "put_s=<seconds>"
// Each round checks that COUNT files arrived and no box was shown; after a
// put it waits, untimed, until the picture cache's entries are copies of
// their own (made after the command, off its path). "quit" or
// the end of standard input ends the program.
#include "support/window_rig.h"

#include "pictures/local_pane.h"
#include "pictures/picture_cache.h"
#include "pictures/server_list_view.h"
#include "session/ftp_component.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

constexpr int kSettleLimitMs = 60000;
constexpr int kSettlePollMs = 5;

bool Fail(const QString& why)
{
    std::fprintf(stderr, "many_bench: %s\n", qUtf8Printable(why));
    return false;
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 9) {
        std::fprintf(stderr, "usage: many_bench HOST:PORT USER PASSWORD SERVER_PICTURES SERVER_UPLOADS "
                             "LOCAL_PICTURES LOCAL_DOWNLOADS COUNT\n");
        return 2;
    }
    const QString serverPictures = args[4], serverUploads = args[5];
    const QString localPictures = args[6], localDownloads = args[7];
    const int count = args[8].toInt();

    WindowRig rig;
    rig.presetStore({{"URL", args[1]}, {"User", args[2]}, {"Pass", args[3]}, {"Description", "bench"}});
    quillmar::Form1& form = rig.open();
    const auto lastBox = [&rig] { return rig.dialogs.calls().isEmpty() ? QString() : rig.dialogs.calls().last().text; };
    form.Connect();
    if (form.ftp().State() != 1)
        return Fail(QStringLiteral("not connected (%1)").arg(lastBox())), 1;
    auto* pane = form.findChild<quillmar::LocalPane*>();
    auto* view = form.findChild<quillmar::ServerListView*>(QStringLiteral("ListView1"));
    if (!pane || !view)
        return Fail(QStringLiteral("the window has no local pane or no ListView1")), 1;

    // Lists the server folder (untimed), runs the command, comes back up.
    auto round = [&](const QString& serverFolder, const QString& localFolder, bool download) -> double {
        if (!pane->setFolder(localFolder))
            return Fail(QStringLiteral("cannot show %1").arg(localFolder)), -1;
        try {
            form.ftp().ChangeDir(serverFolder);
        } catch (const quillmar::FtpError& error) {
            return Fail(error.description), -1;
        }
        form.Refresh();
        app.processEvents();
        download ? view->selectAll() : pane->fileList()->selectAll();
        const qsizetype before = rig.dialogs.calls().size();
        QElapsedTimer clock;
        clock.start();
        download ? form.Download() : form.Upload();
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        app.processEvents();
        if (rig.dialogs.calls().size() != before)
            return Fail(QStringLiteral("a box was shown: %1").arg(lastBox())), -1;
        try {
            form.ftp().ChangeDir(QStringLiteral(".."));
        } catch (const quillmar::FtpError& error) {
            return Fail(error.description), -1;
        }
        return seconds;
    };

    std::printf("READY\n");
    std::fflush(stdout);
    std::string command;
    for (int i = 0; i < 1000 && std::getline(std::cin, command); ++i) {
        double seconds = -1;
        if (command == "get") {
            seconds = round(serverPictures, localDownloads, true);
            const int arrived = int(QDir(localDownloads).entryList(QDir::Files).size());
            if (seconds >= 0 && arrived != count) {
                Fail(QStringLiteral("%1 files downloaded, expected %2").arg(arrived).arg(count));
                seconds = -1;
            }
        } else if (command == "put") {
            seconds = round(serverUploads, localPictures, false);
            // The cache's copies of its own are made after the command, on
            // a thread of their own: done here, untimed, before the peer's turn.
            QElapsedTimer settling;
            settling.start();
            while (quillmar::SharedCacheEntries(rig.services.appFolder) > 0 && settling.elapsed() < kSettleLimitMs)
                QThread::msleep(kSettlePollMs);
        } else {
            break;
        }
        if (seconds < 0)
            return 1;
        std::printf("%s_s=%.6f\n", command.c_str(), seconds);
        std::fflush(stdout);
    }
    form.ftp().Quit();
    return 0;
}
