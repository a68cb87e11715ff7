#include "session/upload_leftovers.h"

#include "session/part_name.h"
#include "session/settings_keys.h"

#include <QSettings>

namespace quillmar {

namespace {

// One entry a file: the site, a line break, the path. Neither a site nor a
// server name can hold a line break.
QString Entry(const QString& site, const QString& path)
{
    return site + u'\n' + path;
}

}  // namespace

QStringList UploadLeftovers::entries() const
{
    return settings_keys::LeftUploads.read(store_).toStringList();
}

void UploadLeftovers::store(const QStringList& entries)
{
    if (entries.isEmpty())
        store_.remove(settings_keys::LeftUploads.path);
    else
        settings_keys::LeftUploads.write(store_, entries);
    store_.sync();   // a crash right after must not lose the note
}

void UploadLeftovers::note(const QString& site, const QString& path, bool onServer)
{
    QStringList all = entries();
    const QString entry = Entry(site, path);
    if (onServer == all.contains(entry))
        return;
    if (onServer)
        all << entry;
    else
        all.removeAll(entry);
    store(all);
}

QStringList UploadLeftovers::paths(const QString& site) const
{
    QStringList found;
    const QString prefix = site + u'\n';
    for (const QString& entry : entries()) {
        if (entry.startsWith(prefix) && IsUploadTempName(entry.sliced(prefix.size())))
            found << entry.sliced(prefix.size());
    }
    return found;
}

}  // namespace quillmar
