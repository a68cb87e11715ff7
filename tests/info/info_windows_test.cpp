// The about and help windows, the uninstall note and the mail link.

#include "info/about.h"
#include "info/help.h"
#include "shell/window_rig.h"
#include "support/qt_printers.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

using quillmar::Dialogs;

namespace {

QString LabelText(const QWidget* window, const char* name)
{
    auto* label = window->findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

// Every text a window shows, for looking through the wording.
QStringList ShownTexts(const QWidget* window)
{
    QStringList texts;
    for (const QLabel* label : window->findChildren<QLabel*>())
        texts << label->text();
    for (const QGroupBox* frame : window->findChildren<QGroupBox*>())
        texts << frame->title();
    return texts;
}

TEST(About, CaptionTitleVersionAndOneWindow)
{
    WindowRig rig;
    rig.open();
    rig.find<QAction>("mnuAbout")->trigger();
    rig.find<QAction>("mnuAbout")->trigger();
    const QList<quillmar::frmAbout*> windows = rig.form->findChildren<quillmar::frmAbout*>();
    ASSERT_EQ(windows.size(), 1);
    quillmar::frmAbout* about = windows.first();
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(about->isModal());
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About Quillmar"));
    EXPECT_EQ(LabelText(about, "lblTitle"), QStringLiteral("Quillmar"));
    EXPECT_EQ(LabelText(about, "lblVersion"), QStringLiteral("Version 2.3.12"));
    EXPECT_TRUE(LabelText(about, "lblDescription").startsWith(QStringLiteral("Quillmar remains to be")));
    EXPECT_FALSE(about->findChild<QLabel*>(QStringLiteral("picIcon"))->pixmap().isNull());

    QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
    EXPECT_FALSE(about->isVisible());
    rig.find<QAction>("mnuAbout")->trigger();
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(rig.form->findChildren<quillmar::frmAbout*>().size(), 1);
}

TEST(Uninstall, TheNoteIsOneMessageAndChangesNothing)
{
    WindowRig rig;
    rig.presetStore({{"URL", "shop.example"}});
    rig.open();
    const QString status = rig.panel(1);
    rig.find<QAction>("mnuUninstall")->trigger();
    ASSERT_EQ(rig.dialogs.calls().size(), 1);
    const ScriptedDialogs::Call& call = rig.dialogs.calls().first();
    EXPECT_EQ(call.text,
              QStringLiteral("To uninstall Quillmar use the Add/Remove programs applet in Windows Control Panel"));
    EXPECT_EQ(call.buttons, Dialogs::Buttons::Ok);
    EXPECT_EQ(call.icon, Dialogs::Icon::None);
    EXPECT_EQ(call.title, QStringLiteral("Quillmar"));
    EXPECT_EQ(rig.panel(1), status);
    EXPECT_EQ(rig.form->connectionSettings().URL, QStringLiteral("shop.example"));
    for (QWidget* child : rig.form->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        EXPECT_FALSE(child->isWindow() && child->isVisible()) << "no window opened: " << child->objectName();
}

TEST(Help, SectionsInOrderWithTheProgramsOwnNames)
{
    WindowRig rig;
    rig.open();
    rig.find<QAction>("mnuContents")->trigger();
    rig.form->Toolbar1_ButtonClick(QStringLiteral("Help"));
    ASSERT_EQ(rig.form->findChildren<quillmar::HelpFrm*>().size(), 1);
    auto* help = rig.form->findChild<quillmar::HelpFrm*>();
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->windowTitle(), QStringLiteral("Quillmar Help"));

    // The three lower frames stand left to right under the release notes.
    QList<QGroupBox*> frames;
    for (const char* caption : {"  Release Notes  ", " Site Manager ", " Assorted Features ", " Controls "}) {
        QGroupBox* found = nullptr;
        for (QGroupBox* frame : help->findChildren<QGroupBox*>())
            if (frame->title() == QLatin1String(caption))
                found = frame;
        ASSERT_NE(found, nullptr) << caption;
        frames << found;
    }
    help->resize(900, 700);
    QApplication::processEvents();
    for (int i = 1; i < 4; ++i)
        EXPECT_GT(frames[i]->y(), frames[0]->y());
    EXPECT_LT(frames[1]->x(), frames[2]->x());
    EXPECT_LT(frames[2]->x(), frames[3]->x());

    const QStringList texts = ShownTexts(help);
    EXPECT_TRUE(texts.contains(QStringLiteral("3.  Now enter the FTP address of the site.  For example: "
                                              "\"ftp.quillmar.example\"")));
    EXPECT_TRUE(texts.contains(QStringLiteral("2.  Alternatively the next time you want to connect you can just "
                                              "click the connect button from the toolbar because Quillmar "
                                              "remembers your last connection!")));
    // Bold where the page says so, regular elsewhere.
    for (QLabel* label : frames[1]->findChildren<QLabel*>()) {
        const bool heading = label->text().endsWith(u':') || label->text().startsWith(QStringLiteral("Note:"));
        EXPECT_EQ(label->font().bold(), heading) << label->text().toStdString();
    }

    const QPixmap page = help->findChild<QLabel*>(QStringLiteral("Picture1"))->pixmap();
    EXPECT_EQ(page.size(), QSize(686, 408));
    const QImage image = page.toImage();
    EXPECT_NE(image.pixelColor(0, 0), QColor()) << "drawn";
    bool inked = false;
    for (int y = 0; y < image.height() && !inked; y += 3)
        for (int x = 0; x < image.width() && !inked; x += 3)
            inked = image.pixelColor(x, y).lightness() < 100;
    EXPECT_TRUE(inked) << "the page picture holds the text";

    QTest::mouseClick(help->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    EXPECT_FALSE(help->isVisible());
}

TEST(ContactLink, BothWindowsOpenAMailToTheContactAddress)
{
    WindowRig rig;
    QList<QUrl> opened;
    rig.services.openUrl = [&opened](const QUrl& url) {
        opened << url;
        return false;  // no mail program: nothing is said
    };
    rig.open();
    rig.find<QAction>("mnuAbout")->trigger();
    rig.find<QAction>("mnuContents")->trigger();
    for (const char* window : {"frmAbout", "HelpFrm"}) {
        auto* label = rig.find<QWidget>(window)->findChild<QLabel*>(QStringLiteral("Label12"));
        ASSERT_NE(label, nullptr) << window;
        EXPECT_TRUE(label->text().contains(QStringLiteral("support@quillmar.example")));
        QTest::mouseClick(label, Qt::LeftButton);
    }
    EXPECT_EQ(opened, (QList<QUrl>(2, QUrl(QStringLiteral("mailto:support@quillmar.example")))));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}

}  // namespace
