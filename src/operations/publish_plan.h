#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <array>

namespace quillmar {

// What publishing does to one file.
enum class PublishKind {
    New,           // only here: uploaded
    Changed,       // here and there, different: replaces the server's
    Same,          // skipped
    OnlyOnServer,  // kept, never deleted
};
constexpr int kPublishKinds = 4;

// A file of the local folder; path is relative, "/" between folders.
struct LocalFile {
    QString path;
    qint64 size = 0;
    QDateTime modified;
};

// A file of the server folder; size -1 and an invalid time when not known.
struct ServerFile {
    QString path;
    qint64 size = -1;
    QDateTime modified;
};

// What was sent for a picture made ready for the web: the local file it was
// made from (its size and time then) and the size of the copy sent.
struct PublishedCopy {
    qint64 localSize = 0;
    QDateTime localModified;
    qint64 sentSize = 0;
};
using PublishedCopies = QHash<QString, PublishedCopy>;   // by relative path

struct PublishRow {
    QString path;
    PublishKind kind = PublishKind::Same;
    qint64 bytes = 0;   // the local size; the server's for OnlyOnServer
};

struct PublishPlan {
    QList<PublishRow> rows;   // local files in their order, then the server's own
    std::array<qint64, kPublishKinds> counts{};
    qint64 bytesToSend = 0;   // new and changed
    qint64 count(PublishKind kind) const { return counts[static_cast<int>(kind)]; }
};

// The files of a local folder (hidden ones left out), by relative path in
// order; with subFolders those of every folder below it too.
QList<LocalFile> ReadLocalFiles(const QString& folder, bool subFolders);

// The relative path of name in folder ("" is the top folder).
QString JoinPath(const QString& folder, const QString& name);

// Whether the local file differs from the server's copy: sizes differ, or
// the local file is newer (to the second; an unknown server time decides
// nothing). With webReady, a picture's server copy is a copy made for the
// web: it is the same only when `published` (when given) says it was made
// from the local file as it is now and the server still holds that size.
bool LocalDiffers(const LocalFile& local, const ServerFile& server, bool webReady, const PublishedCopy* published);

// Compares the two sides; each side is read once (hashed by path).
PublishPlan PlanPublish(const QList<LocalFile>& local, const QList<ServerFile>& server, bool webReady,
                        const PublishedCopies& published = {});

// "12 new · 3 changed · 140 same · 2 only on the server · 38.4 MB to send"
QString PublishCountsText(const PublishPlan& plan);

// A row's kind in words: "new", "changed", "same", "only on the server".
QString PublishKindText(PublishKind kind);

// The status line while publishing: "Publishing 7 of 15 · 42 % · 1:10 left";
// the time left once something has moved.
QString PublishProgressText(qsizetype index, qsizetype count, qint64 doneBytes, qint64 totalBytes, qint64 elapsedMs);

// "Published 15 files (12 new, 3 changed), 38.4 MB"
QString PublishedText(qsizetype sentNew, qsizetype sentChanged, qint64 bytes);

}  // namespace quillmar
