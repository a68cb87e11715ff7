// Printing the server list and the help page to PDF files, read back with
// pdftotext.

#include "shell/print_list.h"
#include "session/ftp_component.h"
#include "support/window_helpers.h"
#include "support/ftp_server_fixture.h"

#include <QFileDialog>
#include <QPrinterInfo>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

namespace {

// A line of the PDF as pdftotext lays it out, cut into its cells.
QStringList Cells(const QString& line)
{
    static const QRegularExpression gap("\\s{2,}");
    return line.split(gap, Qt::SkipEmptyParts);
}

const QStringList kTableHeading{"Name", "Size", "Date"};

class Printing : public ::testing::Test {
protected:
    QString pdf() const { return rig.appFolder.filePath("out.pdf"); }
    WindowRig rig;
};

// Both print commands let the person choose the printer first; cancelling
// prints nothing and says nothing.
TEST_F(Printing, TheServerListAndTheHelpPagePrintAfterThePrinterIsChosen)
{
    quillmar::test::FtpServerFixture server;
    ASSERT_TRUE(server.running()) << server.error().toStdString();
    QDir(server.root()).mkdir("images");
    WriteFile(server.root() + "/photo.jpg", "jpg");
    WriteFile(server.root() + "/about.txt", QByteArray(1500, 'x'));
    const QString address = QStringLiteral("127.0.0.1:%1").arg(server.port());
    rig.presetStore({{"URL", address}, {"User", "demo"}, {"Pass", "demo"}, {"Description", "Demo"}});
    int chosen = 0;
    bool choose = true;
    rig.services.printer = [] { return std::make_unique<QPrinter>(QPrinter::HighResolution); };
    rig.services.choosePrinter = [&](QPrinter& printer, QWidget* parent) {
        ++chosen;
        EXPECT_NE(parent, nullptr) << "the dialog belongs to a window";
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf());
        return choose;
    };
    rig.open().Connect();
    ASSERT_EQ(rig.form->ftp().State(), 1);
    rig.form->Toolbar1_ButtonClick("Print");
    EXPECT_EQ(rig.panel(1), "Status: File list printed (1 page).");
    const QStringList printed = PdfLines(pdf());
    ASSERT_EQ(printed.size(), 7) << printed.join('\n').toStdString();
    EXPECT_EQ(printed.mid(0, 2), (QStringList{"Site: Demo (" + address + ")", "Server folder: /"}));
    // The server sends machine listings: each date is the file's own, in UTC.
    const auto changed = [&](const QString& name) -> QString {
        return QFileInfo(server.root() + "/" + name).lastModified().toUTC().toString("yyyy-MM-dd HH:mm") + " UTC";
    };
    EXPECT_EQ(Cells(printed[3]), (QStringList{"about.txt", "1.5 KB", changed("about.txt")}));
    EXPECT_EQ(Cells(printed[4]), (QStringList{"images/", changed("images")}));
    EXPECT_EQ(Cells(printed[5]), (QStringList{"photo.jpg", "3 bytes", changed("photo.jpg")}));
    EXPECT_EQ(printed[6], "Quillmar \u2014 Demo \u2014 / \u2014 page 1 of 1");

    rig.find<QAction>("mnuContents")->trigger();
    QTest::mouseClick(rig.find<QPushButton>("PrintBtn"), Qt::LeftButton);
    const QString help = PdfLines(pdf()).join(u' ');   // every section and the contact line
    for (const char* text : {"Getting Started", "Commands and Keys", "Pictures for the Web", "Encryption and Trust",
                             "Your Data and Passwords", "in the system keyring when one is available, otherwise in sites.snd",
                             "Questions or ideas? Write to support@quillmar.example"})
        EXPECT_TRUE(help.contains(QLatin1String(text))) << text;
    EXPECT_EQ(chosen, 2);

    choose = false;
    QFile::remove(pdf());
    rig.form->Toolbar1_ButtonClick("Print");
    QTest::mouseClick(rig.find<QPushButton>("PrintBtn"), Qt::LeftButton);
    EXPECT_EQ(chosen, 4);
    EXPECT_FALSE(QFile::exists(pdf()));
    EXPECT_EQ(rig.panel(1), "Status: Printing cancelled.");
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}

// The real choice on a machine without printers: straight to a PDF file.
TEST_F(Printing, WithNoPrinterInstalledThePersonNamesAPdfFile)
{
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "this machine has printers; the standard print dialog is shown instead";
    // The file dialog keeps its history in the user's settings: a throw-away place.
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", rig.configFolder.path().toUtf8());
    const auto restore =
        qScopeGuard([&] { saved.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", saved); });
    for (const bool accept : {false, true}) {
        SCOPED_TRACE(accept);
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                answer.stop();
                dialog->findChild<QLineEdit*>("fileNameEdit")->setText(rig.appFolder.filePath("chosen"));
                QMetaObject::invokeMethod(dialog, accept ? "accept" : "reject");
            }
        });
        answer.start(10);
        QPrinter printer(QPrinter::HighResolution);
        ASSERT_EQ(quillmar::ChoosePrinterInteractively(printer, nullptr), accept);
        if (!accept)
            continue;
        EXPECT_EQ(printer.outputFileName(), rig.appFolder.filePath("chosen.pdf"));
        EXPECT_EQ(printer.outputFormat(), QPrinter::PdfFormat);
    }
}

// Every row once, in order, under the table's heading on each page; each
// footer counts the pages, on both common paper sizes.
TEST_F(Printing, LongListsGoOnToFurtherPagesWithNothingLost)
{
    quillmar::PrintedList list{"Demo", "127.0.0.1:2121", "/photos", {}};
    for (int i = 0; i < 150; ++i)
        list.rows.append({QStringLiteral("file%1.jpg").arg(i, 3, 10, QLatin1Char('0')),
                          QStringLiteral("%1 KB").arg(i + 1), "Dec 6 12:00"});
    for (const QPageSize::PageSizeId paper : {QPageSize::A4, QPageSize::Letter, QPageSize::A5}) {
        SCOPED_TRACE(QPageSize::name(paper).toStdString());
        std::unique_ptr<QPrinter> printer = PdfPrinter(pdf())();
        printer->setPageSize(QPageSize(paper));
        int pages = 0;
        ASSERT_TRUE(quillmar::PrintServerList(printer.get(), list, &pages));
        ASSERT_GE(pages, 2);
        QList<QStringList> rows;
        QStringList footers;
        int headings = 0;
        for (const QString& line : PdfLines(pdf())) {
            const QStringList cells = Cells(line);
            if (line.startsWith("Quillmar \u2014"))
                footers << line;
            else if (cells == kTableHeading)
                ++headings;
            else if (cells.size() == 3)
                rows << cells;
        }
        ASSERT_EQ(rows.size(), list.rows.size());
        for (int i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i], (QStringList{list.rows[i].name, list.rows[i].size, list.rows[i].date}));
        EXPECT_EQ(headings, pages);
        QStringList expected;
        for (int page = 1; page <= pages; ++page)
            expected << quillmar::PrintFooter("Demo", "/photos", page, pages);
        EXPECT_EQ(footers, expected);
    }
    EXPECT_EQ(quillmar::PrintFooter("Demo", "/photos", 2, 3), "Quillmar \u2014 Demo \u2014 /photos \u2014 page 2 of 3");
}

// Every printer a person might be left with when printing cannot work: both
// print commands say so and their windows stay.
TEST(PrintingFails, BothCommandsSaySoAndTheWindowsStay)
{
    QTemporaryDir scratch;
    const std::pair<const char*, std::function<std::unique_ptr<QPrinter>()>> printers[] = {
        {"no printer", [] { return std::unique_ptr<QPrinter>(); }},
        {"no printer service", nullptr},
        {"a printer the system does not know",
         [] {
             auto printer = std::make_unique<QPrinter>();
             printer->setOutputFormat(QPrinter::NativeFormat);
             printer->setPrinterName("no-such-printer-here");
             return printer;
         }},
        {"a job that cannot be written", PdfPrinter(scratch.filePath("no/such/folder/out.pdf"))},
    };
    const QString problem = "There was a problem printing to your printer.";
    for (const auto& [what, printer] : printers) {
        SCOPED_TRACE(what);
        WindowRig rig;
        rig.services.printer = printer;
        rig.open();
        rig.find<QAction>("mnuPrintRemote")->trigger();
        rig.find<QAction>("mnuContents")->trigger();
        QTest::mouseClick(rig.find<QPushButton>("PrintBtn"), Qt::LeftButton);
        EXPECT_EQ(rig.dialogs.messageTexts(), QStringList(2, problem));
        EXPECT_EQ(rig.dialogs.calls().value(0).icon, quillmar::Dialogs::Icon::Information);
        EXPECT_TRUE(rig.form->isVisible());
        EXPECT_TRUE(rig.find<QWidget>("HelpFrm")->isVisible());
    }
}

}  // namespace
