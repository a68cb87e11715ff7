#pragma once

#include <QString>
#include <QStringList>

class QSettings;

namespace quillmar {

// The temporary uploads that may still be on a server, per site, kept in the
// settings (group "LeftOnServer") from the end of the call that left one
// until it is known to be gone, so a cut connection never leaves one
// forgotten.
class UploadLeftovers {
public:
    explicit UploadLeftovers(QSettings& store) : store_(store) {}

    // path: a server path from the login folder, as the FTP component gives it.
    void note(const QString& site, const QString& path, bool onServer);
    // What to remove on the site: only names the program makes for its
    // uploads, however the settings came to hold others.
    QStringList paths(const QString& site) const;

private:
    QStringList entries() const;
    void store(const QStringList& entries);

    QSettings& store_;
};

}  // namespace quillmar
