#pragma once

#include <QIcon>

class QPushButton;
class QWidget;

namespace quillmar {

// The program's picture (SVG), the icon of every window.
QIcon AppIcon();

// A toolbar picture by its freedesktop name: the desktop theme's when the
// theme has every picture the toolbar uses, else the bundled one, so the
// toolbar never mixes two sets.
QIcon ToolIcon(const QString& name);

// Enter in the window presses this button, as in a dialog.
void MakeDefaultButton(QWidget* window, QPushButton* button);

// Before a secondary window is shown: centred over the main window (its
// parent), on that window's screen, and no larger than the screen's free
// area.
void PlaceOverMainWindow(QWidget* window);

// Brings a secondary window to the front: placed over the main window when
// it was hidden, where the person left it otherwise.
void ShowOverMainWindow(QWidget* window);

}  // namespace quillmar
