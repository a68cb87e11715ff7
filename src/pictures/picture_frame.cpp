#include "pictures/picture_frame.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>

namespace quillmar {

namespace {

class Filler : public QObject {
public:
    Filler(QWidget* host, QWidget* child, const QMargins& margins) : QObject(host), child_(child), margins_(margins)
    {
        host->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            child_->setGeometry(static_cast<QWidget*>(watched)->rect().marginsRemoved(margins_));
        return false;
    }

private:
    QWidget* child_;
    QMargins margins_;
};

}  // namespace

void KeepFilling(QWidget* host, QWidget* child, const QMargins& margins)
{
    new Filler(host, child, margins);
    child->setGeometry(host->rect().marginsRemoved(margins));
}

PictureFrame AddPictureFrame(QWidget* parent)
{
    PictureFrame frame;
    frame.picback = new QFrame(parent);
    frame.picback->setObjectName(QStringLiteral("picback"));
    frame.picback->setAutoFillBackground(true);
    QPalette grey = frame.picback->palette();
    grey.setColor(QPalette::Window, QColor(128, 128, 128));
    frame.picback->setPalette(grey);
    frame.viewimage = new QLabel(frame.picback);
    frame.viewimage->setObjectName(QStringLiteral("viewimage"));
    frame.viewimage->setScaledContents(true);
    frame.viewimage->hide();
    frame.picnote = new QLabel(frame.picback);
    frame.picnote->setObjectName(QStringLiteral("picnote"));
    frame.picnote->setAlignment(Qt::AlignCenter);
    frame.picnote->setWordWrap(true);
    frame.picnote->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette white = frame.picnote->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    frame.picnote->setPalette(white);
    frame.picnote->hide();
    return frame;
}

}  // namespace quillmar
