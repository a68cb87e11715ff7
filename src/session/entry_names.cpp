#include "session/entry_names.h"

namespace quillmar {

namespace {

QString PlainNameProblem(const QString& name, const QString& separators)
{
    if (name.isEmpty())
        return QStringLiteral("The name is empty.");
    if (name == u"." || name == u"..")
        return QStringLiteral("The name \"%1\" does not name an entry of the folder.").arg(name);
    for (const QChar separator : separators) {
        if (name.contains(separator))
            return QStringLiteral("The name \"%1\" holds a path separator and would reach outside the folder.")
                .arg(name);
    }
    if (name.contains(QChar(0)))
        return QStringLiteral("The name holds a character that no file name may hold.");
    return {};
}

}  // namespace

QString LineBreakProblem(const QString& text)
{
    if (text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0)))
        return QStringLiteral("It holds a line break or another character no server command may carry.");
    return {};
}

QString EntryNameProblem(const QString& name)
{
    return PlainNameProblem(name, QStringLiteral("/\\"));
}

bool IsPlainEntryName(const QString& name)
{
    return EntryNameProblem(name).isEmpty();
}

QString ServerNameProblem(const QString& name)
{
    const QString bare = name.endsWith(u'/') ? name.chopped(1) : name;
    if (IsServerEntryName(bare))
        return {};
    const QString problem = LineBreakProblem(bare);
    return problem.isEmpty() ? PlainNameProblem(bare, QStringLiteral("/")) : problem;
}

QString FolderName(const QString& rowText)
{
    const qsizetype slash = rowText.indexOf(u'/');
    return slash < 0 ? rowText : rowText.left(slash);
}

QString EntryPath(const QString& folder, const QString& name)
{
    if (folder.isEmpty())
        return QStringLiteral("./") + name;
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

namespace {
QString LooseName(QString name)
{
    return name.remove(u' ').remove(u'_');
}
}  // namespace

QString NameServerUsed(const QString& asked, const QStringList& before, const QStringList& after)
{
    QString found;
    for (const QString& row : after) {
        if (before.contains(row) || LooseName(row) != LooseName(asked))
            continue;
        if (!found.isEmpty())
            return {};
        found = row;
    }
    return found;
}

qsizetype NameStemLength(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? dot : name.size();
}

}  // namespace quillmar
