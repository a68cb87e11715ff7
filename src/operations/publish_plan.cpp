#include "operations/publish_plan.h"

#include "pictures/picture_rules.h"
#include "session/transfer_meter.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <QStringList>

namespace quillmar {

namespace {

// Listings give whole seconds; the local clock keeps fractions.
QDateTime ToTheSecond(const QDateTime& time)
{
    return time.isValid() ? QDateTime::fromSecsSinceEpoch(time.toSecsSinceEpoch(), Qt::UTC) : QDateTime();
}

PublishKind KindOf(const LocalFile& local, const ServerFile* server, bool webReady, const PublishedCopies& published)
{
    if (!server)
        return PublishKind::New;
    const auto record = published.constFind(local.path);
    return LocalDiffers(local, *server, webReady, record == published.cend() ? nullptr : &*record)
               ? PublishKind::Changed
               : PublishKind::Same;
}

}  // namespace

QList<LocalFile> ReadLocalFiles(const QString& folder, bool subFolders)
{
    QList<LocalFile> files;
    const QDir top(folder);
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot,
                    subFolders ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        files.append({top.relativeFilePath(info.filePath()), info.size(), info.lastModified()});
    }
    std::sort(files.begin(), files.end(), [](const LocalFile& a, const LocalFile& b) { return a.path < b.path; });
    return files;
}

QString JoinPath(const QString& folder, const QString& name)
{
    return folder.isEmpty() ? name : folder + u'/' + name;
}

bool LocalDiffers(const LocalFile& local, const ServerFile& server, bool webReady, const PublishedCopy* published)
{
    if (webReady && IsPicture(local.path)) {
        return !published || published->localSize != local.size
               || ToTheSecond(published->localModified) != ToTheSecond(local.modified)
               || published->sentSize != server.size;
    }
    if (server.size < 0 || server.size != local.size)
        return true;
    return server.modified.isValid() && ToTheSecond(local.modified) > ToTheSecond(server.modified);
}

PublishPlan PlanPublish(const QList<LocalFile>& local, const QList<ServerFile>& server, bool webReady,
                        const PublishedCopies& published)
{
    QHash<QString, const ServerFile*> onServer;
    onServer.reserve(server.size());
    for (const ServerFile& file : server)
        onServer.insert(file.path, &file);
    PublishPlan plan;
    plan.rows.reserve(local.size() + server.size());
    QSet<QString> here;
    here.reserve(local.size());
    const auto add = [&plan](const QString& path, PublishKind kind, qint64 bytes) {
        plan.rows.append({path, kind, bytes});
        ++plan.counts[static_cast<int>(kind)];
        if (kind == PublishKind::New || kind == PublishKind::Changed)
            plan.bytesToSend += bytes;
    };
    for (const LocalFile& file : local) {
        here.insert(file.path);
        add(file.path, KindOf(file, onServer.value(file.path), webReady, published), file.size);
    }
    for (const ServerFile& file : server) {
        if (!here.contains(file.path))
            add(file.path, PublishKind::OnlyOnServer, std::max<qint64>(file.size, 0));
    }
    return plan;
}

QString PublishKindText(PublishKind kind)
{
    switch (kind) {
    case PublishKind::New:
        return QStringLiteral("new");
    case PublishKind::Changed:
        return QStringLiteral("changed");
    case PublishKind::Same:
        return QStringLiteral("same");
    case PublishKind::OnlyOnServer:
        return QStringLiteral("only on the server");
    }
    return {};
}

QString PublishCountsText(const PublishPlan& plan)
{
    QStringList parts;
    for (int kind = 0; kind < kPublishKinds; ++kind)
        parts << QStringLiteral("%1 %2").arg(plan.counts[kind]).arg(PublishKindText(PublishKind(kind)));
    parts << SizeText(plan.bytesToSend) + QStringLiteral(" to send");
    return parts.join(QStringLiteral(" · "));
}

}  // namespace quillmar

namespace quillmar {

QString PublishProgressText(qsizetype index, qsizetype count, qint64 doneBytes, qint64 totalBytes, qint64 elapsedMs)
{
    constexpr qint64 kMsPerSecond = 1000;
    const qint64 percent = totalBytes > 0 ? std::clamp<qint64>(doneBytes * 100 / totalBytes, 0, 100) : 0;
    QString text = QStringLiteral("Publishing %1 of %2 · %3 %").arg(index).arg(count).arg(percent);
    if (doneBytes > 0 && elapsedMs > 0 && totalBytes >= doneBytes) {
        const double perMs = double(doneBytes) / double(elapsedMs);
        const auto leftSeconds = qint64(double(totalBytes - doneBytes) / perMs / kMsPerSecond + 0.5);
        text += QStringLiteral(" · %1 left").arg(TimeLeftText(leftSeconds));
    }
    return text;
}

QString PublishedText(qsizetype sentNew, qsizetype sentChanged, qint64 bytes)
{
    const qsizetype files = sentNew + sentChanged;
    return QStringLiteral("Published %1 %2 (%3 new, %4 changed), %5")
        .arg(files)
        .arg(files == 1 ? QStringLiteral("file") : QStringLiteral("files"))
        .arg(sentNew)
        .arg(sentChanged)
        .arg(SizeText(bytes));
}

}  // namespace quillmar
