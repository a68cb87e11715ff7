// The real main window (offscreen) listing a large server folder.
//
//   window_bench HOST:PORT USER PASSWORD FOLDER EXPECTED_ROWS
//
// Connects through Form1 (Form_Load with the connection preset), changes the
// component FTP1 into FOLDER, prints "READY", then for every line "run" on
// standard input does one round and prints one line of figures:
//   empty_ms  emptying the list left by the previous round (clearList, then
//             the event loop once, so the view has caught up)
//   list_s    Form1::Refresh() until it returns with EXPECTED_ROWS rows in
//             ListView1 and the totals in panel 3, plus one event-loop pass:
//             a re-listing of the folder just listed, as after an upload
//   gap_ms    the longest interval between two repaints of the window
//             during a second Refresh of the same folder, into a list that
//             has given back its room (see RepaintProbe)
//   loop_gap_ms  the longest the window thread stayed away from its event
//             loop in the same time; paints  how many repaints there were
//   mem_mib   resident memory after that second listing minus before it,
//             both read after malloc_trim so freed memory is not counted
// "quit" or the end of standard input ends the program.
#include "pictures/server_list_model.h"
#include "pictures/server_list_view.h"
#include "session/ftp_component.h"
#include "browse/listing_receiver.h"
#include "support/window_rig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

// Resident memory of this process in KiB, from /proc/self/status.
long ResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Repaints of the main window, measured where they happen: a 1x1 widget in
// the window's corner is marked dirty by a 1 ms precise timer, so a repaint
// is always pending; its paint events are the window's repaints. The largest
// interval between two of them (and from the start to the first, the last to
// the end) is the longest the window went without a repaint. The timer's own
// largest interval shows how long the window thread stayed away from its
// event loop at all.
class RepaintProbe : public QWidget {
public:
    explicit RepaintProbe(QWidget* window) : QWidget(window)
    {
        setGeometry(0, 0, 1, 1);
        setAttribute(Qt::WA_OpaquePaintEvent);
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        connect(&timer_, &QTimer::timeout, this, [this] {
            note(lastTick_, longestTick_);
            update();
        });
        show();
        raise();
    }
    void start()
    {
        clock_.start();
        lastTick_ = lastPaint_ = 0;
        longestTick_ = longestPaint_ = 0;
        paints_ = 0;
        timer_.start();
        update();
    }
    void stop()
    {
        note(lastTick_, longestTick_);
        note(lastPaint_, longestPaint_);
        timer_.stop();
    }
    double longestPaintGapMs() const { return double(longestPaint_) / 1e6; }
    double longestLoopGapMs() const { return double(longestTick_) / 1e6; }
    int paints() const { return paints_; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(rect(), palette().window());
        if (!clock_.isValid())
            return;
        note(lastPaint_, longestPaint_);
        ++paints_;
    }

private:
    void note(qint64& last, qint64& longest)
    {
        const qint64 now = clock_.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 lastTick_ = 0;
    qint64 lastPaint_ = 0;
    qint64 longestTick_ = 0;
    qint64 longestPaint_ = 0;
    int paints_ = 0;
};

// With QUILLMAR_BENCH_SLOW_EVENTS=<ms>, every event whose delivery takes
// longer than that is named on standard error: where a repaint gap comes from.
class TimingApplication : public QApplication {
public:
    TimingApplication(int& argc, char** argv)
        : QApplication(argc, argv), thresholdNs_(qEnvironmentVariableIntValue("QUILLMAR_BENCH_SLOW_EVENTS") * 1000000LL)
    {
    }
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (thresholdNs_ <= 0)
            return QApplication::notify(receiver, event);
        QElapsedTimer clock;
        clock.start();
        const int type = event->type();
        const char* cls = receiver->metaObject()->className();
        const bool result = QApplication::notify(receiver, event);
        const qint64 ns = clock.nsecsElapsed();
        if (ns > thresholdNs_)
            std::fprintf(stderr, "slow event: %.1f ms, type %d, to %s\n", double(ns) / 1e6, type, cls);
        return result;
    }

private:
    qint64 thresholdNs_;
};

long TrimmedResidentKiB()
{
    malloc_trim(0);
    return ResidentKiB();
}

}  // namespace

int main(int argc, char* argv[])
{
    TimingApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6) {
        std::fprintf(stderr, "usage: window_bench HOST:PORT USER PASSWORD FOLDER EXPECTED_ROWS\n");
        return 2;
    }
    const int expectedRows = args[5].toInt();

    WindowRig rig;
    rig.presetStore({{"URL", args[1]}, {"User", args[2]}, {"Pass", args[3]}, {"Description", "bench"}});
    quillmar::Form1& form = rig.open();
    form.Connect();
    if (form.ftp().State() != 1) {
        std::fprintf(stderr, "window_bench: not connected (%s)\n", qUtf8Printable(rig.dialogs.messageTexts().value(0)));
        return 1;
    }
    try {
        form.ftp().ChangeDir(args[4]);
    } catch (const quillmar::FtpError& error) {
        std::fprintf(stderr, "window_bench: %s\n", qUtf8Printable(error.description));
        return 1;
    }

    auto* model = form.findChild<quillmar::ServerListModel*>();
    auto* view = form.findChild<quillmar::ServerListView*>(QStringLiteral("ListView1"));
    auto* receiver = form.findChild<quillmar::ListingReceiver*>();
    auto* panel3 = form.findChild<QLabel*>(QStringLiteral("Panel3"));
    if (!model || !view || !receiver || !panel3 || view->model() != model) {
        std::fprintf(stderr, "window_bench: the window has no ListView1 over the server list, or no panel 3\n");
        return 1;
    }
    const QString totals = QStringLiteral("Total: %1 files").arg(expectedRows);

    auto listed = [&] {
        if (view->model()->rowCount() == expectedRows && panel3->text().startsWith(totals))
            return true;
        std::fprintf(stderr, "window_bench: %d rows in ListView1, panel 3 \"%s\", expected %d rows\n",
                     view->model()->rowCount(), qUtf8Printable(panel3->text()), expectedRows);
        return false;
    };
    RepaintProbe probe(&form);
    app.processEvents();

    std::printf("READY\n");
    std::fflush(stdout);
    std::string command;
    for (int round = 0; round < 1000 && std::getline(std::cin, command); ++round) {
        if (command != "run")
            break;

        QElapsedTimer clock;
        clock.start();
        receiver->clearList();
        app.processEvents();
        const double emptyMs = double(clock.nsecsElapsed()) / 1e6;
        if (model->rowCount() != 0) {
            std::fprintf(stderr, "window_bench: the list still has %d rows\n", model->rowCount());
            return 1;
        }
        panel3->clear();

        // Freed memory goes back to the system first, as it may have by the
        // time a person refreshes.
        malloc_trim(0);
        clock.restart();
        form.Refresh();
        app.processEvents();
        const qint64 listNs = clock.nsecsElapsed();
        if (!listed())
            return 1;

        // The repaint probe costs the window thread a little, so it watches a
        // second, untimed listing; this one starts from an emptied list that
        // has given back its room, as after a listing of a small folder, so
        // the memory it adds is the whole of what a listing costs.
        receiver->clearList();
        model->releaseSpareRoom();
        app.processEvents();
        panel3->clear();
        const long before = TrimmedResidentKiB();
        probe.start();
        form.Refresh();
        app.processEvents();
        probe.stop();
        const long after = TrimmedResidentKiB();
        if (!listed())
            return 1;

        std::printf("empty_ms=%.3f list_s=%.6f gap_ms=%.3f loop_gap_ms=%.3f paints=%d mem_mib=%.2f\n", emptyMs,
                    double(listNs) / 1e9, probe.longestPaintGapMs(), probe.longestLoopGapMs(), probe.paints(),
                    double(after - before) / 1024.0);
        std::fflush(stdout);
    }
    form.ftp().Quit();
    return 0;
}
