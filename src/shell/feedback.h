#pragma once

#include "session/transfer_meter.h"

#include <QElapsedTimer>
#include <QString>

#include <array>
#include <functional>

class QLabel;
class QMainWindow;
class QProgressBar;
class QStatusBar;
class QWidget;

namespace quillmar {

// The status bar of the main window: five panels (panel 1 is the status
// line), the progress bar and the two lights.
class Feedback {
public:
    explicit Feedback(QMainWindow& window);

    void status(const QString& text);           // panel 1, always "Status: ..."
    void panel(int number, const QString& text);  // panels 1 to 5
    QString panelText(int number) const;

    // The light: red while a command runs, otherwise green when connected
    // and grey when not. lightsBusy() and lightsConnected() mark a step of
    // work begun and over; the end of a command clears a mark left behind
    // (a command stopped or failed half-way).
    void lightsConnected();
    void lightsBusy();
    void setConnected(bool connected);
    void commandStarted();
    void commandEnded();
    bool commandRunning() const { return commands_ > 0; }
    // Called each time the last running command has ended.
    std::function<void()> commandsOver;

    void setProgress(double percent);  // 0 to 100; 0 also ends the transfer's text
    // A transfer begins now: its speed is measured from here.
    void startTransfer();
    // A progress report: the bar with its percent and, while bytes are
    // still to come, the status line in sizes, speed and time left
    // ("Status: 1.11 MB of 20 MB · 268 KB/s · 1:11 left").
    void showTransfer(qint64 bytes, qint64 total);

    // Paints the status bar now, so a text shows before a blocking step.
    void repaintNow();

private:
    // During a transfer the status line takes the room of panels 3 and 4.
    void widenStatusLine(bool wide);
    // Called before a change: a change soon after the last paint waits for
    // the next one, so a command that moves many small files is not slowed
    // by painting every text. The texts themselves are always current.
    void holdPaint();

    QStatusBar* bar_ = nullptr;
    std::array<QLabel*, 5> panels_{};
    QProgressBar* progress_ = nullptr;
    void showLight();

    QWidget* red_ = nullptr;
    QWidget* green_ = nullptr;
    QWidget* grey_ = nullptr;
    bool connected_ = false;
    bool busyMark_ = false;
    int commands_ = 0;  // commands running, one inside another
    QElapsedTimer lastPaint_;
    TransferMeter meter_;
    QElapsedTimer clock_;
};

// The red light for as long as a command runs: ended by end() (before its
// failure is told) or on the way out.
class CommandLight {
public:
    explicit CommandLight(Feedback& feedback) : feedback_(&feedback) { feedback.commandStarted(); }
    ~CommandLight() { end(); }
    void end()
    {
        if (feedback_)
            feedback_->commandEnded();
        feedback_ = nullptr;
    }
    CommandLight(const CommandLight&) = delete;
    CommandLight& operator=(const CommandLight&) = delete;

private:
    Feedback* feedback_;
};

// The busy pointer over the program while a server command runs; restored on
// every way out of the command.
class BusyPointer {
public:
    BusyPointer();
    ~BusyPointer();
    void restore();
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    bool active_ = true;
};

}  // namespace quillmar
