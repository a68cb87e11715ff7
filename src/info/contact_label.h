#pragma once

#include "shell/services.h"

#include <QLabel>

namespace quillmar {

// Where people write to us, and the label that opens a new mail to it.
QString ContactAddress();

// "Label12" of the about and help windows: a click asks the desktop to open
// a new mail message to the contact address. Whether that worked is not
// examined; a desktop without a mail program simply shows nothing.
class ContactLabel : public QLabel {
    Q_OBJECT
public:
    explicit ContactLabel(const Services& services, QWidget* parent = nullptr);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Services services_;
};

}  // namespace quillmar
