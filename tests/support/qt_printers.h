#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

// GoogleTest finds these by argument lookup, so failures show readable text
// (lists of them too, as containers).
void PrintTo(const QString& text, std::ostream* out);
void PrintTo(const QByteArray& bytes, std::ostream* out);

// So a QString can follow a failing check's << message.
std::ostream& operator<<(std::ostream& out, const QString& text);
