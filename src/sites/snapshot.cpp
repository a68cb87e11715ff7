#include "sites/snapshot.h"

#include "session/entry_names.h"
#include "sites/site_store.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace quillmar {
namespace {

const QLatin1StringView kExtension(".dat");
const QLatin1StringView kHeaderMark("|URL|");
const QLatin1StringView kSiteMark("|URL|Site| ");
const QLatin1StringView kFolderMark("|URL|Folder| ");

// A text the format holds as it is: one line that no reader takes for a header.
bool FitsOneLine(const QString& text)
{
    return !text.contains(kHeaderMark) && LineBreakProblem(text).isEmpty();
}

}  // namespace

QString SnapshotFileName(const QString& description)
{
    // Adding ".dat" already rules out "." and ".."; without separators the
    // name cannot leave the folder.
    QString name = description + kExtension;
    name.replace(u'/', u'_');
    name.replace(u'\\', u'_');
    return name;
}

bool WriteListingSnapshot(const QString& appFolder, const QString& description, const QString& url,
                          const QStringList& rowTexts, QString* error)
{
    return WriteListingSnapshot(appFolder, description, url, ServerPlace{}, rowTexts, error);
}

bool WriteListingSnapshot(const QString& appFolder, const QString& description, const QString& url,
                          const ServerPlace& place, const QStringList& rowTexts, QString* error)
{
    // Text is stored as UTF-8, the system's code page on Linux.
    QByteArray content = QByteArray("|URL| ") + url.toUtf8() + "\r\n";
    if (place.known() && LineBreakProblem(place.site).isEmpty() && LineBreakProblem(place.folder).isEmpty())
        content += (kSiteMark + place.site).toUtf8() + "\r\n" + (kFolderMark + place.folder).toUtf8() + "\r\n";
    // A name the format cannot hold is left out rather than read back as
    // something else (a header, two rows).
    for (const QString& text : rowTexts) {
        if (!FitsOneLine(text))
            continue;
        content += text.toUtf8();
        content += "\r\n";
    }

    const QString name = SnapshotFileName(description);
    const QString path = appFolder + u'/' + name;
    if (!IsPlainEntryName(name)) {
        if (error)
            *error = QLatin1StringView("Cannot save the listing: the site description holds a "
                                       "character no file name can have");
        return false;
    }
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly) && file.write(content) == content.size()
                       && file.commit();
    if (!saved) {
        if (error)
            *error = QLatin1StringView("Cannot save the listing to ") % path
                     % QLatin1StringView(": ") % file.errorString();
        file.cancelWriting();
    }
    return saved;
}

QStringList ListSnapshotFiles(const QString& appFolder)
{
    // Hidden files are included because an empty description writes ".dat".
    const QStringList names =
        QDir(appFolder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::NoSort);
    QStringList snapshots;
    for (const QString& name : names) {
        if (name.endsWith(kExtension, Qt::CaseSensitive))
            snapshots.append(name);
    }
    std::sort(snapshots.begin(), snapshots.end());
    return snapshots;
}

static QStringList ReadSnapshotLines(const QString& appFolder, const QString& fileName)
{
    if (!IsPlainEntryName(fileName))
        return {};
    QFile file(appFolder + u'/' + fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return SplitStoredLines(QString::fromUtf8(file.readAll()));
}

ServerPlace ReadSnapshotPlace(const QString& appFolder, const QString& fileName)
{
    // Only the header lines at the top name the place; a row never does.
    ServerPlace place;
    for (const QString& line : ReadSnapshotLines(appFolder, fileName)) {
        if (!line.startsWith(kHeaderMark))
            break;
        if (line.startsWith(kSiteMark))
            place.site = line.mid(kSiteMark.size());
        else if (line.startsWith(kFolderMark))
            place.folder = line.mid(kFolderMark.size());
    }
    return place;
}

QList<SnapshotRow> ReadListingSnapshot(const QString& appFolder, const QString& fileName)
{
    QList<SnapshotRow> rows;
    for (const QString& line : ReadSnapshotLines(appFolder, fileName)) {
        if (line.contains(kHeaderMark))
            continue;
        rows.append(SnapshotRow{line, line.endsWith(u'/')});
    }
    return rows;
}

}  // namespace quillmar
