#pragma once

#include <QList>
#include <QObject>

class QAction;

namespace quillmar {

// While a server command runs, the person keeps only Stop (its buttons, its
// menu entry reached through the menu bar, and Escape) and the close box:
// every other mouse and keyboard input to the program is dropped, so
// nothing done during the call runs after it.
class InputGate : public QObject {
    Q_OBJECT
public:
    InputGate(QList<QAction*> stopActions, QObject* parent = nullptr);

    // Installed on the application while a call runs.
    void setClosed(bool closed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isStop(QObject* watched, QEvent* event) const;

    QList<QAction*> stopActions_;
    bool closed_ = false;
};

}  // namespace quillmar
