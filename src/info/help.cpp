#include "info/help.h"

#include "info/contact_label.h"
#include "operations/print_list.h"
#include "shell/constants.h"
#include "shell/window_kit.h"

#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QTextDocument>
#include <QVBoxLayout>

#include <memory>

namespace quillmar {

namespace {


HelpLine Plain(const QString& text) { return {text, false}; }
HelpLine Bold(const QString& text) { return {text, true}; }

// A line of the page: bold headings and notes, plain text escaped.
QString PageParagraph(const HelpLine& line)
{
    const QString text = line.text.toHtmlEscaped();
    return QStringLiteral("<p>%1</p>").arg(line.bold ? QStringLiteral("<b>%1</b>").arg(text) : text);
}

QLabel* SectionLabel(const HelpLine& line)
{
    auto* label = new QLabel(line.text);
    label->setWordWrap(true);
    if (line.bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

QGroupBox* SectionFrame(const HelpSection& section, const char* name)
{
    auto* frame = new QGroupBox(section.caption);
    frame->setObjectName(QLatin1String(name));
    auto* layout = new QVBoxLayout(frame);
    for (const HelpLine& line : section.lines)
        layout->addWidget(SectionLabel(line));
    return frame;
}

}  // namespace

QString ExampleServerName() { return QStringLiteral("ftp.quillmar.example"); }

QList<HelpSection> HelpSections()
{
    return {
        {QStringLiteral("  Release Notes  "),
         {Plain(QStringLiteral(
             "  Added ability to select multiple files in server list to delete.  This is done by pressing control "
             "and clicking individual files, followed by clicking the delete button on the toolbar.  You may also use "
             "the shift key instead of control along with the up and down arrow keys to select many files that are "
             "already grouped together.  Double click the currently viewed image to see a full screen preview!"))}},
        {QStringLiteral(" Site Manager "),
         {Bold(QStringLiteral("Create New Connection:")),
          Plain(QStringLiteral("1.  Select \"Site Manager\" from the \"FTP\" menu.")),
          Plain(QStringLiteral("2.  Click clear, then enter a description for the site you wish to connect to. ")),
          Plain(QStringLiteral("3.  Now enter the FTP address of the site.  For example: \"%1\"")
                    .arg(ExampleServerName())),
          Bold(QStringLiteral(
              "Note:  It is not necessary to place \"ftp://\" before an ftp address in the address box.  ")),
          Plain(QStringLiteral("4.  Now enter your login name in the login box.")),
          Plain(QStringLiteral("5.  And now enter your password in its box.")),
          Plain(QStringLiteral("6.  Now click \"Add\", select your new entry and click \"Connect\".")),
          Bold(QStringLiteral("Use Existing Connection:")),
          Plain(QStringLiteral("1.  Open \"Site Manager\" and select an entry from the \"Favorite Sites\" list.  "
                               "Then click \"Connect\".")),
          Plain(QStringLiteral("2.  Alternatively the next time you want to connect you can just click the connect "
                               "button from the toolbar because Quillmar remembers your last connection!"))}},
        {QStringLiteral(" Assorted Features "),
         {Plain(QStringLiteral("1.  Uploaded images are viewable by selecting them from the server file list.")),
          Plain(QStringLiteral(
              "2.  To empty your image cache, select \"Empty Image Cache\" from the \"Options\" menu.")),
          Plain(QStringLiteral("3.  Select the filename column heading in the server file list to sort in "
                               "ascending or descending order.")),
          Plain(QStringLiteral("4.  Delete multiple files on a server by holding down control or shift while "
                               "selecting files.  Then choose delete.")),
          Plain(QStringLiteral("5.  Select \"Last Connection Listing\" from \"View\" menu to see the files you have "
                               "currently on your server without connecting.  Date and time of last update will "
                               "be shown in status bar.")),
          Plain(QStringLiteral("6.  Double click on the currently viewed image to see a full screen preview."))}},
        {QStringLiteral(" Controls "),
         {Plain(QStringLiteral("1.  Uploading, downloading and changing directories is accomplished by "
                               "double-clicking the filename or directory name.")),
          Plain(QStringLiteral("2.  Other operations require you to simply select the item to perform the "
                               "operation on and then to click the appropriate button or menu item.")),
          Plain(QStringLiteral("3.  Some operations are available by right-clicking as well.")),
          Plain(QStringLiteral("4.  File transfer progress is indicated by a blue progress bar in the lower right "
                               "corner of the program.")),
          Plain(QStringLiteral("5.  A red and a green light in the lower right hand corner also tell you when an "
                               "operation has been completed."))}},
    };
}

QString HelpPageHtml()
{
    QString html;
    for (const HelpSection& section : HelpSections()) {
        html += QStringLiteral("<h3>%1</h3>").arg(section.caption.trimmed().toHtmlEscaped());
        for (const HelpLine& line : section.lines)
            html += PageParagraph(line);
    }
    return html + PageParagraph(Plain(QStringLiteral("Questions or ideas? Write to %1").arg(ContactAddress())));
}

// How this copy is removed depends on where it runs from: the package
// manager's folder, the folder of a build installed by hand, or a folder
// the person unpacked it in.
QString UninstallNoteText(const QString& programFolder)
{
    const QString folder = QDir::cleanPath(programFolder);
    if (folder == QLatin1String("/usr/bin"))
        return QStringLiteral("Quillmar was installed with your system's package manager.  To uninstall it, remove "
                              "the package \"quillmar\" with the package manager, for example: "
                              "sudo apt remove quillmar");
    if (folder == QLatin1String("/usr/local/bin"))
        return QStringLiteral("Quillmar was installed into /usr/local from its build folder.  To uninstall it, run "
                              "this in that build folder: sudo xargs rm < install_manifest.txt");
    return QStringLiteral("To uninstall Quillmar, delete the folder it was unpacked in:\n%1")
        .arg(QDir::toNativeSeparators(folder));
}

void ShowUninstallNote(const Services& services)
{
    services.dialogs->message(UninstallNoteText(QCoreApplication::applicationDirPath()), Dialogs::Buttons::Ok,
                              Dialogs::Icon::None, kAppTitle);
}

HelpFrm::HelpFrm(const Services& services, QWidget* parent) : QWidget(parent, Qt::Window), services_(services)
{
    setObjectName(QStringLiteral("HelpFrm"));
    setWindowTitle(kAppTitle + QStringLiteral(" Help"));

    const QList<HelpSection> sections = HelpSections();
    QGroupBox* notes = SectionFrame(sections[0], "Frame1");
    QGroupBox* sites = SectionFrame(sections[1], "Frame2");
    QGroupBox* features = SectionFrame(sections[2], "Frame3");
    QGroupBox* controls = SectionFrame(sections[3], "Frame4");
    for (QGroupBox* frame : {sites, features, controls})
        static_cast<QVBoxLayout*>(frame->layout())->addStretch();

    auto* controlsLayout = static_cast<QVBoxLayout*>(controls->layout());
    controlsLayout->addWidget(new ContactLabel(services_));
    auto* print = new QPushButton(QStringLiteral("&Print"));
    print->setObjectName(QStringLiteral("PrintBtn"));
    auto* ok = new QPushButton(QStringLiteral("&OK"));
    ok->setObjectName(QStringLiteral("Command1"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(print);
    buttons->addWidget(ok);
    controlsLayout->addLayout(buttons);
    connect(print, &QPushButton::clicked, this, &HelpFrm::PrintBtn_Click);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);

    // The page that "&Print" prints, kept as the window's Picture1.
    picture1_ = new QLabel(HelpPageHtml(), this);
    picture1_->setObjectName(QStringLiteral("Picture1"));
    picture1_->setTextFormat(Qt::RichText);
    picture1_->hide();

    // The page scrolls when the screen is smaller than it.
    auto* sheet = new QWidget;
    auto* grid = new QGridLayout(sheet);
    grid->addWidget(notes, 0, 0, 1, 3);
    grid->addWidget(sites, 1, 0);
    grid->addWidget(features, 1, 1);
    grid->addWidget(controls, 1, 2);
    sheet->setMinimumWidth(560);
    auto* scroll = new QScrollArea;
    scroll->setWidget(sheet);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    MakeDefaultButton(this, ok);
    // Wrapped text needs the height that goes with the width, or the lines
    // of the narrow columns overlap.
    resize(860, grid->totalHeightForWidth(860) + 2);
}

void HelpFrm::Open()
{
    if (!isVisible())
        PlaceOverMainWindow(this);
    show();
    raise();
    activateWindow();
}

void HelpFrm::PrintBtn_Click()
{
    bool cancelled = false;
    std::unique_ptr<QPrinter> printer = ChosenPrinter(services_, this, &cancelled);
    if (cancelled)
        return;
    QTextDocument page;
    page.setHtml(picture1_->text());
    if (!PrintDocument(printer.get(), page))
        ReportPrintProblem(services_);
}

}  // namespace quillmar
