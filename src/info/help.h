#pragma once

#include "shell/services.h"

#include <QList>
#include <QSize>
#include <QString>
#include <QWidget>

class QLabel;
class QPainter;

namespace quillmar {

// One paragraph of a help section; headings and the address note are bold.
struct HelpLine {
    QString text;
    bool bold = false;
};

// A framed section of the help page; the caption keeps its spaces.
struct HelpSection {
    QString caption;
    QList<HelpLine> lines;
};

// The four sections in display order: release notes across the top, then
// site manager, assorted features and controls from left to right.
QList<HelpSection> HelpSections();

// The example server name the help text uses.
QString ExampleServerName();

// The page picture's size in pixels.
QSize HelpPageSize();

// Draws the help page, sections framed and laid out as in the window, in
// HelpPageSize() pixels; the letters shrink until every section fits.
void PaintHelpPage(QPainter& painter);

// The uninstall note: its text for a program in programFolder, and the
// message box that shows it for this copy.
QString UninstallNoteText(const QString& programFolder);
void ShowUninstallNote(const Services& services);

// The help window: the four sections, the page picture Picture1 that
// "&Print" prints, the contact label and "&OK".
class HelpFrm : public QWidget {
    Q_OBJECT
public:
    explicit HelpFrm(const Services& services, QWidget* parent = nullptr);

    // Shows the window, or brings it forward when it is open.
    void Open();
    void PrintBtn_Click();

private:
    Services services_;
    QLabel* picture1_ = nullptr;
};

}  // namespace quillmar
