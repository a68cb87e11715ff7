#pragma once

#include "support/qt_printers.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

class QAbstractItemView;
class QPrinter;

// Small helpers shared by this folder's tests, with readable failures for Qt
// types. The file helpers need Qt Core only, so the rules tests use them too.
namespace uikit {

inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A printer that writes a PDF file at path, and that file's text as pdftotext
// reads it: one line an entry, blank lines dropped, "\f" between pages.
std::function<std::unique_ptr<QPrinter>()> PdfPrinter(const QString& path);
QStringList PdfLines(const QString& path);

// The person's mouse on a row of a list, once or twice.
void ClickRow(QAbstractItemView* view, int row, bool twice = false);
QStringList RowTexts(const QAbstractItemView* view);

}  // namespace uikit
