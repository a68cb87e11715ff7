#include "support/scripted_dialogs.h"

#include <algorithm>

void ScriptedDialogs::record(const Call& call)
{
    calls_.append(call);
    if (onCall)
        onCall(call);
}

int ScriptedDialogs::message(const QString& text, Buttons buttons, Icon icon, const QString& title)
{
    record({Kind::Message, text, buttons, icon, title, {}});
    if (!messageAnswers_.isEmpty())
        return messageAnswers_.dequeue();
    return buttons == Buttons::YesNo ? kYes : kOk;
}

QString ScriptedDialogs::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    record({Kind::Input, prompt, Buttons::Ok, Icon::None, title, defaultText});
    return inputs_.isEmpty() ? QString() : inputs_.dequeue();
}

int ScriptedDialogs::question(const QString& text, Icon icon, const QString& title, Answer defaultAnswer)
{
    record({Kind::Question, text, Buttons::YesNo, icon, title, {}, defaultAnswer});
    return messageAnswers_.isEmpty() ? int(defaultAnswer) : messageAnswers_.dequeue();
}

QString ScriptedDialogs::password(const QString& prompt, const QString& title)
{
    record({Kind::Password, prompt, Buttons::Ok, Icon::None, title, {}});
    return passwords_.isEmpty() ? QString() : passwords_.dequeue();
}

quillmar::Dialogs::ConfirmChoice ScriptedDialogs::confirm(const QString& text)
{
    record({Kind::Confirm, text, Buttons::Ok, Icon::None, {}, {}});
    return confirms_.isEmpty() ? ConfirmChoice::Yes : confirms_.dequeue();
}

quillmar::Dialogs::ConfirmChoice ScriptedDialogs::confirmOne(const QString& text)
{
    record({Kind::Confirm, text, Buttons::YesNo, Icon::None, {}, {}, Answer::Yes, false});
    return confirms_.isEmpty() ? ConfirmChoice::Yes : confirms_.dequeue();
}

QStringList ScriptedDialogs::textsOf(std::initializer_list<Kind> kinds) const
{
    QStringList texts;
    for (const Call& call : calls_)
        if (std::find(kinds.begin(), kinds.end(), call.kind) != kinds.end())
            texts.append(call.text);
    return texts;
}

QStringList ScriptedDialogs::messageTexts() const { return textsOf({Kind::Message, Kind::Question}); }
QStringList ScriptedDialogs::confirmTexts() const { return textsOf({Kind::Confirm}); }

void ScriptedDialogs::clear()
{
    calls_.clear();
    messageAnswers_.clear();
    inputs_.clear();
    confirms_.clear();
    passwords_.clear();
}
