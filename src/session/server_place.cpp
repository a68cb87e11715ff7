#include "session/server_place.h"

namespace quillmar {

QString SiteKey(const QString& login, const QString& address)
{
    return login + u'@' + address;
}

std::optional<QString> FolderFromPwdReply(const QString& reply)
{
    if (!reply.startsWith(QLatin1StringView("257")))
        return std::nullopt;
    const qsizetype open = reply.indexOf(u'"');
    if (open < 0)
        return std::nullopt;
    // A quote inside the name is sent doubled.
    QString folder;
    for (qsizetype i = open + 1; i < reply.size(); ++i) {
        if (reply[i] != u'"') {
            if (reply[i] == u'\r' || reply[i] == u'\n')
                break;
            folder += reply[i];
        } else if (i + 1 < reply.size() && reply[i + 1] == u'"') {
            folder += u'"';
            ++i;
        } else {
            return folder.isEmpty() ? std::nullopt : std::optional<QString>(folder);
        }
    }
    return std::nullopt;  // no closing quote
}

}  // namespace quillmar
