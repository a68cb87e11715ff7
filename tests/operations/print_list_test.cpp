// Printing the server list and the help page to PDF files, read back with
// pdftotext.

#include "operations/print_list.h"
#include "session/ftp_component.h"
#include "support/window_helpers.h"
#include "support/ftp_server_fixture.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTimer>
#include <QPushButton>
#include <QTest>


namespace {

class Printing : public ::testing::Test {
protected:
    QString pdf() const { return rig.appFolder.filePath("out.pdf"); }
    WindowRig rig;
};

// Both print commands let the person choose the printer first; cancelling
// prints nothing and says nothing.
TEST_F(Printing, TheServerListPrintsUnderItsHeadingAfterThePrinterIsChosen)
{
    quillmar::test::FtpServerFixture server;
    ASSERT_TRUE(server.running()) << server.error().toStdString();
    QDir(server.root()).mkdir("images");
    WriteFile(server.root() + "/photo.jpg", "jpg");
    WriteFile(server.root() + "/about.txt", "text");
    const QString address = QStringLiteral("127.0.0.1:%1").arg(server.port());
    rig.presetStore({{"URL", address}, {"User", "demo"}, {"Pass", "demo"}});
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
    rig.open();
    rig.find<QAction>("mnuPrintRemote")->trigger();  // an empty list: the heading alone
    EXPECT_EQ(PdfLines(pdf()), QStringList{"Remote file listing for " + address});

    rig.form->Connect();
    ASSERT_EQ(rig.form->ftp().State(), 1);
    const QStringList shown = RowTexts(rig.find<QAbstractItemView>("ListView1"));
    ASSERT_EQ(shown.size(), 3);
    ASSERT_TRUE(shown.contains("images/"));
    rig.form->Toolbar1_ButtonClick("Print");
    EXPECT_EQ(PdfLines(pdf()), QStringList{"Remote file listing for " + address} + shown);
    rig.find<QAction>("mnuContents")->trigger();
    QTest::mouseClick(rig.find<QPushButton>("PrintBtn"), Qt::LeftButton);
    EXPECT_EQ(PdfLines(pdf()).value(0), "Release Notes");
    EXPECT_EQ(chosen, 3);

    choose = false;
    QFile::remove(pdf());
    rig.form->Toolbar1_ButtonClick("Print");
    QTest::mouseClick(rig.find<QPushButton>("PrintBtn"), Qt::LeftButton);
    EXPECT_EQ(chosen, 5);
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
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", rig.configFolder.path().toUtf8());
    struct Restore {
        QByteArray value;
        ~Restore() { value.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", value); }
    } restore{savedConfig};
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
        ASSERT_TRUE(quillmar::PrintTextLines(&printer, {"heading", "row"}));
        EXPECT_EQ(PdfLines(rig.appFolder.filePath("chosen.pdf")), (QStringList{"heading", "row"}));
    }
}

TEST_F(Printing, LongListsGoOnToFurtherPagesWithNothingLost)
{
    QStringList rows;
    for (int i = 0; i < 150; ++i)
        rows << QStringLiteral("file%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
    std::unique_ptr<QPrinter> printer = PdfPrinter(pdf())();
    ASSERT_TRUE(quillmar::PrintTextLines(printer.get(), quillmar::RemoteListLines("h", rows)));
    QStringList printed = PdfLines(pdf());
    EXPECT_GE(printed.removeAll("\f"), 1) << "more than one page";
    EXPECT_EQ(printed, QStringList{"Remote file listing for h"} + rows);
}

TEST_F(Printing, TheHelpPagePrintsEverySectionAndTheContactLine)
{
    rig.services.printer = PdfPrinter(pdf());
    rig.open();
    rig.find<QAction>("mnuContents")->trigger();
    QTest::mouseClick(rig.find<QPushButton>("PrintBtn"), Qt::LeftButton);
    const QString printed = PdfLines(pdf()).join(u' ');
    for (const char* text : {"Release Notes", "Site Manager", "Assorted Features", "Controls",
                             "Questions or ideas? Write to support@quillmar.example"})
        EXPECT_TRUE(printed.contains(QLatin1String(text))) << text;
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
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
