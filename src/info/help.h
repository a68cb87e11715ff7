#pragma once

#include "shell/services.h"

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;


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

// A command as help names it: where it is and its key (empty: none).
struct HelpCommand {
    QString command, where, key;
};
QList<HelpCommand> HelpCommands();

// The sections in display order: getting started, commands and keys,
// pictures for the web, encryption and trust, data and passwords.
QList<HelpSection> HelpSections();

// The example server name the help text uses.
QString ExampleServerName();

// The help page as printed: each section's caption, its lines, and the
// contact line.
QString HelpPageHtml();

// The uninstall note: its text for a program in programFolder, and the
// message box that shows it for this copy.
QString UninstallNoteText(const QString& programFolder);
void ShowUninstallNote(const Services& services);

// The help window: the sections, the contact label, "&Print" (the
// help page on the printer) and "&OK".
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
