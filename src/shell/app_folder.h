#pragma once

#include <QString>

namespace quillmar {

// The folder that holds sites.snd, the listing snapshots and the picture
// cache: the program's own folder when it is writable and not one of the
// system's program folders (/usr/bin, ...), otherwise the per-user data
// folder, so an installed copy keeps working.
QString ResolveAppFolder(const QString& programFolder, const QString& userDataFolder);

}  // namespace quillmar
