#include "session/server_folder.h"

#include <QStringList>

namespace quillmar {

QString FolderFromReply(const QString& reply)
{
    if (!reply.startsWith(QLatin1StringView("257")))
        return {};
    const qsizetype open = reply.indexOf(QLatin1Char('"'));
    if (open < 0)
        return {};
    QString folder;
    for (qsizetype i = open + 1; i < reply.size(); ++i) {
        if (reply[i] != u'"') {
            folder += reply[i];
        } else if (i + 1 < reply.size() && reply[i + 1] == u'"') {
            folder += u'"';
            ++i;
        } else {
            return folder;
        }
    }
    return {};  // no closing quote
}

QString WindowTitle(const QString& site, const QString& folder)
{
    QStringList parts;
    for (const QString& part : {site, folder}) {
        if (!part.isEmpty())
            parts.append(part);
    }
    parts.append(QStringLiteral("Quillmar"));
    return parts.join(QStringLiteral(" \u2014 "));
}

}  // namespace quillmar
