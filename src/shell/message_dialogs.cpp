#include "shell/message_dialogs.h"

#include "shell/confirm.h"
#include "session/entry_names.h"
#include "shell/constants.h"

#include <QApplication>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QTimer>

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

// The input box's layout sets its own minimum from its contents, so the
// title's width goes to the prompt.
void KeepTitleWhole(QInputDialog& box)
{
    if (auto* label = box.findChild<QLabel*>())
        label->setMinimumWidth(TitleWidth(box, box.windowTitle()));
}

QString Ask(QWidget* parent, const QString& prompt, const QString& title, const QString& text, qsizetype selected,
            QLineEdit::EchoMode echo = QLineEdit::Normal)
{
    QInputDialog box(parent);
    box.setWindowTitle(title.isEmpty() ? kAppTitle : title);
    box.setLabelText(prompt);
    box.setTextEchoMode(echo);
    box.setTextValue(text);
    KeepTitleWhole(box);
    if (selected >= 0) {
        // After the box has selected all of its text on showing.
        QTimer::singleShot(0, &box, [&box, selected] {
            if (auto* edit = box.findChild<QLineEdit*>())
                edit->setSelection(0, int(selected));
        });
    }
    return box.exec() == QDialog::Accepted ? box.textValue() : QString();
}

}  // namespace

QWidget* MessageDialogs::owner() const
{
    // A question asked from one of the program's own windows (the site
    // manager, the viewer) belongs to it, so that window keeps its place on
    // top of the main window when the question closes.
    QWidget* active = QApplication::activeWindow();
    for (QWidget* up = active ? active->parentWidget() : nullptr; up && parent_; up = up->parentWidget()) {
        if (up == parent_)
            return active;
    }
    return parent_;
}

int MessageDialogs::message(const QString& text, Buttons buttons, Icon icon, const QString& title)
{
    QMessageBox box(BoxIcon(icon), title.isEmpty() ? kAppTitle : title, text,
                    buttons == Buttons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, owner());
    const int answer = Run(box);
    if (buttons == Buttons::YesNo)
        return answer == QMessageBox::Yes ? kYes : kNo;
    return kOk;
}

int MessageDialogs::question(const QString& text, Icon icon, const QString& title, Answer defaultAnswer)
{
    QMessageBox box(BoxIcon(icon), title.isEmpty() ? kAppTitle : title, text, QMessageBox::Yes | QMessageBox::No,
                    owner());
    box.setDefaultButton(defaultAnswer == Answer::Yes ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return Run(box) == QMessageBox::Yes ? kYes : kNo;
}

QString MessageDialogs::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    return Ask(owner(), prompt, title, defaultText, -1);
}

QString MessageDialogs::inputName(const QString& prompt, const QString& title, const QString& name)
{
    return Ask(owner(), prompt, title, name, NameStemLength(name));
}

QString MessageDialogs::password(const QString& prompt, const QString& title)
{
    return Ask(owner(), prompt, title, QString(), -1, QLineEdit::Password);
}

Dialogs::ConfirmChoice MessageDialogs::confirmOne(const QString& text)
{
    return Confirm::ask(text, owner(), false);
}

Dialogs::ConfirmChoice MessageDialogs::confirm(const QString& text)
{
    return Confirm::ask(text, owner());
}

}  // namespace quillmar
