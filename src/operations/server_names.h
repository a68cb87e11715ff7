#pragma once

#include <QString>

namespace quillmar {

// Why a name typed for the server (or read from its list) cannot be used for
// an entry of the current server folder; empty when it can. Refuses the empty
// name, "." and "..", a "/" anywhere but a folder's one trailing slash, and
// CR, LF or NUL, which would break the command line.
QString ServerNameProblem(const QString& name);

// A folder row's text without its trailing "/": the name the server knows.
QString FolderName(const QString& rowText);

}  // namespace quillmar
