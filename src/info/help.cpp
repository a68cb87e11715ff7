#include "info/help.h"

#include "info/contact_label.h"
#include "shell/print_list.h"
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

constexpr int kHelpWidth = 860;
constexpr int kHelpMaxHeight = 700;  // taller pages scroll

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

QList<HelpCommand> HelpCommands()
{
    // Enter and a double-click act on the row under the cursor: a file is
    // sent to the other side, a folder is opened.
    const QString onRow = QStringLiteral("Enter or double-click on the row");
    return {
        {QStringLiteral("Connect"), QStringLiteral("FTP menu, Connect button"), {}},
        {QStringLiteral("Disconnect"), QStringLiteral("FTP menu, Disconnect button"), {}},
        {QStringLiteral("Site Manager"), QStringLiteral("FTP menu, Sites button"), {}},
        {QStringLiteral("Exit Quillmar"), QStringLiteral("FTP menu"), QStringLiteral("Ctrl+Q")},
        {QStringLiteral("Upload"), QStringLiteral("Commands menu, Upload button"), onRow},
        {QStringLiteral("Download"), QStringLiteral("Commands menu, Download button"), onRow},
        {QStringLiteral("Go Up"), QStringLiteral("Commands menu, Go Up button"), QStringLiteral("Backspace")},
        {QStringLiteral("Stop"), QStringLiteral("Commands menu, Stop button"), QStringLiteral("Esc")},
        {QStringLiteral("New Folder"), QStringLiteral("Commands menu"), QStringLiteral("Ctrl+N")},
        {QStringLiteral("Rename"), QStringLiteral("Commands menu"), QStringLiteral("F2")},
        {QStringLiteral("Delete File"), QStringLiteral("Commands menu, Delete button"), QStringLiteral("Del")},
        {QStringLiteral("Copy Web Address"), QStringLiteral("Commands menu"), QStringLiteral("Ctrl+Shift+C")},
        {QStringLiteral("Print Remote File List"), QStringLiteral("Commands menu, Print button"), {}},
        {QStringLiteral("Last Connection Listing"), QStringLiteral("View menu, List button"), {}},
        {QStringLiteral("Refresh"), QStringLiteral("View menu, Refresh button"), QStringLiteral("F5")},
    };
}

namespace {

QString CommandLine(const HelpCommand& command)
{
    const QString key = command.key.isEmpty() ? QString() : QStringLiteral(" \u2014 ") + command.key;
    return QStringLiteral("%1 (%2)%3").arg(command.command, command.where, key);
}

}  // namespace

QList<HelpSection> HelpSections()
{
    QList<HelpLine> commands;
    for (const HelpCommand& command : HelpCommands())
        commands << Plain(CommandLine(command));
    commands << Plain(QStringLiteral("You can also drag files between your computer's file list and the server "
                                     "list, and right-click either list for its commands."));
    return {
        {QStringLiteral(" Getting Started "),
         {Plain(QStringLiteral("1.  Open the Site Manager (FTP menu, or the Sites button) and click \"Add\".  Give "
                               "the site a description, its server address (for example \"%1\"), your login and "
                               "your password, and click \"Save\".")
                    .arg(ExampleServerName())),
          Plain(QStringLiteral("2.  Select the site and click \"Connect\".  Next time the Connect button goes back to "
                               "the last site at once; with \"Auto Connect\" (Options menu) Quillmar connects as it "
                               "starts.")),
          Plain(QStringLiteral("3.  Your computer is on the left, the server's folder on the right and the selected "
                               "picture in the middle.  Double-click a file to send it to the other side, a folder "
                               "to open it.")),
          Plain(QStringLiteral("4.  The light in the status bar is green when connected and idle, red while a "
                               "command runs, and grey when not connected.  The bar beside it shows how far a "
                               "transfer has come; Stop (Esc) ends the running command.")),
          Plain(QStringLiteral("5.  \"Last Connection Listing\" (View menu) shows what each site held when you last "
                               "connected, without connecting."))}},
        {QStringLiteral(" Commands and Keys "), commands},
        {QStringLiteral(" Pictures for the Web "),
         {Plain(QStringLiteral("Give a site its web address (for example \"https://www.quillmar.example/\") and the "
                               "server folder that address shows (for example \"/public_html\") in the Site Manager.  "
                               "Then \"Copy Web Address\" (Ctrl+Shift+C) copies the address of any picture, and each "
                               "upload names the address of what it sent.")),
          Plain(QStringLiteral("With \"Prepare Pictures for the Web\" (Options menu) on, large photos go up scaled "
                               "down, turned upright and without the position where they were taken; the file on "
                               "your computer is not changed.")),
          Plain(QStringLiteral("Uploaded pictures show at once from a local cache.  \"Preview Server Pictures\" (View "
                               "menu) fetches a picture that is not in the cache yet.  \"Empty Image Cache\" "
                               "(Options menu) clears the cache.  Double-click the picture for a full screen "
                               "view."))}},
        {QStringLiteral(" Encryption and Trust "),
         {Plain(QStringLiteral("Start a server address with \"ftps://\" to connect with encryption (FTP over TLS).")),
          Plain(QStringLiteral("When a server shows a certificate your system cannot vouch for, Quillmar shows its "
                               "details and asks whether to trust it; say yes only when you know it is your "
                               "server's.  The answer is remembered for that server.")),
          Plain(QStringLiteral("If a trusted server later shows a different certificate, Quillmar asks again and the "
                               "question defaults to No: it may not be your server.  A site that once used "
                               "encryption is never logged into without it unless you agree."))}},
        {QStringLiteral(" Your Data and Passwords "),
         {Plain(QStringLiteral("Sites are kept in sites.snd, the last listing of each site in a .dat file, and "
                               "cached pictures in the Cache folder, all in Quillmar's data folder: "
                               "~/.local/share/Quillmar for an installed copy, or the program's own folder when "
                               "it runs from a folder of its own.  The servers you trusted are kept there in "
                               "\"trusted-servers\".")),
          Plain(QStringLiteral("Passwords are kept in the system keyring when one is available, otherwise in "
                               "sites.snd.")),
          Plain(QStringLiteral("Settings and the window's place are kept in ~/.config/Quillmar/Quillmar.conf."))}},
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
    static const char* const kFrameNames[] = {"Frame1", "Frame2", "Frame3", "Frame4", "Frame5"};
    QList<QGroupBox*> frames;
    for (int i = 0; i < sections.size(); ++i) {
        frames << SectionFrame(sections[i], kFrameNames[i]);
        static_cast<QVBoxLayout*>(frames.last()->layout())->addStretch();  // lines at the top
    }
    QGroupBox* controls = frames.last();

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
    // Getting started across the top; the commands beside pictures and
    // encryption; data and passwords below.
    grid->addWidget(frames[0], 0, 0, 1, 2);
    grid->addWidget(frames[1], 1, 0, 2, 1);
    grid->addWidget(frames[2], 1, 1);
    grid->addWidget(frames[3], 2, 1);
    grid->addWidget(frames[4], 3, 0, 1, 2);
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
    const int height = qMin(grid->totalHeightForWidth(kHelpWidth) + 2, kHelpMaxHeight);
    resize(kHelpWidth, height);
}

void HelpFrm::Open()
{
    ShowOverMainWindow(this);
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
