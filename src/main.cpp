#include "shell/print_list.h"
#include "shell/app_folder.h"
#include "shell/constants.h"
#include "app/form1.h"
#include "shell/message_dialogs.h"
#include "app/system_keyring.h"
#include "sites/site_passwords.h"
#include "sites/site_store.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDesktopServices>
#include <QPrinter>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>

namespace {

// "--add-site description;address;login;password": the site goes into the
// site list once, where the program itself keeps it, its password where
// passwords are kept; nothing is shown.
int AddSite(const QString& appFolder, QSettings& settings, const QString& fields)
{
    const std::unique_ptr<quillmar::PasswordStore> keyring = quillmar::MakeSystemKeyring();
    quillmar::SitePasswords passwords(*keyring, settings);
    QString error;
    const std::optional<quillmar::SiteFields> site = quillmar::SiteFromText(fields, &error);
    QString problem;
    const std::optional<QString> entry = site ? passwords.entryFor(*site, &problem) : std::nullopt;
    if (!problem.isEmpty())
        std::fprintf(stderr, "%s\n", qUtf8Printable(problem));
    if (entry && quillmar::AddSiteEntry(appFolder, *entry, &error))
        return 0;
    if (error.isEmpty())
        error = QStringLiteral("its fields cannot be stored");
    std::fprintf(stderr, "The site was not added: %s\n", qUtf8Printable(error));
    return 1;
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(quillmar::kAppTitle);
    QCoreApplication::setApplicationName(quillmar::kAppTitle);

    QCommandLineParser options;
    options.addHelpOption();
    const QCommandLineOption addSite(QStringLiteral("add-site"),
                                     QStringLiteral("Adds a site to the site list once, then quits."),
                                     QStringLiteral("description;address;login;password"));
    options.addOption(addSite);
    options.process(app);

    const QString userData =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quillmar");
    QSettings settings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/Quillmar/Quillmar.conf"),
                       QSettings::IniFormat);
    quillmar::MessageDialogs dialogs;

    quillmar::Services services;
    services.appFolder = quillmar::ResolveAppFolder(QCoreApplication::applicationDirPath(), userData);
    if (options.isSet(addSite))
        return AddSite(services.appFolder, settings, options.value(addSite));
    services.settings = &settings;
    services.dialogs = &dialogs;
    services.printer = [] { return std::make_unique<QPrinter>(QPrinter::HighResolution); };
    services.choosePrinter = quillmar::ChoosePrinterInteractively;
    services.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    quillmar::Form1 window(services);
    dialogs.setParent(&window);
    window.Form_Load();
    return app.exec();
}
