// The about window, the uninstall note and the mail link.

#include "info/about.h"
#include "info/help.h"
#include "support/window_helpers.h"

#include <QKeySequence>
#include <QMap>
#include <QUrl>

namespace {

TEST(InfoWindows, AboutHelpAndUninstallNote)
{
    WindowRig rig;
    rig.presetStore({{"URL", "shop.example"}});
    QList<QUrl> opened;
    rig.services.openUrl = [&opened](const QUrl& url) {
        opened << url;
        return false;  // no mail program: nothing is said
    };
    rig.open();
    for (int i = 0; i < 2; ++i)
        rig.find<QAction>("mnuAbout")->trigger();
    ASSERT_EQ(rig.form->findChildren<quillmar::frmAbout*>().size(), 1) << "asked again while open: the same window";
    EXPECT_TRUE(rig.find<QWidget>("frmAbout")->isVisible());

    // The contact address in the about and the help window opens a mail.
    rig.find<QAction>("mnuContents")->trigger();
    for (const char* window : {"frmAbout", "HelpFrm"}) {
        auto* label = rig.find<QWidget>(window)->findChild<QLabel*>("Label12");
        ASSERT_NE(label, nullptr) << window;
        QTest::mouseClick(label, Qt::LeftButton);
    }
    EXPECT_EQ(opened, (QList<QUrl>(2, QUrl("mailto:support@quillmar.example"))));
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());

    // Help names every key the window answers to, and only those: a key
    // added, changed or dropped in the window shows here.
    QMap<QString, QStringList> windowKeys;  // command -> its keys, as the window has them
    for (const QAction* action : rig.form->findChildren<QAction*>()) {
        if (!action->shortcut().isEmpty())
            windowKeys[action->text().remove(u'&')] << action->shortcut().toString();
    }
    QMap<QString, QStringList> helpKeys;
    for (const quillmar::HelpCommand& command : quillmar::HelpCommands()) {
        const QKeySequence key(command.key);
        if (!command.key.isEmpty() && key.count() == 1 && key[0].key() != Qt::Key_unknown)
            helpKeys[command.command] << key.toString();
    }
    EXPECT_EQ(helpKeys, windowKeys);
    EXPECT_GE(helpKeys.size(), 8);

    // Each command shows in the window with its key.
    rig.find<QAction>("mnuContents")->trigger();
    QStringList shown;
    for (const QLabel* label : rig.find<QWidget>("HelpFrm")->findChildren<QLabel*>())
        shown << label->text();
    for (const char* line : {"Rename (Commands menu) \u2014 F2", "Copy Web Address (Commands menu) \u2014 Ctrl+Shift+C",
                             "Upload (Commands menu, Upload button) \u2014 Enter or double-click on the row"})
        EXPECT_TRUE(shown.contains(QString::fromUtf8(line))) << line;

    // The uninstall note is one message and changes nothing.
    const QString status = rig.panel(1);
    rig.find<QAction>("mnuUninstall")->trigger();
    EXPECT_EQ(rig.dialogs.messageTexts(), QStringList{quillmar::UninstallNoteText(QCoreApplication::applicationDirPath())});
    EXPECT_EQ(rig.panel(1), status);
    EXPECT_EQ(rig.form->connectionSettings().URL, "shop.example");

    // The note tells how this copy is removed, by where it runs from.
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin", "sudo apt remove quillmar"},
        {"/usr/local/bin", "sudo xargs rm < install_manifest.txt"},
        {"/home/ann/quillmar-2.3", "delete the folder it was unpacked in:\n/home/ann/quillmar-2.3"},
        {"/home/ann/quillmar-2.3/", "unpacked in:\n/home/ann/quillmar-2.3"},
    };
    for (const auto& [folder, says] : cases) {
        const QString text = quillmar::UninstallNoteText(QLatin1String(folder));
        EXPECT_TRUE(text.contains(QLatin1String(says))) << text.toStdString();
    }
}

}  // namespace
