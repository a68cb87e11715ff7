#pragma once

#include <QFunctionPointer>
#include <QString>
#include <QStringList>

namespace quillmar {

// The parts of the program that bring heavy libraries with them (each
// protocol's) are modules loaded the first time they are needed, so that
// starting the program does not load and bind those libraries.

// Where modules are looked for, in order: their installed place next to the
// program's folder, the program's own folder (a copy run from a folder of its
// own), and the build tree the program came from.
QStringList ModuleFolders();

// The function `entry` of the module `name` (the file lib<name>.so) in the
// first of `folders` that holds it. Null when there is none or it does not
// load, with `problem` saying which file was looked for where, and why it failed.
QFunctionPointer ResolveModuleEntry(const QStringList& folders, const QString& name, const char* entry,
                                    QString* problem);

// What to tell when the module of `part` (e.g. "speaks to ftp:// servers")
// cannot be loaded, with the `problem` ResolveModuleEntry gave.
QString MissingModuleText(const QString& part, const QString& problem);

}  // namespace quillmar
