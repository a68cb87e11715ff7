#pragma once

#include "shell/services.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace quillmar {

// The delete confirmation: "Are you sure you want to delete this file(s)?"
// with Yes, All and No. It never names the file; the command asks once per
// file until All is chosen.
class Confirm : public QDialog {
    Q_OBJECT
public:
    explicit Confirm(QWidget* parent = nullptr);

    // The button that closed the window; Closed when it was closed otherwise.
    Dialogs::ConfirmChoice choice() const { return choice_; }

    // Shows the window modally and returns the answer.
    static Dialogs::ConfirmChoice ask(QWidget* parent);

private:
    void answer(Dialogs::ConfirmChoice choice);

    Dialogs::ConfirmChoice choice_ = Dialogs::ConfirmChoice::Closed;
};

}  // namespace quillmar
