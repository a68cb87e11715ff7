// Start-up is measured to the first paint, the same way for every start-up
// program: the moment the first window has been drawn and handed to the
// screen, the process ends, so what a program does after that (or while
// tearing down) is not counted.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QWindow>

#include <cstdlib>

class EndAtFirstPaint : public QObject {
public:
    EndAtFirstPaint() { QCoreApplication::instance()->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Expose || !watched->isWindowType() || !static_cast<QWindow*>(watched)->isExposed())
            return false;
        watched->event(event);  // widgets paint their whole window on its first expose
        std::_Exit(0);
    }
};

#include <QTimer>

#include <chrono>
#include <cstdio>

// Runs the event loop until the first paint ends the process; 1 when no
// window was painted in a generous while.
inline int RunToFirstPaint()
{
    constexpr std::chrono::seconds kGiveUp{20};
    QTimer::singleShot(kGiveUp, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    std::fprintf(stderr, "no window was painted within %lld s\n", static_cast<long long>(kGiveUp.count()));
    return 1;
}
