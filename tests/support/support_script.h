#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace quillmar::test {

// A Python script of this kit run as a child process that stops when its
// input closes: the server fixtures' common start, hand-shake and stop.

// Starts the kit's script with arguments; false with *error saying why.
bool StartSupportScript(QProcess& process, const QString& script, const QStringList& arguments, int waitMs,
                        QString* error);

// The first line the script prints that starts with prefix, without it;
// empty with *error saying why when the script ends or stays silent.
QString AwaitScriptLine(QProcess& process, const QString& prefix, int waitMs, QString* error);

// Closes the script's input and waits for it to end, killing it if it won't.
void StopSupportScript(QProcess& process, int waitMs);

}  // namespace quillmar::test
