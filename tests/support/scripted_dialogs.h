#pragma once

#include "shell/services.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>

// Dialogs for tests: remembers every box that was shown and answers from
// queues. With nothing queued an OK box answers 1, a Yes/No box answers Yes
// (6), a question answers its default (as Enter would), an input box answers
// empty (cancelled) and Confirm answers Yes. Message and question answers
// share one queue.
class ScriptedDialogs : public quillmar::Dialogs {
public:
    enum class Kind { Message, Input, Confirm, Question, Password };
    struct Call {
        Kind kind = Kind::Message;
        QString text;         // message or Confirm text, or the input box's prompt
        Buttons buttons = Buttons::Ok;
        Icon icon = Icon::None;
        QString title;
        QString defaultText;  // input boxes only
        Answer defaultAnswer = Answer::Yes;   // questions only
        bool offersAll = true;  // Confirm windows: false for one thing (Yes and No only)
    };

    int message(const QString& text, Buttons buttons, Icon icon, const QString& title) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;
    ConfirmChoice confirm(const QString& text) override;
    int question(const QString& text, Icon icon, const QString& title, Answer defaultAnswer) override;
    // The masked box: answered from its own queue, empty (cancelled) when none.
    QString password(const QString& prompt, const QString& title) override;
    // Recorded and answered as a Confirm window, one without All.
    ConfirmChoice confirmOne(const QString& text) override;

    void queueMessageAnswer(int answer) { messageAnswers_.enqueue(answer); }
    void queueInput(const QString& text) { inputs_.enqueue(text); }
    void queueConfirm(ConfirmChoice choice) { confirms_.enqueue(choice); }
    void queuePassword(const QString& text) { passwords_.enqueue(text); }

    const QList<Call>& calls() const { return calls_; }
    QStringList messageTexts() const;  // the texts of the message boxes and questions, in order
    QStringList confirmTexts() const;  // the texts of the Confirm windows, in order
    void clear();                      // forgets the calls and the queued answers

    // Runs while a box is "open", e.g. to look at the window behind it.
    std::function<void(const Call&)> onCall;

private:
    void record(const Call& call);
    QStringList textsOf(std::initializer_list<Kind> kinds) const;

    QList<Call> calls_;
    QQueue<int> messageAnswers_;
    QQueue<QString> inputs_;
    QQueue<ConfirmChoice> confirms_;
    QQueue<QString> passwords_;
};
