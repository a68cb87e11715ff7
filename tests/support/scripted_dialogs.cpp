#include "support/scripted_dialogs.h"

namespace {
constexpr int kOk = 1;
constexpr int kYes = 6;
}  // namespace

void ScriptedDialogs::record(const Call& call)
{
    m_calls.append(call);
    if (onCall)
        onCall(call);
}

int ScriptedDialogs::message(const QString& text, Buttons buttons, Icon icon, const QString& title)
{
    record({Kind::Message, text, buttons, icon, title, {}});
    if (!m_messageAnswers.isEmpty())
        return m_messageAnswers.dequeue();
    return buttons == Buttons::YesNo ? kYes : kOk;
}

QString ScriptedDialogs::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    record({Kind::Input, prompt, Buttons::Ok, Icon::None, title, defaultText});
    return m_inputs.isEmpty() ? QString() : m_inputs.dequeue();
}

quillmar::Dialogs::ConfirmChoice ScriptedDialogs::confirm(const QString& text)
{
    record({Kind::Confirm, text, Buttons::Ok, Icon::None, {}, {}});
    return m_confirms.isEmpty() ? ConfirmChoice::Yes : m_confirms.dequeue();
}

QStringList ScriptedDialogs::textsOf(Kind kind) const
{
    QStringList texts;
    for (const Call& call : m_calls)
        if (call.kind == kind)
            texts.append(call.text);
    return texts;
}

QStringList ScriptedDialogs::messageTexts() const { return textsOf(Kind::Message); }
QStringList ScriptedDialogs::confirmTexts() const { return textsOf(Kind::Confirm); }

void ScriptedDialogs::clear()
{
    m_calls.clear();
    m_messageAnswers.clear();
    m_inputs.clear();
    m_confirms.clear();
}
