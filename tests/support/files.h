#pragma once

#include "support/qt_printers.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

// Whole files for tests. A write that fails is a test failure where it
// happens; a file that cannot be read reads as "<missing>".
inline bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    if (!written)
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return written;
}

inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
