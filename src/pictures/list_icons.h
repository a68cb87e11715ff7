#pragma once

#include <QIcon>

namespace quillmar {

// The server list's small icons, drawn here so no image files ship with the
// program. Index 1 is the folder, index 2 the file, as the listing chooses.
QIcon FolderIcon();
QIcon FileIcon();

}  // namespace quillmar
