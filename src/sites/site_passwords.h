#pragma once

#include "shell/password_store.h"
#include "sites/site_store.h"

#include <QHash>

#include <QString>
#include <QStringList>

#include <optional>

class QSettings;

namespace quillmar {

// A site's keyring entry: one per login and server address.
QString PasswordKey(const QString& login, const QString& address);

// Whether a line of entries other than the one at except keeps its password
// under key, so that entry must stay in the keyring.
bool PasswordKeyInUse(const QStringList& entries, const QString& key, int except = -1);

// Where site passwords live: in the system keyring when one answers and the
// person has not said no ("Security/Keyring" = false), otherwise in the
// password fields of sites.snd and "StartUp/Pass", as always. An entry
// whose field is empty takes its password from the keyring.
class SitePasswords {
public:
    SitePasswords(PasswordStore& keyring, QSettings& settings);

    // Asked once per run; a keyring without a session bus fails at once.
    bool keyringAnswers();
    // The person's decision; empty until they made one. Set it once the
    // passwords have moved.
    std::optional<bool> choice() const;
    void setChoice(bool inKeyring);

    // Whether a keyring that fails now may be holding passwords: it answered
    // earlier in this run, or passwords were moved into one before. Without
    // either, an empty password field means what it always meant.
    bool keyringExpected();

    // The one answer to "are passwords kept in the keyring?". Everything that
    // writes or checks a password field asks here.
    bool keptInKeyring();

    // Keeps a site's password and returns what its password field gets:
    // empty when the keyring took it, the password itself when passwords
    // stay in the files. A keyring that refuses leaves the password in the
    // field and says why in *problem.
    QString keep(const QString& login, const QString& address, const QString& password, QString* problem);

    // The site's entry for sites.snd with its password kept as keep() does;
    // empty without a server address.
    std::optional<QString> entryFor(SiteFields site, QString* problem);

    // The keyring's password for a site whose field is empty.
    PasswordStore::Answer find(const QString& login, const QString& address);

    // Copies a site's keyring password to its new login and address.
    bool copy(const QString& fromLogin, const QString& fromAddress, const QString& toLogin, const QString& toAddress,
              QString* problem);

    // Removes a site's keyring entry; false with *problem when the keyring refused.
    bool forget(const QString& login, const QString& address, QString* problem);

    PasswordStore& keyring() { return keyring_; }

private:
    PasswordStore& keyring_;
    QSettings& settings_;
    std::optional<bool> answers_;
    QHash<QString, QString> known_;  // what the keyring holds, as far as this run has seen
};

// Whether sites.snd or "StartUp/Pass" holds a password in plain text.
bool HasPlainPasswords(const QString& appFolder, QSettings& settings);

// Moves every password of sites.snd and "StartUp/Pass" into the keyring.
// The files are rewritten (atomically) only after every password was stored
// and read back unchanged; otherwise they stay as they were, the result is
// false and *problem says which password and why.
bool MovePasswordsIntoKeyring(const QString& appFolder, QSettings& settings, PasswordStore& keyring,
                              QString* problem);

// The way back: every keyring password of sites.snd and "StartUp/Pass" is
// written into its field, then removed from the keyring. A password the
// file cannot hold (";" or a line break) or a keyring that does not answer
// leaves everything as it was.
bool MovePasswordsOutOfKeyring(const QString& appFolder, QSettings& settings, PasswordStore& keyring,
                               QString* problem);

}  // namespace quillmar
