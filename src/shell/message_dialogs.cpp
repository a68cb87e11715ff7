#include "shell/message_dialogs.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace quillmar {

int MessageDialogs::message(const QString& text, Buttons buttons, Icon icon, const QString& title)
{
    QMessageBox box(icon == Icon::Information ? QMessageBox::Information : QMessageBox::NoIcon,
                    title.isEmpty() ? QStringLiteral("Quillmar") : title, text,
                    buttons == Buttons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent_);
    const int answer = box.exec();
    if (buttons == Buttons::YesNo)
        return answer == QMessageBox::Yes ? 6 : 7;
    return 1;
}

QString MessageDialogs::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent_, title.isEmpty() ? QStringLiteral("Quillmar") : title, prompt,
                                               QLineEdit::Normal, defaultText, &ok);
    return ok ? text : QString();
}

Dialogs::ConfirmChoice MessageDialogs::confirm()
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), QStringLiteral("Delete this file?"),
                    QMessageBox::NoButton, parent_);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* all = box.addButton(QStringLiteral("&All"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.exec();
    if (box.clickedButton() == yes)
        return ConfirmChoice::Yes;
    if (box.clickedButton() == all)
        return ConfirmChoice::All;
    if (box.clickedButton() == no)
        return ConfirmChoice::No;
    return ConfirmChoice::Closed;
}

}  // namespace quillmar
