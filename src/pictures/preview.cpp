#include "pictures/preview.h"

#include "pictures/img_preview.h"
#include "pictures/local_pane.h"
#include "pictures/picture_cache.h"
#include "pictures/picture_rules.h"
#include "pictures/server_list_view.h"
#include "shell/feedback.h"
#include "shell/services.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMainWindow>
#include <QPixmap>

#include <cmath>

namespace quillmar {

namespace {

// Layout is in twips; 15 twips make a pixel.
constexpr double kTwipsPerPixel = 15.0;

int ToPixels(double twips)
{
    return int(std::lround(twips / kTwipsPerPixel));
}

struct Host {
    QWidget* frame = nullptr;
    QLabel* image = nullptr;
};

Host FindHost(QWidget& host)
{
    Host parts;
    parts.frame = host.findChild<QWidget*>(QStringLiteral("picback"));
    if (parts.frame)
        parts.image = parts.frame->findChild<QLabel*>(QStringLiteral("viewimage"));
    return parts;
}

void ShowEmptyFrame(const Host& parts)
{
    parts.image->clear();
    parts.image->hide();
}

}  // namespace

void ShowImage(const QString& path, QWidget& host)
{
    const Host parts = FindHost(host);
    if (!parts.image)
        return;
    parts.image->hide();

    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    const QSize natural = reader.size();
    const Fit fit = FitPicture(natural.width() * kTwipsPerPixel, natural.height() * kTwipsPerPixel,
                               parts.frame->width() * kTwipsPerPixel, parts.frame->height() * kTwipsPerPixel);
    if (!(fit.width > 0) || !(fit.height > 0)) {
        ShowEmptyFrame(parts);
        return;
    }
    const QSize shown(std::max(1, ToPixels(fit.width)), std::max(1, ToPixels(fit.height)));
    // A JPEG is decoded straight at the shown size, a fraction of the work
    // for a large photograph.
    if (fit.stretched)
        reader.setScaledSize(shown);
    const QImage picture = reader.read();
    if (picture.isNull()) {
        ShowEmptyFrame(parts);
        return;
    }
    parts.image->setPixmap(QPixmap::fromImage(picture));
    parts.image->setGeometry(ToPixels(fit.left), ToPixels(fit.top), shown.width(), shown.height());
    parts.image->show();
}

void CenterImage(QWidget& host)
{
    const Host parts = FindHost(host);
    if (!parts.image)
        return;
    const double left = (parts.frame->width() - parts.image->width()) * kTwipsPerPixel / 2;
    const double top = (parts.frame->height() - parts.image->height()) * kTwipsPerPixel / 2;
    parts.image->move(ToPixels(left), ToPixels(top));
}

void ClearImage(QWidget& host)
{
    const Host parts = FindHost(host);
    if (parts.image)
        parts.image->clear();
}

PreviewController::PreviewController(MainContext& context, QObject* parent) : QObject(parent), ctx_(context)
{
    const Host parts = FindHost(ctx_.window);
    if (parts.image)
        parts.image->installEventFilter(this);
    // A resize of the window comes as a burst; the picture is fitted once
    // the burst is over, and kept centred meanwhile.
    refit_.setSingleShot(true);
    refit_.setInterval(120);
    connect(&refit_, &QTimer::timeout, this, [this] {
        if (!shown_.isEmpty())
            ShowImage(shown_, ctx_.window);
    });
    if (parts.frame)
        parts.frame->installEventFilter(this);
}

void PreviewController::show(const QString& path)
{
    shown_ = path;
    if (path.isEmpty())
        ClearImage(ctx_.window);
    else
        ShowImage(path, ctx_.window);
}

PreviewController::~PreviewController()
{
    delete preview_.data();
}

bool PreviewController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && watched->objectName() == QLatin1String("picback")) {
        if (!shown_.isEmpty()) {
            CenterImage(ctx_.window);
            refit_.start();
        }
        return false;
    }
    if (event->type() == QEvent::MouseButtonDblClick && watched->objectName() == QLatin1String("viewimage")) {
        Q_EMIT viewImageDoubleClicked();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void PreviewController::File1_Click()
{
    const QString name = ctx_.localPane.currentFile();
    if (name.isEmpty())
        return;
    const QFileInfo file(QDir(ctx_.localPane.folder()).filePath(name));
    show(IsPicture(name) ? file.filePath() : QString());
    // A file that went away since the list was read shows without a size.
    ctx_.feedback.panel(4, file.exists() ? name + QLatin1Char(' ') + SizeText(file.size()) : name);
}

void PreviewController::ListView1_Click()
{
    const QString text = ctx_.serverView.selectedRowText();
    const QString cached = IsPicture(text) ? CacheEntryPath(ctx_.services.appFolder, text) : QString();
    show(cached);
    ctx_.feedback.panel(4, text);
}

void PreviewController::viewimage_DblClick()
{
    if (!preview_)
        preview_ = new imgPreview();
    preview_->showCoveringScreen();
    QString path;
    if (ctx_.state.GotFocus == 1) {
        const QString name = ctx_.localPane.currentFile();
        if (!name.isEmpty())
            path = QDir(ctx_.localPane.folder()).filePath(name);
    } else if (ctx_.state.GotFocus == 2) {
        path = CacheEntryPath(ctx_.services.appFolder, ctx_.serverView.selectedRowText());
    }
    if (!path.isEmpty())
        ShowImage(path, *preview_);
}

}  // namespace quillmar
