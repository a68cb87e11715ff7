// Printing the server list and the help page to PDF files, read back with
// pdftotext.

#include "operations/print_list.h"
#include "session/ftp_component.h"
#include "support/window_helpers.h"
#include "support/ftp_server_fixture.h"

#include <QAbstractItemView>
#include <QAction>
#include <QPrinter>
#include <QPushButton>
#include <QTest>


namespace {

class Printing : public ::testing::Test {
protected:
    QString pdf() const { return rig.appFolder.filePath("out.pdf"); }
    WindowRig rig;
};

TEST_F(Printing, TheServerListPrintsUnderItsHeadingInListOrder)
{
    quillmar::test::FtpServerFixture server;
    ASSERT_TRUE(server.running()) << server.error().toStdString();
    QDir(server.root()).mkdir("images");
    WriteFile(server.root() + "/photo.jpg", "jpg");
    WriteFile(server.root() + "/about.txt", "text");
    const QString address = QStringLiteral("127.0.0.1:%1").arg(server.port());
    rig.presetStore({{"URL", address}, {"User", "demo"}, {"Pass", "demo"}});
    rig.services.printer = PdfPrinter(pdf());
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
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
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
