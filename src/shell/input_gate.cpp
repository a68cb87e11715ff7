#include "shell/input_gate.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QToolButton>
#include <QWindow>

namespace quillmar {

namespace {

bool IsInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

}  // namespace

InputGate::InputGate(QList<QAction*> stopActions, QObject* parent) : QObject(parent), stopActions_(std::move(stopActions)) {}

void InputGate::setClosed(bool closed)
{
    if (closed == closed_)
        return;
    closed_ = closed;
    if (closed)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

bool InputGate::isStop(QObject* watched, QEvent* event) const
{
    if (auto* action = qobject_cast<QAction*>(watched))
        return stopActions_.contains(action);
    // The menu bar only opens menus; inside a menu the pointer may move, and
    // a click counts only on a Stop entry (or outside, which closes the menu).
    if (qobject_cast<QMenuBar*>(watched))
        return dynamic_cast<QMouseEvent*>(event) != nullptr;
    if (auto* menu = qobject_cast<QMenu*>(watched)) {
        const auto* mouse = dynamic_cast<QMouseEvent*>(event);
        if (!mouse)
            return false;
        const QPoint at = mouse->position().toPoint();
        return event->type() == QEvent::MouseMove || !menu->rect().contains(at)
               || stopActions_.contains(menu->actionAt(at));
    }
    for (QObject* o = watched; o; o = o->parent()) {
        if (auto* button = qobject_cast<QToolButton*>(o))
            return stopActions_.contains(button->defaultAction());
    }
    return false;
}

bool InputGate::eventFilter(QObject* watched, QEvent* event)
{
    // A top-level window only routes input on to its widgets, where it is judged.
    if (!IsInput(event->type()) || watched->isWindowType())
        return false;
    if (auto* key = dynamic_cast<QKeyEvent*>(event); key && key->key() == Qt::Key_Escape)
        return false;
    // A question asked during the call (a certificate to trust) takes its answer.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && watched->isWidgetType() &&
                                                           modal->isAncestorOf(static_cast<QWidget*>(watched)))
        return false;
    return !isStop(watched, event);
}

}  // namespace quillmar
