// The floor for start-up: an empty QMainWindow shown, the event loop run
// once, then exit; measured the same way as startup_bench.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(800, 400);
    window.show();
    app.processEvents();
    return window.isVisible() ? 0 : 1;
}
