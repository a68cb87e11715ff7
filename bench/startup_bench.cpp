// Start-up of the real main window for hyperfine: builds Form1 over
// throw-away folders and settings, runs its start-up (Form_Load shows it),
// lets the event loop run once so the window is painted, and exits.
#include "support/window_rig.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    WindowRig rig;
    quillmar::Form1& form = rig.open();
    app.processEvents();
    return form.isVisible() ? 0 : 1;
}
