#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace quillmar::test {

// A private session bus with a real Secret Service (gnome-keyring, unlocked
// with a throw-away password) on it, in throw-away folders, and this
// process's DBUS_SESSION_BUS_ADDRESS pointing at it. A process talks to the
// first session bus it uses for good, so make one before any keyring call
// and keep it to the end.
class SessionKeyring {
public:
    SessionKeyring();
    ~SessionKeyring();
    SessionKeyring(const SessionKeyring&) = delete;
    SessionKeyring& operator=(const SessionKeyring&) = delete;

    bool running() const { return error_.isEmpty(); }
    QString error() const { return error_; }  // why it did not start

    // The Quillmar password stored under key, as secret-tool finds it.
    std::optional<QString> lookup(const QString& key) const;
    // How many Quillmar entries the keyring holds.
    int entryCount() const;
    // Removes every Quillmar entry.
    void clear() const;
    // Ends the keyring daemon; the bus stays, so every keyring call fails.
    void stopKeyring();

private:
    // What secret-tool printed; with errorText what it complained of instead.
    QString secretTool(const QStringList& arguments, bool* ok = nullptr, bool errorText = false) const;
    bool startBus();
    bool startKeyring();

    QTemporaryDir home_;
    QString address_;
    qint64 busPid_ = 0;
    QProcess keyring_;
    QString error_;
};

}  // namespace quillmar::test
