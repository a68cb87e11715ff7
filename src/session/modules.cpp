#include "session/modules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace quillmar {

namespace {

QString ProgramFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
}

QString ModuleFile(const QString& name)
{
    return QStringLiteral("lib%1.so").arg(name);
}

}  // namespace

QStringList ModuleFolders()
{
    const QString program = ProgramFolder();
    return {QDir::cleanPath(program + u'/' + QStringLiteral(QUILLMAR_MODULES_FROM_PROGRAM)), program,
            QStringLiteral(QUILLMAR_MODULES_BUILD_DIR)};
}

QFunctionPointer ResolveModuleEntry(const QStringList& folders, const QString& name, const char* entry,
                                    QString* problem)
{
    const QString file = ModuleFile(name);
    for (const QString& folder : folders) {
        const QString path = QDir(folder).filePath(file);
        if (!QFileInfo::exists(path))
            continue;
        QLibrary module(path);  // stays loaded: the program holds what it made from it
        if (const QFunctionPointer function = module.resolve(entry))
            return function;
        if (problem)
            *problem = QStringLiteral("%1 could not be loaded: %2").arg(path, module.errorString());
        return nullptr;
    }
    if (problem)
        *problem = QStringLiteral("%1 was found in none of %2").arg(file, folders.join(QStringLiteral(", ")));
    return nullptr;
}

QString MissingModuleText(const QString& part, const QString& problem)
{
    return QStringLiteral("the part of Quillmar that %1 is missing or damaged (%2); reinstalling Quillmar puts it back.")
        .arg(part, problem);
}

}  // namespace quillmar
