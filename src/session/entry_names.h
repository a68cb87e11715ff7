#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

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

// The same rule without the reasons, fast enough for every listing line:
// not empty, not "." or "..", no "/", CR, LF or NUL.
// (Inline: every line of a long listing asks.)
inline bool IsServerEntryName(QStringView name)
{
    if (name.isEmpty() || (name.size() <= 2 && (name == u"." || name == u"..")))
        return false;
    // Every refused character sorts at or below "/": one comparison for
    // nearly every letter.
    for (const QChar c : name) {
        if (c.unicode() <= u'/' && (c == u'/' || c == u'\r' || c == u'\n' || c == QChar(0)))
            return false;
    }
    return true;
}

// How much of a name comes before its extension: "photo" of "photo.jpg",
// all of "README" and of ".htaccess" (a leading dot opens no extension).
qsizetype NameStemLength(const QString& name);

// A folder row's text without its trailing "/": the name the server knows.
QString FolderName(const QString& rowText);

// The local path of the entry name inside folder. Every local path built from
// a name is joined here: QDir::filePath hands back a name that starts with
// ":" unchanged (Qt reads it as a resource path), so ":a.jpg" would land in
// the working folder instead of folder.
QString EntryPath(const QString& folder, const QString& name);

// The name an upload sent as `asked` was stored under, when the server's
// list no longer shows `asked` after it (some servers turn leading and
// trailing blanks into "_"): the one row new since `before` that matches it
// once blanks and "_" are left out. Empty when no such row, or several.
QString NameServerUsed(const QString& asked, const QStringList& before, const QStringList& after);

}  // namespace quillmar
