#pragma once

#include "shell/services.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace quillmar {

// The per-file question with Yes, All and No: before a delete and before a
// transfer replaces a file. Its text names the file and where it is; the
// command asks once per file until All is chosen.
class Confirm : public QDialog {
    Q_OBJECT
public:
    // offerAll: false for a question about one thing (no All button).
    explicit Confirm(const QString& text, QWidget* parent = nullptr, bool offerAll = true);

    // The button that closed the window; Closed when it was closed otherwise.
    Dialogs::ConfirmChoice choice() const { return choice_; }

    // Shows the window modally and returns the answer.
    static Dialogs::ConfirmChoice ask(const QString& text, QWidget* parent, bool offerAll = true);

private:
    void answer(Dialogs::ConfirmChoice choice);

    Dialogs::ConfirmChoice choice_ = Dialogs::ConfirmChoice::Closed;
};

}  // namespace quillmar
