// The floor for start-up: an empty QMainWindow shown and first painted;
// measured the same way as startup_bench.
#include "first_paint.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    EndAtFirstPaint end;
    QMainWindow window;
    window.resize(800, 400);
    window.show();
    return RunToFirstPaint();
}
