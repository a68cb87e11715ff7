#include "support/window_rig.h"

#include <QLabel>

WindowRig::WindowRig()
{
    QDir::setCurrent(localFolder.path());
    store = std::make_unique<QSettings>(settingsFile(), QSettings::IniFormat);
    services.appFolder = appFolder.path();
    services.settings = store.get();
    services.dialogs = &dialogs;
    services.printer = [] { return std::unique_ptr<QPrinter>(); };
    services.openUrl = [](const QUrl&) { return false; };
}

WindowRig::~WindowRig()
{
    form.reset();
    QDir::setCurrent(savedCwd);
}

void WindowRig::presetStore(const QMap<QString, QString>& values)
{
    store->beginGroup(QStringLiteral("StartUp"));
    for (auto it = values.begin(); it != values.end(); ++it)
        store->setValue(it.key(), it.value());
    store->endGroup();
    store->sync();
}

void WindowRig::presetSite(const QString& url, const QString& description, const QString& user, const QString& pass)
{
    QMap<QString, QString> site{{QStringLiteral("URL"), url}, {QStringLiteral("User"), user}, {QStringLiteral("Pass"), pass}};
    if (!description.isEmpty())
        site.insert(QStringLiteral("Description"), description);
    presetStore(site);
}

quillmar::Form1& WindowRig::openConnectedTo(int port, const QString& description)
{
    presetSite(Loopback(port), description);
    open().Connect();
    return *form;
}

quillmar::Form1& WindowRig::open()
{
    form = std::make_unique<quillmar::Form1>(services);
    form->Form_Load();
    return *form;
}

void WindowRig::close()
{
    form->close();
    form.reset();
}

QString WindowRig::storedValue(const QString& key) const
{
    QSettings fresh(settingsFile(), QSettings::IniFormat);
    return fresh.value(QStringLiteral("StartUp/") + key, QStringLiteral("<absent>")).toString();
}

QString WindowRig::panel(int number) const
{
    auto* label = form->findChild<QLabel*>(QStringLiteral("Panel%1").arg(number));
    return label ? label->text() : QStringLiteral("<no panel>");
}

QString WindowRig::light() const
{
    QStringList shown;
    for (const char* name : {"RedBall", "GreenBall", "GreyBall"}) {
        auto* light = find<QWidget>(name);
        if (light && !light->isHidden())
            shown << QString::fromLatin1(name).chopped(4).toLower();
    }
    return shown.size() == 1 ? shown.first() : QStringLiteral("none");
}
