#pragma once

#include "shell/form1.h"
#include "shell/services.h"
#include "support/scripted_dialogs.h"

#include <QDir>
#include <QPrinter>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

// "127.0.0.1:port", the address of a server a test started.
inline QString Loopback(int port) { return QStringLiteral("127.0.0.1:%1").arg(port); }

// A real main window over temporary folders: the application folder, the
// settings file and a local folder the local pane starts in.
struct WindowRig {
    QTemporaryDir appFolder;
    QTemporaryDir localFolder;
    QTemporaryDir configFolder;
    QString savedCwd = QDir::currentPath();
    std::unique_ptr<QSettings> store;
    ScriptedDialogs dialogs;
    quillmar::Services services;
    std::unique_ptr<quillmar::Form1> form;

    WindowRig();
    ~WindowRig();

    QString settingsFile() const { return configFolder.filePath(QStringLiteral("Quillmar.conf")); }
    // Writes StartUp keys before the window reads them.
    void presetStore(const QMap<QString, QString>& values);
    // Writes the site the window starts with: address, login and, when given, its description.
    void presetSite(const QString& url, const QString& description = QString(),
                    const QString& user = QStringLiteral("demo"), const QString& pass = QStringLiteral("demo"));
    // The site at Loopback(port), the window opened and connected to it.
    quillmar::Form1& openConnectedTo(int port, const QString& description = QString());
    // Builds the window and runs its start-up.
    quillmar::Form1& open();
    // Closes the window (the shutdown save) and drops it.
    void close();
    // Reads the store as a fresh process would.
    QString storedValue(const QString& key) const;

    template <typename T>
    T* find(const char* name) const
    {
        return form->findChild<T*>(QLatin1String(name));
    }
    QString panel(int number) const;
    // The light shown: "red", "green", "grey", or "none" (a fault).
    QString light() const;
};
