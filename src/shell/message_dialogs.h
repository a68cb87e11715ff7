#pragma once

#include "shell/services.h"

class QWidget;

namespace quillmar {

// The real message boxes, input boxes and the delete confirmation.
class MessageDialogs : public Dialogs {
public:
    explicit MessageDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    int message(const QString& text, Buttons buttons, Icon icon, const QString& title) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;
    ConfirmChoice confirm(const QString& text) override;
    int question(const QString& text, Icon icon, const QString& title, Answer defaultAnswer) override;
    QString password(const QString& prompt, const QString& title) override;
    ConfirmChoice confirmOne(const QString& text) override;
    QString inputName(const QString& prompt, const QString& title, const QString& name) override;

private:
    // The window a box belongs to: the active one of ours, else the parent.
    QWidget* owner() const;

    QWidget* parent_ = nullptr;
};

}  // namespace quillmar
