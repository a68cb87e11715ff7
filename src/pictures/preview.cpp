#include "pictures/preview.h"

#include "pictures/img_preview.h"
#include "pictures/local_pane.h"
#include "pictures/picture_cache.h"
#include "pictures/picture_reading.h"
#include "pictures/picture_rules.h"
#include "pictures/server_list_view.h"
#include "session/entry_names.h"
#include "session/ftp_component.h"
#include "session/listing.h"
#include "shell/constants.h"
#include "shell/feedback.h"
#include "shell/services.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QPixmap>
#include <QScopeGuard>

#include <cmath>

namespace quillmar {

namespace {

int ToPixels(double twips)
{
    return int(std::lround(twips / kTwipsPerPixel));
}

// Pictures larger than this are not fetched only to be previewed.
constexpr qint64 kPreviewFetchLimit = 20 * 1000 * 1000;

const QString kNotCached = QStringLiteral("Not in the picture cache");

struct Host {
    QWidget* frame = nullptr;
    QLabel* image = nullptr;
    QLabel* note = nullptr;
};

Host FindHost(QWidget& host)
{
    Host parts;
    parts.frame = host.findChild<QWidget*>(QStringLiteral("picback"));
    if (parts.frame) {
        parts.image = parts.frame->findChild<QLabel*>(QStringLiteral("viewimage"));
        parts.note = parts.frame->findChild<QLabel*>(QStringLiteral("picnote"));
    }
    return parts;
}

void HideNote(const Host& parts)
{
    if (parts.note)
        parts.note->hide();
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
    HideNote(parts);

    if (!PictureFileProblem(path).isEmpty()) {
        ShowEmptyFrame(parts);
        return;
    }
    UprightReader reader(path);
    const QSize natural = reader.seenSize();
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
        reader.setSeenScaledSize(shown);
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
    const double left = (parts.frame->width() - parts.image->width()) * kTwipsPerPixel / 2.0;
    const double top = (parts.frame->height() - parts.image->height()) * kTwipsPerPixel / 2.0;
    parts.image->move(ToPixels(left), ToPixels(top));
}

void ClearImage(QWidget& host)
{
    const Host parts = FindHost(host);
    if (parts.image)
        parts.image->clear();
    HideNote(parts);
}

void ShowNote(QWidget& host, const QString& text)
{
    const Host parts = FindHost(host);
    if (!parts.image || !parts.note)
        return;
    ShowEmptyFrame(parts);
    parts.note->setText(text);
    parts.note->setGeometry(parts.frame->rect().adjusted(8, 8, -8, -8));
    parts.note->show();
    parts.note->raise();
}

bool ShowServerPicture(QWidget& host, const QString& appFolder, const ServerPlace& place, const QString& rowText)
{
    if (!IsPicture(rowText)) {
        ClearImage(host);
        return false;
    }
    const QString cached = SoundCacheEntry(appFolder, place, rowText);
    if (cached.isEmpty()) {
        ShowNote(host, kNotCached);
        return false;
    }
    ShowImage(cached, host);
    return true;
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

void PreviewController::ForgetServerPicture()
{
    if (!fromServer_)
        return;
    fromServer_ = false;
    show(QString());
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
    fromServer_ = false;
    const QFileInfo file(EntryPath(ctx_.localPane.folder(), name));
    show(IsPicture(name) ? file.filePath() : QString());
    // A file that went away since the list was read shows without a size.
    ctx_.feedback.panel(4, file.exists() ? name + QLatin1Char(' ') + SizeText(file.size()) : name);
}

void PreviewController::ListView1_Click()
{
    const QString text = ctx_.serverView.selectedRowText();
    ctx_.feedback.panel(4, text);
    fromServer_ = true;
    if (showServerRow(text) || !IsPicture(text))
        return;
    if (ctx_.state.upload.remotePreview && ctx_.ftp.State() != 0 && fetchIntoCache(text))
        showServerRow(text);
}

bool PreviewController::showServerRow(const QString& text)
{
    const QString& app = ctx_.services.appFolder;
    const bool shown = ShowServerPicture(ctx_.window, app, ctx_.state.place, text);
    shown_ = shown ? CacheEntryPath(app, ctx_.state.place, text) : QString();
    return shown;
}

bool PreviewController::fetchIntoCache(const QString& name)
{
    const QString target = CacheEntryPath(ctx_.services.appFolder, ctx_.state.place, name);
    if (target.isEmpty()) {
        ShowNote(ctx_.window, kNotCached + QStringLiteral(": the server did not say which folder it shows."));
        return false;
    }
    BusyPointer busy;
    QString refusal;
    try {
        refusal = fetch(name, target);
    } catch (const FtpError& error) {
        busy.restore();
        ctx_.feedback.setProgress(0);
        if (error.number != ftp_errors::Cancelled) {
            ShowNote(ctx_.window, kNotCached);
            ctx_.reportError(error);
            return false;
        }
        refusal = kNotCached + QStringLiteral(": the fetch was stopped.");
    }
    if (ctx_.ftp.State() != 0)
        ctx_.feedback.lightsConnected();
    if (refusal.isEmpty())
        return true;
    ShowNote(ctx_.window, refusal);
    ctx_.feedback.status(QStringLiteral("Status: ") + refusal);
    return false;
}

QString PreviewController::fetch(const QString& name, const QString& target)
{
    const QString tooLarge = kNotCached + QStringLiteral(": larger than 20 MB, too large to fetch for a preview.");
    const qint64 size = ctx_.ftp.SizeOf(name);
    if (size > kPreviewFetchLimit)
        return tooLarge;
    QString error;
    if (EnsureCacheFolder(ctx_.services.appFolder, &error).isEmpty())
        throw FtpError(ftp_errors::LocalFile, error);
    if (!QDir().mkpath(QFileInfo(target).path()))
        throw FtpError(ftp_errors::LocalFile,
                       QStringLiteral("The picture cache folder %1 could not be made.").arg(QFileInfo(target).path()));

    ctx_.feedback.lightsBusy();
    ctx_.feedback.status(QStringLiteral("Status: Fetching %1 for its preview").arg(name));
    // A picture larger than its size said is stopped on the way: only this
    // transfer ends, the connection stays.
    bool overLimit = false;
    const QMetaObject::Connection watch = connect(&ctx_.ftp, &FtpComponent::Progress, this, [&](qint64 bytes) {
        if (bytes > kPreviewFetchLimit && !overLimit) {
            overLimit = true;
            ctx_.ftp.Stop();
        }
    });
    const auto unwatch = qScopeGuard([&] { disconnect(watch); });
    try {
        ctx_.ftp.GetFile(name, target, size);
    } catch (const FtpError& error) {
        if (!overLimit || error.number != ftp_errors::Stopped)
            throw;
    }
    if (overLimit) {
        // Arrived whole before the stop took hold: still not kept.
        QFile::remove(target);
        ctx_.feedback.setProgress(0);
        return tooLarge;
    }
    ctx_.feedback.setProgress(0);
    ctx_.feedback.status(QStringLiteral("Status: Fetched %1 into the picture cache").arg(name));
    return {};
}

void PreviewController::viewimage_DblClick()
{
    if (!preview_)
        preview_ = new imgPreview();
    preview_->showCoveringScreen();
    QString path;
    if (ctx_.state.GotFocus == FocusSide::Local) {
        const QString name = ctx_.localPane.currentFile();
        if (!name.isEmpty())
            path = EntryPath(ctx_.localPane.folder(), name);
    } else if (ctx_.state.GotFocus == FocusSide::Server) {
        const QString text = ctx_.serverView.selectedRowText();
        if (!text.isEmpty())
            ShowServerPicture(*preview_, ctx_.services.appFolder, ctx_.state.place, text);
    }
    if (!path.isEmpty())
        ShowImage(path, *preview_);
}

}  // namespace quillmar
