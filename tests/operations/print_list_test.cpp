// Printing the server list and the help page to PDF files, read back with
// pdftotext.

#include "info/help.h"
#include "operations/print_list.h"
#include "pictures/server_list_view.h"
#include "session/ftp_component.h"
#include "shell/window_rig.h"
#include "sites/ui_kit.h"
#include "support/ftp_server_fixture.h"
#include "support/qt_printers.h"

#include <QAbstractItemView>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

#include <gtest/gtest.h>

using quillmar::Dialogs;
using quillmar::test::FtpServerFixture;
using uikit::PdfLines;
using uikit::PdfPrinter;

namespace {

const QString kProblem = QStringLiteral("There was a problem printing to your printer.");

class Printing : public ::testing::Test {
protected:
    QString pdf() const { return rig.appFolder.filePath(QStringLiteral("out.pdf")); }
    WindowRig rig;
};

TEST_F(Printing, TheServerListPrintsUnderItsHeadingInListOrder)
{
    FtpServerFixture server;
    ASSERT_TRUE(server.running()) << server.error().toStdString();
    QDir(server.root()).mkdir(QStringLiteral("images"));
    uikit::WriteFile(server.root() + QStringLiteral("/photo.jpg"), "jpg");
    uikit::WriteFile(server.root() + QStringLiteral("/about.txt"), "text");
    const QString address = QStringLiteral("127.0.0.1:%1").arg(server.port());
    rig.presetStore({{"URL", address}, {"User", "demo"}, {"Pass", "demo"}, {"Description", "Local"}});
    rig.services.printer = PdfPrinter(pdf());
    rig.open();
    rig.form->Connect();
    ASSERT_EQ(rig.form->ftp().State(), 1);
    const QStringList shown = uikit::RowTexts(rig.find<QAbstractItemView>("ListView1"));
    ASSERT_EQ(shown.size(), 3);
    ASSERT_TRUE(shown.contains(QStringLiteral("images/")));

    rig.form->Toolbar1_ButtonClick(QStringLiteral("Print"));
    EXPECT_EQ(PdfLines(pdf()), QStringList{QStringLiteral("Remote file listing for ") + address} + shown);
    EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Printing File List."));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}

TEST_F(Printing, AnEmptyListPrintsTheHeadingAlone)
{
    rig.presetStore({{"URL", "shop.example"}});
    rig.services.printer = PdfPrinter(pdf());
    rig.open();
    rig.find<QAction>("mnuPrintRemote")->trigger();
    EXPECT_EQ(PdfLines(pdf()), QStringList{QStringLiteral("Remote file listing for shop.example")});
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}

TEST_F(Printing, LongListsGoOnToFurtherPagesWithNothingLost)
{
    QStringList rows;
    for (int i = 0; i < 150; ++i)
        rows << QStringLiteral("file%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
    std::unique_ptr<QPrinter> printer = PdfPrinter(pdf())();
    ASSERT_TRUE(quillmar::PrintTextLines(printer.get(), quillmar::RemoteListLines(QStringLiteral("h"), rows)));
    QStringList printed = PdfLines(pdf());
    EXPECT_GE(printed.count(QStringLiteral("\f")), 1) << "more than one page";
    printed.removeAll(QStringLiteral("\f"));
    EXPECT_EQ(printed, QStringList{QStringLiteral("Remote file listing for h")} + rows);
}

// Each printer a person might be left with when printing cannot work.
std::vector<std::pair<const char*, std::function<std::unique_ptr<QPrinter>()>>> BrokenPrinters(const QString& folder)
{
    return {
        {"no printer", [] { return std::unique_ptr<QPrinter>(); }},
        {"no printer service", nullptr},
        {"a printer the system does not know",
         [] {
             auto printer = std::make_unique<QPrinter>();
             printer->setOutputFormat(QPrinter::NativeFormat);
             printer->setPrinterName(QStringLiteral("no-such-printer-here"));
             return printer;
         }},
        {"a job that cannot be written", PdfPrinter(folder + QStringLiteral("/no/such/folder/out.pdf"))},
    };
}

TEST(PrintingFails, TheServerListSaysSoAndTheWindowStays)
{
    QTemporaryDir scratch;
    for (const auto& [what, printer] : BrokenPrinters(scratch.path())) {
        SCOPED_TRACE(what);
        WindowRig rig;
        rig.services.printer = printer;
        rig.open();
        rig.find<QAction>("mnuPrintRemote")->trigger();
        ASSERT_EQ(rig.dialogs.calls().size(), 1);
        const ScriptedDialogs::Call& call = rig.dialogs.calls().last();
        EXPECT_EQ(call.text, kProblem);
        EXPECT_EQ(call.buttons, Dialogs::Buttons::Ok);
        EXPECT_EQ(call.icon, Dialogs::Icon::Information);
        EXPECT_EQ(call.title, QStringLiteral("Quillmar"));
        EXPECT_TRUE(rig.form->isVisible());
        EXPECT_EQ(rig.panel(1), QStringLiteral("Status: Printing File List."));
    }
}

TEST(PrintingFails, TheHelpPageSaysSoAndTheHelpWindowStays)
{
    QTemporaryDir scratch;
    for (const auto& [what, printer] : BrokenPrinters(scratch.path())) {
        SCOPED_TRACE(what);
        WindowRig rig;
        rig.services.printer = printer;
        rig.open();
        rig.find<QAction>("mnuContents")->trigger();
        auto* help = rig.find<QWidget>("HelpFrm");
        ASSERT_NE(help, nullptr);
        QTest::mouseClick(rig.find<QPushButton>("PrintBtn"), Qt::LeftButton);
        EXPECT_EQ(rig.dialogs.messageTexts(), QStringList{kProblem});
        EXPECT_TRUE(help->isVisible());
    }
}

TEST_F(Printing, TheHelpPagePrintsItsSections)
{
    rig.services.printer = PdfPrinter(pdf());
    rig.open();
    rig.form->Toolbar1_ButtonClick(QStringLiteral("Help"));
    QTest::mouseClick(rig.find<QPushButton>("PrintBtn"), Qt::LeftButton);
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
    const QString text = PdfLines(pdf()).join(u' ').simplified();
    for (const char* expected : {"Release Notes", "Site Manager", "Assorted Features", "Controls",
                                 "Create New Connection:", "Use Existing Connection:"})
        EXPECT_TRUE(text.contains(QLatin1String(expected))) << expected << " in " << text.toStdString();
    EXPECT_FALSE(text.contains(u'\f')) << "one page";
}

}  // namespace
