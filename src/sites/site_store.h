#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quillmar {

// The user's saved accounts: "sites.snd" directly in the application folder,
// one entry a line. An entry is the description, 100 blanks (so a narrow list
// shows only the description), then ";address;login;password", and for a
// site with a web address ";web address;server folder" after that.
struct SiteFields {
    QString description, address, login, password;
    QString webAddress, webFolder;  // empty for a site without them
};

// Empty when there is no address. A leading "ftp://" (any letter case) is
// dropped from the address; nothing else is changed.
std::optional<QString> BuildSiteEntry(const QString& description, const QString& address,
                                      const QString& login, const QString& password);
// The same with the web fields, which are left out when both are empty, so
// such an entry reads the same to a reader that knows only four parts.
std::optional<QString> BuildSiteEntry(const SiteFields& site);

// Where a site's password is kept: in the store's line with the other
// fields, or elsewhere (a keyring), where any text fits.
enum class PasswordKept { InStore, Elsewhere };

// Why the site cannot be stored as typed, naming the field; empty when it
// can. Every field shares one line of the store, split at ";", so a ";" or a
// line break in any of them would cut it on the next read.
QString SiteFieldProblem(const SiteFields& site, PasswordKept password = PasswordKept::InStore);

// Empty when the entry has fewer than four ";"-separated parts. Each part is
// stripped of leading and trailing blanks; parts after the sixth are ignored.
std::optional<SiteFields> SplitSiteEntry(const QString& entry);

// A site given as one text, as on the command line: description;address;
// login;password, or those and ;web address;server folder. Empty, with
// *problem saying why, for another number of fields (a ";" in a password
// would shift the rest) or an address no connection can use.
std::optional<SiteFields> SiteFromText(const QString& text, QString* problem);

// How a site is named to the person: its description, or its address when
// it has none.
QString SiteName(const SiteFields& site);

// Every line of the store, empty ones included; empty when there is no store.
QStringList LoadSiteList(const QString& appFolder);

// Rewrites the store from entries (empty ones are left out), atomically and
// readable by its owner only. On failure the old store stays as it was,
// *error gets the system's description and the result is false.
bool SaveSiteList(const QString& appFolder, const QStringList& entries, QString* error = nullptr);

// Adds the entry to the store unless a line equal to it is there already.
// False, with *error set, when the store could not be written.
bool AddSiteEntry(const QString& appFolder, const QString& entry, QString* error = nullptr);

// Splits stored text into lines; a line ends at CR LF, CR or LF, and a last
// line without an end still counts.
QStringList SplitStoredLines(const QString& text);

}  // namespace quillmar
