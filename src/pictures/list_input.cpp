#include "pictures/list_input.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace quillmar {

ListInput::ListInput(QAbstractItemView* view) : QObject(view), view_(view)
{
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (keyDelivering_ && current.isValid())
            Q_EMIT currentMovedByKey();
    });
}

bool ListInput::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        if (watched == view_)
            Q_EMIT focusEntered();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (watched != view_->viewport() || mouse->button() != Qt::RightButton)
            break;
        if (event->type() == QEvent::MouseButtonRelease)
            Q_EMIT rightButtonReleased(mouse->globalPosition().toPoint());
        return true;
    }
    case QEvent::KeyPress: {
        // A key an editor inside the list let go of is not the list's.
        const QWidget* focus = QApplication::focusWidget();
        if (watched != view_ || keyDelivering_ || (focus && focus != view_ && view_->isAncestorOf(focus)))
            break;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            event->accept();
            Q_EMIT enterPressed();
            return true;
        }
        // Handed to the view here, so a move of the current row while it
        // handles the key is known to come from the key.
        keyDelivering_ = true;
        QCoreApplication::sendEvent(view_, event);
        keyDelivering_ = false;
        event->accept();  // the parents have had it already if the view let it go
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace quillmar
