#include "shell/message_dialogs.h"

#include "operations/confirm.h"
#include "shell/constants.h"

#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

namespace quillmar {

namespace {

// A box at least as wide as its title, so the desktop never cuts it
// ("Quillm...ation").
int TitleWidth(const QWidget& box, const QString& title)
{
    return box.fontMetrics().horizontalAdvance(title) + 160;
}

QMessageBox::Icon BoxIcon(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Warning:
        return QMessageBox::Warning;
    case Dialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Shows box, made at least as wide as its title; the button pressed.
int Run(QMessageBox& box)
{
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(TitleWidth(box, box.windowTitle()), 0, QSizePolicy::Minimum,
                                      QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box.exec();
}

}  // namespace

int MessageDialogs::message(const QString& text, Buttons buttons, Icon icon, const QString& title)
{
    QMessageBox box(BoxIcon(icon), title.isEmpty() ? kAppTitle : title, text,
                    buttons == Buttons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent_);
    const int answer = Run(box);
    if (buttons == Buttons::YesNo)
        return answer == QMessageBox::Yes ? 6 : 7;
    return 1;
}

int MessageDialogs::question(const QString& text, Icon icon, const QString& title, Answer defaultAnswer)
{
    QMessageBox box(BoxIcon(icon), title.isEmpty() ? kAppTitle : title, text, QMessageBox::Yes | QMessageBox::No,
                    parent_);
    box.setDefaultButton(defaultAnswer == Answer::Yes ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return Run(box) == QMessageBox::Yes ? int(Answer::Yes) : int(Answer::No);
}

QString MessageDialogs::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    QInputDialog box(parent_);
    box.setWindowTitle(title.isEmpty() ? kAppTitle : title);
    box.setLabelText(prompt);
    box.setTextValue(defaultText);
    box.setMinimumWidth(TitleWidth(box, box.windowTitle()));
    return box.exec() == QDialog::Accepted ? box.textValue() : QString();
}

QString MessageDialogs::password(const QString& prompt, const QString& title)
{
    QInputDialog box(parent_);
    box.setWindowTitle(title.isEmpty() ? kAppTitle : title);
    box.setLabelText(prompt);
    box.setTextEchoMode(QLineEdit::Password);
    box.setMinimumWidth(TitleWidth(box, box.windowTitle()));
    return box.exec() == QDialog::Accepted ? box.textValue() : QString();
}

Dialogs::ConfirmChoice MessageDialogs::confirm(const QString& text)
{
    return Confirm::ask(text, parent_);
}

}  // namespace quillmar
