// Start-up of the real main window for hyperfine: builds Form1 over
// throw-away folders and settings, runs its start-up (Form_Load shows it),
// lets the event loop run once so the window is painted, and exits.
#include "bench/bench_window_rig.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    quillmar::bench::WindowBench bench;
    quillmar::Form1& form = bench.open();
    app.processEvents();
    return form.isVisible() ? 0 : 1;
}
