#pragma once

#include <QString>

namespace quillmar {

// The hidden name a file is written under before it replaces `name` in the
// same folder: "." + name + suffix, with the name shortened so the whole
// stays within the 255 bytes a file name may take on disk.
QString HiddenPartName(const QString& name, const QString& suffix);

// The short hidden name an upload to remoteName is stored under in the same
// server folder: ".quillmar-" + 8 random hex digits + ".part".
QString UploadTempName(const QString& remoteName);

// Whether the last part of a server path is a name UploadTempName makes; only
// such names are ever removed as left-over uploads.
bool IsUploadTempName(const QString& path);

}  // namespace quillmar
