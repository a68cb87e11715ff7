#include "operations/server_names.h"

namespace quillmar {

QString ServerNameProblem(const QString& name)
{
    QString bare = name;
    if (bare.endsWith(QLatin1Char('/')))
        bare.chop(1);
    if (bare.isEmpty())
        return QStringLiteral("The name is empty.");
    if (bare == QLatin1String(".") || bare == QLatin1String(".."))
        return QStringLiteral("The name \"%1\" does not name an entry of this folder.").arg(name);
    if (bare.contains(QLatin1Char('/')))
        return QStringLiteral("The name \"%1\" holds a path separator and would reach outside the folder.")
            .arg(name);
    if (bare.contains(QLatin1Char('\r')) || bare.contains(QLatin1Char('\n')) || bare.contains(QChar(0)))
        return QStringLiteral("The name holds a line break or another character no server command may carry.");
    return {};
}

QString FolderName(const QString& rowText)
{
    const qsizetype slash = rowText.indexOf(QLatin1Char('/'));
    return slash < 0 ? rowText : rowText.left(slash);
}

}  // namespace quillmar
