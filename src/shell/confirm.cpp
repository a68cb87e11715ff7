#include "shell/confirm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillmar {

Confirm::Confirm(const QString& text, QWidget* parent, bool offerAll) : QDialog(parent)
{
    setObjectName(QStringLiteral("Confirm"));
    setWindowTitle(QStringLiteral("Confirmation"));
    setModal(true);

    auto* label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("Label1"));
    label->setTextFormat(Qt::PlainText);  // names from a server are shown, never interpreted
    label->setWordWrap(true);

    struct Button {
        const char* name;
        const char* caption;
        Dialogs::ConfirmChoice choice;
    };
    const Button buttons[] = {
        {"Command1", "&Yes", Dialogs::ConfirmChoice::Yes},
        {"Confirm", "&All", Dialogs::ConfirmChoice::All},
        {"Command3", "&No", Dialogs::ConfirmChoice::No},
    };
    auto* row = new QHBoxLayout;
    QWidget* previous = nullptr;
    for (const Button& b : buttons) {
        if (b.choice == Dialogs::ConfirmChoice::All && !offerAll)
            continue;
        auto* button = new QPushButton(QString::fromLatin1(b.caption), this);
        button->setObjectName(QLatin1String(b.name));
        button->setAutoDefault(false);
        const Dialogs::ConfirmChoice choice = b.choice;
        connect(button, &QPushButton::clicked, this, [this, choice] { answer(choice); });
        row->addWidget(button);
        if (previous)
            setTabOrder(previous, button);
        previous = button;
        // Enter answers Yes, the first button.
        button->setDefault(b.choice == Dialogs::ConfirmChoice::Yes);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(row);
}

void Confirm::answer(Dialogs::ConfirmChoice choice)
{
    choice_ = choice;
    accept();
}

Dialogs::ConfirmChoice Confirm::ask(const QString& text, QWidget* parent, bool offerAll)
{
    Confirm window(text, parent, offerAll);
    window.exec();
    return window.choice();
}

}  // namespace quillmar
