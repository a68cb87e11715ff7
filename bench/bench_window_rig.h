#pragma once
// The real main window over throw-away folders and a settings file, for the
// benchmark programs. No box ever waits for a person: every message answers
// OK, every input box is cancelled.

#include "shell/form1.h"
#include "shell/services.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace quillmar::bench {

class SilentDialogs : public Dialogs {
public:
    int message(const QString& text, Buttons, Icon, const QString&) override
    {
        ++messages;
        lastMessage = text;
        std::fprintf(stderr, "message box: %s\n", qUtf8Printable(text));
        return 1;
    }
    QString input(const QString&, const QString&, const QString&) override { return {}; }
    ConfirmChoice confirm(const QString&) override { return ConfirmChoice::Closed; }

    int messages = 0;
    QString lastMessage;
};

// Owns the temporary application folder, local folder (the process's current
// folder, where the local pane starts) and settings file.
struct WindowBench {
    QTemporaryDir appFolder;
    QTemporaryDir localFolder;
    std::unique_ptr<QSettings> store;
    SilentDialogs dialogs;
    Services services;
    std::unique_ptr<Form1> form;

    WindowBench()
    {
        QDir::setCurrent(localFolder.path());
        store = std::make_unique<QSettings>(appFolder.filePath(QStringLiteral("Quillmar.conf")), QSettings::IniFormat);
        services.appFolder = appFolder.path();
        services.settings = store.get();
        services.dialogs = &dialogs;
        services.printer = [] { return std::unique_ptr<QPrinter>(); };
        services.openUrl = [](const QUrl&) { return false; };
    }

    ~WindowBench() { form.reset(); }

    // The StartUp keys the window reads at Form_Load.
    void presetConnection(const QString& url, const QString& user, const QString& pass)
    {
        store->beginGroup(QStringLiteral("StartUp"));
        store->setValue(QStringLiteral("URL"), url);
        store->setValue(QStringLiteral("User"), user);
        store->setValue(QStringLiteral("Pass"), pass);
        store->setValue(QStringLiteral("Description"), QStringLiteral("bench"));
        store->endGroup();
        store->sync();
    }

    Form1& open()
    {
        form = std::make_unique<Form1>(services);
        form->Form_Load();
        return *form;
    }
};

// Resident memory of this process in KiB, from /proc/self/status.
inline long ResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

}  // namespace quillmar::bench
