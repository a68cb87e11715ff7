#pragma once

#include <QString>

namespace quillmar {

// The hidden name a file is written under before it replaces `name` in the
// same folder: "." + name + suffix, with the name shortened so the whole
// stays within the 255 bytes a file name may take on disk.
QString HiddenPartName(const QString& name, const QString& suffix);

}  // namespace quillmar
