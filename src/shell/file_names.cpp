#include "shell/file_names.h"

namespace quillmar {

QString EntryNameProblem(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("The name is empty.");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("The name \"%1\" does not name a file.").arg(name);
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return QStringLiteral("The name \"%1\" holds a path separator and would reach outside the folder.").arg(name);
    if (name.contains(QChar(0)))
        return QStringLiteral("The name holds a character that no file name may hold.");
    return {};
}

bool IsPlainEntryName(const QString& name)
{
    return EntryNameProblem(name).isEmpty();
}

}  // namespace quillmar
