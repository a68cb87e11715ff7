#include "shell/message_dialogs.h"

#include "operations/confirm.h"
#include "shell/constants.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace quillmar {

int MessageDialogs::message(const QString& text, Buttons buttons, Icon icon, const QString& title)
{
    QMessageBox box(icon == Icon::Information ? QMessageBox::Information : QMessageBox::NoIcon,
                    title.isEmpty() ? kAppTitle : title, text,
                    buttons == Buttons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent_);
    const int answer = box.exec();
    if (buttons == Buttons::YesNo)
        return answer == QMessageBox::Yes ? 6 : 7;
    return 1;
}

QString MessageDialogs::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent_, title.isEmpty() ? kAppTitle : title, prompt,
                                               QLineEdit::Normal, defaultText, &ok);
    return ok ? text : QString();
}

Dialogs::ConfirmChoice MessageDialogs::confirm()
{
    return Confirm::ask(parent_);
}

}  // namespace quillmar
