#include "pictures/list_icons.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

namespace quillmar {

namespace {

constexpr int kIconSize = 16;

QImage BlankIconImage()
{
    QImage image(kIconSize, kIconSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage DrawFolder()
{
    QImage image = BlankIconImage();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor edge(0x80, 0x60, 0x00);
    p.setPen(edge);
    p.setBrush(QColor(0xf0, 0xc0, 0x30));
    p.drawRect(1, 3, 6, 2);    // the tab
    p.setBrush(QColor(0xff, 0xde, 0x60));
    p.drawRect(1, 5, 13, 9);   // the body
    return image;
}

QImage DrawFile()
{
    QImage image = BlankIconImage();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.setBrush(Qt::white);
    const QPoint page[] = {{3, 1}, {10, 1}, {13, 4}, {13, 14}, {3, 14}};
    p.drawPolygon(page, 5);
    p.drawLine(10, 1, 10, 4);  // the folded corner
    p.drawLine(10, 4, 13, 4);
    p.setPen(QColor(0xa0, 0xa0, 0xa0));
    for (int y = 7; y <= 12; y += 2)
        p.drawLine(5, y, 11, y);
    return image;
}

}  // namespace

// The images never change, so each is drawn once. Only QImage is kept in the
// statics: it needs no window system and may outlive the application object.
QIcon FolderIcon()
{
    static const QImage image = DrawFolder();
    return QIcon(QPixmap::fromImage(image));
}

QIcon FileIcon()
{
    static const QImage image = DrawFile();
    return QIcon(QPixmap::fromImage(image));
}

}  // namespace quillmar
