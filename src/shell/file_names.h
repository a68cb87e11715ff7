#pragma once

#include <QString>

namespace quillmar {

// A name from the server or from an input box may only name an entry directly
// inside its folder: not empty, no path separator, not "." or "..", no NUL.
bool IsPlainEntryName(const QString& name);

// Why a name is refused, for the person's message; empty for a plain name.
QString EntryNameProblem(const QString& name);

}  // namespace quillmar
