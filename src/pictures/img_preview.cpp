#include "pictures/img_preview.h"

#include "pictures/picture_frame.h"
#include "shell/constants.h"

#include <QEvent>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

namespace quillmar {

imgPreview::imgPreview(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("imgPreview"));
    setWindowTitle(kAppTitle);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::StrongFocus);

    const PictureFrame frame = AddPictureFrame(this);
    picback_ = frame.picback;
    viewimage_ = frame.viewimage;

    // 90, 60, 4140 x 270 twips.
    label_ = new QLabel(QStringLiteral("Press any key, or click mouse on image to close window."), picback_);
    label_->setObjectName(QStringLiteral("Label1"));
    label_->move(6, 4);
    label_->adjustSize();  // the whole hint, in any font

    picback_->installEventFilter(this);
    viewimage_->installEventFilter(this);
    label_->installEventFilter(this);
}

void imgPreview::showCoveringScreen()
{
    // The screen the program's window is on.
    QWidget* main = QApplication::activeWindow();
    QScreen* screen = main && main != this ? main->screen() : QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(screen->geometry());
    showFullScreen();
    picback_->setGeometry(rect());
    raise();
    activateWindow();
    setFocus();
}

void imgPreview::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    close();
}

void imgPreview::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    picback_->setGeometry(rect());
}

bool imgPreview::eventFilter(QObject* watched, QEvent* event)
{
    const bool press = event->type() == QEvent::MouseButtonPress;
    const bool mouse = press || event->type() == QEvent::MouseButtonRelease
                       || event->type() == QEvent::MouseButtonDblClick;
    if (watched == label_ && mouse)
        return true;  // the hint is only text
    if ((watched == picback_ || watched == viewimage_) && press) {
        close();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        close();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quillmar
