// Pictures in the main window's frame and made ready for the web, against a
// full QImage decode.
//
//   image_bench RUNS PHOTO_6000x4000 PHOTO_8000x6000 PHOTO_50MP
//
// After one warm-up round, every round times, in turn: a full decode of the
// 6000x4000 file (QImageReader::read, the reference), ShowImage of the same
// file into the real Form1 (offscreen), ShowImage of the 8000x6000 file and
// the copy of the 50-megapixel photo an upload sends with "Prepare Pictures
// for the Web" on (PrepareForWeb; checked to be 1600 on its longer side).
// A ShowImage time runs until the call returns and the event loop has run
// once (the picture painted). Each ShowImage is checked: the picture is
// shown, fits inside the frame and touches two opposite sides of it.
// Prints one line per round.
#include "support/window_rig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QLabel>

#include <cstdio>
#include <cstdlib>

#if __has_include("pictures/web_ready.h")
#include "pictures/web_ready.h"
#include <QTemporaryDir>
#define QUILLMAR_BENCH_HAS_WEB_READY 1
#endif

#if __has_include("pictures/preview.h")
#include "pictures/preview.h"
#define QUILLMAR_BENCH_HAS_PREVIEW 1
#endif

namespace {

double FullDecodeMs(const QString& path, QSize* size)
{
    QElapsedTimer clock;
    clock.start();
    QImageReader reader(path);
    const QImage image = reader.read();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    *size = image.size();
    return ms;
}

#ifdef QUILLMAR_BENCH_HAS_PREVIEW
// Empty text when the picture is shown and fitted; otherwise what is wrong.
QString FitProblem(QWidget& window)
{
    auto* frame = window.findChild<QWidget*>(QStringLiteral("picback"));
    auto* image = frame ? frame->findChild<QLabel*>(QStringLiteral("viewimage")) : nullptr;
    if (!image)
        return QStringLiteral("no picback/viewimage");
    if (image->isHidden() || image->pixmap().isNull())
        return QStringLiteral("nothing shown");
    const QRect inside = frame->rect();
    const QRect shown = image->geometry();
    if (!inside.contains(shown))
        return QStringLiteral("picture %1x%2 at %3,%4 leaves the frame")
            .arg(shown.width()).arg(shown.height()).arg(shown.x()).arg(shown.y());
    const bool fillsWidth = std::abs(shown.width() - inside.width()) <= 1;
    const bool fillsHeight = std::abs(shown.height() - inside.height()) <= 1;
    if (!fillsWidth && !fillsHeight)
        return QStringLiteral("picture %1x%2 is not fitted to the %3x%4 frame")
            .arg(shown.width()).arg(shown.height()).arg(inside.width()).arg(inside.height());
    return {};
}

double ShowMs(QApplication& app, QWidget& window, const QString& path, QString* problem)
{
    QElapsedTimer clock;
    clock.start();
    quillmar::ShowImage(path, window);
    app.processEvents();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    *problem = FitProblem(window);
    return ms;
}
#endif

#ifdef QUILLMAR_BENCH_HAS_WEB_READY
constexpr int kWebSide = 1600;  // the default longest side of a web copy

double WebReadyMs(const QString& path, const QString& work, QString* problem)
{
    QElapsedTimer clock;
    clock.start();
    const quillmar::WebReadyCopy copy = quillmar::PrepareForWeb(path, kWebSide, work);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    const QSize size = QImageReader(copy.file).size();
    if (!copy.error.isEmpty())
        *problem = copy.error;
    else if (std::max(size.width(), size.height()) != kWebSide)
        *problem = QStringLiteral("the web copy is %1x%2").arg(size.width()).arg(size.height());
    return ms;
}
#endif

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: image_bench RUNS PHOTO_6000x4000 PHOTO_8000x6000 PHOTO_50MP\n");
        return 2;
    }
    const int runs = std::clamp(args[1].toInt(), 1, 100);
    const QString medium = args[2];
    const QString large = args[3];
    const QString fifty = args[4];

    QSize size;
    FullDecodeMs(large, &size);
    std::printf("large_full_decode=%s\n", size.isEmpty() ? "refused" : qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));

    WindowRig rig;
    quillmar::Form1& form = rig.open();
    app.processEvents();

    for (int round = 0; round <= runs; ++round) {
        const double decodeMs = FullDecodeMs(medium, &size);
        if (size != QSize(6000, 4000)) {
            std::fprintf(stderr, "image_bench: %s decoded as %dx%d\n", qUtf8Printable(medium), size.width(), size.height());
            return 1;
        }
#ifdef QUILLMAR_BENCH_HAS_PREVIEW
        QString problem;
        const double mediumMs = ShowMs(app, form, medium, &problem);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "image_bench: ShowImage 6000x4000: %s\n", qUtf8Printable(problem));
            return 1;
        }
        const double largeMs = ShowMs(app, form, large, &problem);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "image_bench: ShowImage 8000x6000: %s\n", qUtf8Printable(problem));
            return 1;
        }
        if (round > 0)
            std::printf("decode_ms=%.3f show_medium_ms=%.3f show_large_ms=%.3f", decodeMs, mediumMs, largeMs);
#ifdef QUILLMAR_BENCH_HAS_WEB_READY
        QTemporaryDir work;
        const double webMs = WebReadyMs(fifty, work.path(), &problem);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "image_bench: PrepareForWeb of the 50 MP photo: %s\n", qUtf8Printable(problem));
            return 1;
        }
        if (round > 0)
            std::printf(" web_ready_ms=%.3f", webMs);
#endif
        if (round > 0)
            std::printf("\n");
#else
        (void)form;
        if (round > 0)
            std::printf("decode_ms=%.3f\n", decodeMs);
#endif
        std::fflush(stdout);
    }
    return 0;
}
