#include "shell/message_dialogs.h"

#include "operations/confirm.h"
#include "session/entry_names.h"
#include "shell/constants.h"

#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
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

namespace {

// The input box's layout sets its own minimum from its contents, so the
// title's width goes to the prompt.
void KeepTitleWhole(QInputDialog& box)
{
    if (auto* label = box.findChild<QLabel*>())
        label->setMinimumWidth(TitleWidth(box, box.windowTitle()));
}

QString Ask(QWidget* parent, const QString& prompt, const QString& title, const QString& text, qsizetype selected)
{
    QInputDialog box(parent);
    box.setWindowTitle(title.isEmpty() ? kAppTitle : title);
    box.setLabelText(prompt);
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

QString MessageDialogs::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    return Ask(parent_, prompt, title, defaultText, -1);
}

QString MessageDialogs::inputName(const QString& prompt, const QString& title, const QString& name)
{
    return Ask(parent_, prompt, title, name, NameStemLength(name));
}

Dialogs::ConfirmChoice MessageDialogs::confirmOne(const QString& text)
{
    return Confirm::ask(text, parent_, false);
}

Dialogs::ConfirmChoice MessageDialogs::confirm(const QString& text)
{
    return Confirm::ask(text, parent_);
}

}  // namespace quillmar
