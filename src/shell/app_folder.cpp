#include "shell/app_folder.h"

#include <QDir>
#include <QFileInfo>

namespace quillmar {

QString ResolveAppFolder(const QString& programFolder, const QString& userDataFolder)
{
    const QFileInfo program(programFolder);
    if (program.isDir() && program.isWritable())
        return program.absoluteFilePath();
    QDir().mkpath(userDataFolder);
    return QFileInfo(userDataFolder).absoluteFilePath();
}

}  // namespace quillmar
