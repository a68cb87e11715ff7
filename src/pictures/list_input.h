#pragma once

#include <QObject>
#include <QPoint>

class QAbstractItemView;

namespace quillmar {

// The input both lists of the main window share, as one event filter on the
// view and its viewport: focus entering, a right click that only asks for
// the commands menu (the selection stays as it is), Enter while no editor
// in the list has the focus, and a current row moved by a key. The Delete
// key is the window's shortcut and never reaches a list.
class ListInput : public QObject {
    Q_OBJECT
public:
    // Installs itself; call once the view has its model.
    explicit ListInput(QAbstractItemView* view);

Q_SIGNALS:
    void focusEntered();
    void rightButtonReleased(const QPoint& globalPos);
    void enterPressed();
    void currentMovedByKey();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractItemView* view_;
    bool keyDelivering_ = false;  // the key press is being handed to the view now
};

}  // namespace quillmar
