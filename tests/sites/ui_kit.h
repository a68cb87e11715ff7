#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QAbstractItemView;
class QPrinter;

// Small helpers shared by the window tests of this program.
namespace uikit {

QByteArray ReadFile(const QString& path);
void WriteFile(const QString& path, const QByteArray& bytes);

// A printer that writes a PDF file at path.
std::function<std::unique_ptr<QPrinter>()> PdfPrinter(const QString& path);
// The text of a PDF as pdftotext reads it, one entry a line, pages apart by
// "\f"; empty lines dropped.
QStringList PdfLines(const QString& path);

// The person's mouse on a row of a list.
void ClickRow(QAbstractItemView* view, int row);
void DoubleClickRow(QAbstractItemView* view, int row);
QStringList RowTexts(const QAbstractItemView* view);

}  // namespace uikit
