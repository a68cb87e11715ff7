#include "shell/window_title.h"

#include "shell/constants.h"

#include <QStringList>

namespace quillmar {

QString WindowTitle(const QString& site, const QString& folder)
{
    QStringList parts;
    for (const QString& part : {site, folder}) {
        if (!part.isEmpty())
            parts.append(part);
    }
    parts.append(kAppTitle);
    return parts.join(QStringLiteral(" \u2014 "));
}

}  // namespace quillmar
