#include "info/contact_label.h"

#include <QMouseEvent>
#include <QUrl>

namespace quillmar {

QString ContactAddress() { return QStringLiteral("support@quillmar.example"); }

ContactLabel::ContactLabel(const Services& services, QWidget* parent) : QLabel(parent), services_(services)
{
    setObjectName(QStringLiteral("Label12"));
    setText(QStringLiteral("Questions or ideas? Write to %1").arg(ContactAddress()));
    setCursor(Qt::PointingHandCursor);
    QPalette link = palette();
    link.setColor(QPalette::WindowText, link.color(QPalette::Link));
    setPalette(link);
}

void ContactLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && services_.openUrl)
        services_.openUrl(QUrl(QStringLiteral("mailto:") + ContactAddress()));
    QLabel::mouseReleaseEvent(event);
}

}  // namespace quillmar
