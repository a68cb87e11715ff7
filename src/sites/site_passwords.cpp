#include "sites/site_passwords.h"

#include "session/settings_keys.h"
#include "sites/site_store.h"

#include <QList>
#include <QSettings>

namespace quillmar {

namespace {

namespace keys = settings_keys;
// Read to learn whether a keyring answers; it is never stored.
const QString kProbeKey = QStringLiteral("keyring check");

QString SiteLabel(const SiteFields& site)
{
    return QStringLiteral("the site \"%1\"").arg(SiteName(site));
}

QString StartUpName() { return QStringLiteral("the last chosen site in the settings"); }

QString StartUpKey(QSettings& settings)
{
    return PasswordKey(keys::User.read(settings).toString(), keys::URL.read(settings).toString());
}

// Whether sites.snd can hold the entry: it reads back as it was written,
// on one line. A ";" or a line break in a field, or blanks around it, do not.
bool StoreHolds(const SiteFields& site)
{
    const std::optional<QString> entry = BuildSiteEntry(site);
    if (!entry)
        return false;
    const QStringList lines = SplitStoredLines(*entry);
    const std::optional<SiteFields> back = lines.size() == 1 ? SplitSiteEntry(lines.first()) : std::nullopt;
    return back && back->description == site.description && back->address == site.address
           && back->login == site.login && back->password == site.password;
}

// A site entry whose password field is to change; the other lines stay as they are.
struct SiteLine {
    qsizetype row = 0;
    SiteFields site;
};

QList<SiteLine> SitesWithAddress(const QStringList& entries)
{
    QList<SiteLine> sites;
    for (qsizetype row = 0; row < entries.size(); ++row) {
        const std::optional<SiteFields> site = SplitSiteEntry(entries[row]);
        if (site && !site->address.isEmpty())
            sites.append({row, *site});
    }
    return sites;
}

bool SetProblem(QString* problem, const QString& text)
{
    if (problem)
        *problem = text;
    return false;
}

bool WriteStartUpPass(QSettings& settings, const QString& password, QString* problem)
{
    keys::Pass.write(settings, password);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    return SetProblem(problem, QStringLiteral("The settings could not be written to %1.").arg(settings.fileName()));
}

// The site as the store gives it back once written without its password
// (a leading "ftp://" dropped, blanks stripped): the key is made from that,
// so the next read of the line finds it.
std::optional<SiteFields> AsStoredWithoutPassword(SiteFields site)
{
    site.password.clear();
    const std::optional<QString> bare = BuildSiteEntry(site);
    return bare ? SplitSiteEntry(*bare) : std::nullopt;
}

}  // namespace

QString PasswordKey(const QString& login, const QString& address) { return login + u'@' + address; }

bool PasswordKeyInUse(const QStringList& entries, const QString& key, int except)
{
    for (qsizetype row = 0; row < entries.size(); ++row) {
        const std::optional<SiteFields> site = row == except ? std::nullopt : SplitSiteEntry(entries[row]);
        if (site && site->password.isEmpty() && PasswordKey(site->login, site->address) == key)
            return true;
    }
    return false;
}

SitePasswords::SitePasswords(PasswordStore& keyring, QSettings& settings) : keyring_(keyring), settings_(settings) {}

bool SitePasswords::keyringAnswers()
{
    if (!answers_)
        answers_ = keyring_.read(kProbeKey).outcome != PasswordStore::Outcome::Failed;
    return *answers_;
}

std::optional<bool> SitePasswords::choice() const
{
    const QVariant value = keys::Keyring.read(settings_);
    if (!value.isValid())
        return std::nullopt;
    return value.toBool();
}

void SitePasswords::setChoice(bool inKeyring)
{
    known_.clear();  // the passwords have just moved one way or the other
    keys::Keyring.write(settings_, inKeyring);
    settings_.sync();
}

bool SitePasswords::keyringExpected() { return choice().value_or(false) || keyringAnswers(); }

bool SitePasswords::keptInKeyring() { return choice().value_or(true) && keyringAnswers(); }

QString SitePasswords::keep(const QString& login, const QString& address, const QString& password, QString* problem)
{
    if (password.isEmpty() || !keptInKeyring())
        return password;
    const QString key = PasswordKey(login, address);
    // Known to be there already: no keyring call, which also lets the
    // shutdown save work after the event loop has ended.
    if (known_.contains(key) && known_.value(key) == password)
        return QString();
    const PasswordStore::Answer answer = keyring_.store(key, password);
    if (answer.outcome == PasswordStore::Outcome::Done) {
        known_.insert(key, password);
        return QString();
    }
    SetProblem(problem, QStringLiteral("The system keyring did not take the password (%1), so it stays in plain "
                                       "text for now.")
                            .arg(answer.problem));
    return password;
}

std::optional<QString> SitePasswords::entryFor(SiteFields site, QString* problem)
{
    const std::optional<SiteFields> stored = AsStoredWithoutPassword(site);
    if (!stored)
        return std::nullopt;
    site.password = keep(stored->login, stored->address, site.password, problem);
    // A password the keyring did not take must fit the file after all.
    const QString unstorable = SiteFieldProblem(site);
    if (!unstorable.isEmpty()) {
        SetProblem(problem, problem && !problem->isEmpty() ? *problem + u' ' + unstorable : unstorable);
        return std::nullopt;
    }
    return BuildSiteEntry(site);
}

PasswordStore::Answer SitePasswords::find(const QString& login, const QString& address)
{
    const QString key = PasswordKey(login, address);
    const PasswordStore::Answer answer = keyring_.read(key);
    if (answer.outcome == PasswordStore::Outcome::Done)
        known_.insert(key, answer.password);
    return answer;
}

bool SitePasswords::copy(const QString& fromLogin, const QString& fromAddress, const QString& toLogin,
                         const QString& toAddress, QString* problem)
{
    const PasswordStore::Answer old = find(fromLogin, fromAddress);
    if (old.outcome == PasswordStore::Outcome::NotFound)
        return true;
    PasswordStore::Answer stored = old;
    if (old.outcome == PasswordStore::Outcome::Done)
        stored = keyring_.store(PasswordKey(toLogin, toAddress), old.password);
    if (stored.outcome == PasswordStore::Outcome::Done)
        known_.insert(PasswordKey(toLogin, toAddress), old.password);
    if (stored.outcome == PasswordStore::Outcome::Done)
        return true;
    return SetProblem(problem, QStringLiteral("The password could not be moved to the new login and address in the "
                                              "system keyring (%1). Type it again and save.")
                                   .arg(stored.problem));
}

bool SitePasswords::forget(const QString& login, const QString& address, QString* problem)
{
    const QString key = PasswordKey(login, address);
    known_.remove(key);
    const PasswordStore::Answer answer = keyring_.remove(key);
    if (answer.outcome == PasswordStore::Outcome::Done)
        return true;
    return SetProblem(problem, QStringLiteral("The password of %1 at %2 could not be removed from the system keyring "
                                              "(%3).")
                                   .arg(login, address, answer.problem));
}

bool HasPlainPasswords(const QString& appFolder, QSettings& settings)
{
    if (!keys::Pass.read(settings).toString().isEmpty())
        return true;
    for (const SiteLine& line : SitesWithAddress(LoadSiteList(appFolder)))
        if (!line.site.password.isEmpty())
            return true;
    return false;
}

bool MovePasswordsIntoKeyring(const QString& appFolder, QSettings& settings, PasswordStore& keyring,
                              QString* problem)
{
    struct Moving {
        QString name, key, password;
    };
    QList<Moving> moving;
    const QString startUpPass = keys::Pass.read(settings).toString();
    if (!startUpPass.isEmpty())
        moving.append({StartUpName(), StartUpKey(settings), startUpPass});
    const QStringList stored = LoadSiteList(appFolder);
    QStringList entries = stored;
    for (SiteLine& line : SitesWithAddress(entries)) {
        const std::optional<SiteFields> bare = AsStoredWithoutPassword(line.site);
        if (line.site.password.isEmpty() || !bare)
            continue;
        moving.append({SiteLabel(line.site), PasswordKey(bare->login, bare->address), line.site.password});
        entries[line.row] = *BuildSiteEntry(*bare);
    }
    const QString unchanged = QStringLiteral(" Your files were left as they were.");
    for (const Moving& m : moving) {
        const PasswordStore::Answer answer = keyring.store(m.key, m.password);
        if (answer.outcome != PasswordStore::Outcome::Done)
            return SetProblem(problem, QStringLiteral("The system keyring did not take the password of %1 (%2).")
                                           .arg(m.name, answer.problem) + unchanged);
    }
    // Read back only once all are stored: two entries for one login and
    // address with different passwords show up here.
    for (const Moving& m : moving) {
        const PasswordStore::Answer answer = keyring.read(m.key);
        if (answer.outcome != PasswordStore::Outcome::Done || answer.password != m.password)
            return SetProblem(problem, QStringLiteral("The password of %1 did not read back from the system keyring "
                                                      "as it was stored%2. Two sites with the same login and address "
                                                      "need the same password.")
                                           .arg(m.name, answer.problem.isEmpty() ? QString() : " (" + answer.problem + ")")
                                           + unchanged);
    }
    QString error;
    if (entries != stored && !SaveSiteList(appFolder, entries, &error))
        return SetProblem(problem, QStringLiteral("The site list could not be rewritten: %1").arg(error) + unchanged);
    return startUpPass.isEmpty() || WriteStartUpPass(settings, QString(), problem);
}

bool MovePasswordsOutOfKeyring(const QString& appFolder, QSettings& settings, PasswordStore& keyring,
                               QString* problem)
{
    QStringList moved;  // keys to remove once the files hold their passwords
    const QStringList stored = LoadSiteList(appFolder);
    QStringList entries = stored;
    for (SiteLine& line : SitesWithAddress(entries)) {
        if (!line.site.password.isEmpty())
            continue;
        const QString key = PasswordKey(line.site.login, line.site.address);
        const PasswordStore::Answer answer = keyring.read(key);
        if (answer.outcome == PasswordStore::Outcome::NotFound)
            continue;
        if (answer.outcome == PasswordStore::Outcome::Failed)
            return SetProblem(problem, QStringLiteral("The system keyring did not give the password of %1 (%2). "
                                                      "The passwords stay in the keyring.")
                                           .arg(SiteLabel(line.site), answer.problem));
        line.site.password = answer.password;
        if (!StoreHolds(line.site))
            return SetProblem(problem, QStringLiteral("The password of %1 contains \";\", a line break or blanks at "
                                                      "its ends, which sites.snd cannot hold. The passwords stay in "
                                                      "the keyring.")
                                           .arg(SiteLabel(line.site)));
        entries[line.row] = *BuildSiteEntry(line.site);
        moved.append(key);
    }
    QString startUpPass = keys::Pass.read(settings).toString();
    if (startUpPass.isEmpty() && !keys::URL.read(settings).toString().isEmpty()) {
        const PasswordStore::Answer answer = keyring.read(StartUpKey(settings));
        if (answer.outcome == PasswordStore::Outcome::Failed)
            return SetProblem(problem, QStringLiteral("The system keyring did not give the password of %1 (%2). "
                                                      "The passwords stay in the keyring.")
                                           .arg(StartUpName(), answer.problem));
        startUpPass = answer.password;
        moved.append(StartUpKey(settings));
    }
    QString error;
    if (entries != stored && !SaveSiteList(appFolder, entries, &error))
        return SetProblem(problem, QStringLiteral("The site list could not be rewritten: %1").arg(error));
    if (!startUpPass.isEmpty() && !WriteStartUpPass(settings, startUpPass, problem))
        return false;
    for (const QString& key : moved)
        keyring.remove(key);  // a leftover entry is harmless: the field wins
    return true;
}

}  // namespace quillmar
