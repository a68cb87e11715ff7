#include "shell/app_folder.h"

#include <QDir>
#include <QFileInfo>

namespace quillmar {

QString ResolveAppFolder(const QString& programFolder, const QString& userDataFolder)
{
    // A system's program folder is never a data folder, even for a user
    // who may write there (root).
    static const QStringList kSystemFolders{QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin"),
                                            QStringLiteral("/bin"), QStringLiteral("/usr/sbin")};
    const QFileInfo program(programFolder);
    if (program.isDir() && program.isWritable() && !kSystemFolders.contains(QDir::cleanPath(programFolder)))
        return program.absoluteFilePath();
    QDir().mkpath(userDataFolder);
    return QFileInfo(userDataFolder).absoluteFilePath();
}

}  // namespace quillmar
