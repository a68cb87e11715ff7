#pragma once

#include <QString>

namespace quillmar {

// The one rule for names that come from a server or from a person: a name
// may only name an entry directly inside its folder, and nothing sent to a
// server may carry a second command line. Every place that builds a local
// path or a server command from such a name asks here.

// Why the text cannot travel on a command line (it holds CR, LF or NUL);
// empty when it can.
QString LineBreakProblem(const QString& text);

// Why a name cannot be used for a local entry; empty when it can. Refuses
// the empty name, "." and "..", "/" and "\" (a path), and NUL (it would cut
// the name short).
QString EntryNameProblem(const QString& name);
bool IsPlainEntryName(const QString& name);

// Why a name typed for the server (or read from its list) cannot be used for
// an entry of the current server folder; empty when it can. The local rule
// without "\" (an ordinary letter on a server), plus the command-line rule;
// a folder row's one trailing "/" is allowed.
QString ServerNameProblem(const QString& name);

// How much of a name comes before its extension: "photo" of "photo.jpg",
// all of "README" and of ".htaccess" (a leading dot opens no extension).
qsizetype NameStemLength(const QString& name);

// A folder row's text without its trailing "/": the name the server knows.
QString FolderName(const QString& rowText);

}  // namespace quillmar
