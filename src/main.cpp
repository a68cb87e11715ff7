#include "shell/app_folder.h"
#include "shell/constants.h"
#include "shell/form1.h"
#include "shell/message_dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QPrinter>
#include <QSettings>
#include <QStandardPaths>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(quillmar::kAppTitle);
    QCoreApplication::setApplicationName(quillmar::kAppTitle);

    const QString userData =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quillmar");
    QSettings settings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/Quillmar/Quillmar.conf"),
                       QSettings::IniFormat);
    quillmar::MessageDialogs dialogs;

    quillmar::Services services;
    services.appFolder = quillmar::ResolveAppFolder(QCoreApplication::applicationDirPath(), userData);
    services.settings = &settings;
    services.dialogs = &dialogs;
    services.printer = [] { return std::make_unique<QPrinter>(QPrinter::HighResolution); };
    services.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    quillmar::Form1 window(services);
    dialogs.setParent(&window);
    window.Form_Load();
    return app.exec();
}
