#include "pictures/picture_frame.h"

#include <QFrame>
#include <QLabel>

namespace quillmar {

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
    return frame;
}

}  // namespace quillmar
