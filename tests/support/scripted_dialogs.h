#pragma once

#include "shell/services.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>

// Dialogs for tests: remembers every box that was shown and answers from
// queues. With nothing queued an OK box answers 1, a Yes/No box answers Yes
// (6), an input box answers empty (cancelled) and Confirm answers Yes.
class ScriptedDialogs : public quillmar::Dialogs {
public:
    enum class Kind { Message, Input, Confirm };
    struct Call {
        Kind kind = Kind::Message;
        QString text;         // message or Confirm text, or the input box's prompt
        Buttons buttons = Buttons::Ok;
        Icon icon = Icon::None;
        QString title;
        QString defaultText;  // input boxes only
    };

    int message(const QString& text, Buttons buttons, Icon icon, const QString& title) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;
    ConfirmChoice confirm(const QString& text) override;

    void queueMessageAnswer(int answer) { m_messageAnswers.enqueue(answer); }
    void queueInput(const QString& text) { m_inputs.enqueue(text); }
    void queueConfirm(ConfirmChoice choice) { m_confirms.enqueue(choice); }

    const QList<Call>& calls() const { return m_calls; }
    QStringList messageTexts() const;  // the texts of the message boxes, in order
    QStringList confirmTexts() const;  // the texts of the Confirm windows, in order
    void clear();                      // forgets the calls and the queued answers

    // Runs while a box is "open", e.g. to look at the window behind it.
    std::function<void(const Call&)> onCall;

private:
    void record(const Call& call);
    QStringList textsOf(Kind kind) const;

    QList<Call> m_calls;
    QQueue<int> m_messageAnswers;
    QQueue<QString> m_inputs;
    QQueue<ConfirmChoice> m_confirms;
};
