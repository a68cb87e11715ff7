#pragma once

#include "shell/services.h"

#include <QWidget>

namespace quillmar {

// "Version 2.3.12": each number in plain decimal.
QString VersionText(int major, int minor, int revision);

// The about window: title, version, a few words about the program and the
// contact label.
class frmAbout : public QWidget {
    Q_OBJECT
public:
    explicit frmAbout(const Services& services, QWidget* parent = nullptr);

    // Shows the window, or brings it forward when it is open.
    void Open();
};

}  // namespace quillmar
