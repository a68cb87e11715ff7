#pragma once

#include <QSettings>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QPrinter;
class QWidget;

namespace quillmar {

class PasswordStore;

// Every message box, input box and the Confirm window go through here, so a
// test can script the person's answers.
class Dialogs {
public:
    enum class Buttons { Ok, YesNo };
    enum class Icon { None, Information, Warning };
    enum class ConfirmChoice { Yes, All, No, Closed };
    enum class Answer { Yes = 6, No = 7 };
    // What message() and question() return.
    static constexpr int kOk = 1;
    static constexpr int kYes = int(Answer::Yes);
    static constexpr int kNo = int(Answer::No);
    virtual ~Dialogs() = default;
    // Returns kOk (1), kYes (6) or kNo (7).
    virtual int message(const QString& text, Buttons buttons, Icon icon, const QString& title) = 0;
    // Returns the entered text; an empty text when cancelled.
    virtual QString input(const QString& prompt, const QString& title, const QString& defaultText) = 0;
    // The modal Confirm window (Yes, All, No) showing text: what is about to
    // happen to which file, and where.
    virtual ConfirmChoice confirm(const QString& text) = 0;
    // A Yes/No question whose Enter gives defaultAnswer; returns kYes or
    // kNo. Questions about trust default to No and carry the warning
    // icon. Without a box of its own it is a Yes/No message.
    virtual int question(const QString& text, Icon icon, const QString& title, Answer defaultAnswer)
    {
        static_cast<void>(defaultAnswer);
        return message(text, Buttons::YesNo, icon, title);
    }

    // A password for the moment, typed into a masked box; an empty text when
    // cancelled. Dialogs that cannot mask fall back to an input box.
    virtual QString password(const QString& prompt, const QString& title) { return input(prompt, title, QString()); }

    // The Confirm window for a question about one thing: Yes and No, no
    // All. By default a Yes/No box titled "Confirmation".
    virtual ConfirmChoice confirmOne(const QString& text)
    {
        return message(text, Buttons::YesNo, Icon::None, QStringLiteral("Confirmation")) == kYes ? ConfirmChoice::Yes
                                                                                             : ConfirmChoice::No;
    }
    // An input box for a file name: the name is offered with the part before
    // its extension selected, so typing keeps the extension. By default the
    // plain input box.
    virtual QString inputName(const QString& prompt, const QString& title, const QString& name)
    {
        return input(prompt, title, name);
    }
};

// Everything the main window needs from the person or the machine.
struct Services {
    QString appFolder;              // where sites.snd, *.dat and the Cache folder live
    QSettings* settings = nullptr;  // the per-user store; group "StartUp"
    Dialogs* dialogs = nullptr;
    std::function<std::unique_ptr<QPrinter>()> printer;  // default printer; tests return a PDF printer
    // Lets the person choose and set up the printer before anything is
    // printed: the standard print dialog, or with no printer installed a PDF
    // file to print to. False when they cancel. When empty, printing goes to
    // printer() as it comes.
    std::function<bool(QPrinter&, QWidget* parent)> choosePrinter;
    std::function<bool(const QUrl&)> openUrl;            // mailto: links
    PasswordStore* keyring = nullptr;  // where site passwords are kept; null: the system keyring
};

}  // namespace quillmar
