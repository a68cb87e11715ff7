// Start-up of the real main window for hyperfine: builds Form1 over
// throw-away folders and settings, runs its start-up (Form_Load shows it)
// and ends once the window is first painted.
#include "first_paint.h"
#include "support/window_rig.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    EndAtFirstPaint end;
    WindowRig rig;
    rig.open();
    return RunToFirstPaint();
}
