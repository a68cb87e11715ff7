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

}  // namespace

int MessageDialogs::message(const QString& text, Buttons buttons, Icon icon, const QString& title)
{
    QMessageBox box(icon == Icon::Information ? QMessageBox::Information : QMessageBox::NoIcon,
                    title.isEmpty() ? kAppTitle : title, text,
                    buttons == Buttons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent_);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(TitleWidth(box, box.windowTitle()), 0, QSizePolicy::Minimum,
                                      QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    const int answer = box.exec();
    if (buttons == Buttons::YesNo)
        return answer == QMessageBox::Yes ? 6 : 7;
    return 1;
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
