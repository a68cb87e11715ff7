#pragma once

#include "shell/services.h"

#include <QString>
#include <QList>
#include <QStringList>

#include <memory>

class QPrinter;
class QTextDocument;
class QWidget;

namespace quillmar {

class Feedback;

// What the printed server list shows: the site (its description, or its
// address when it has none), the server folder, and each row's name, size
// and date in list order (folders keep their "/").
struct PrintedRow {
    QString name, size, date;
};
struct PrintedList {
    QString site, address, folder;
    QList<PrintedRow> rows;
};

// The line at the foot of every printed page: "Quillmar — Demo — /photos —
// page 2 of 3"; an empty site or folder is left out.
QString PrintFooter(const QString& site, const QString& folder, int page, int pages);

// Prints the list on the printer's page: the site and folder at the top of
// the first page, then a table of name, size and date that goes on to new
// pages (each with the table's heading) and a footer on every page. False
// when there is no usable printer or the job failed; *pages says how many.
bool PrintServerList(QPrinter* printer, const PrintedList& list, int* pages = nullptr);

// Prints a document in pages on the printer. False when there is no usable
// printer or the job failed.
bool PrintDocument(QPrinter* printer, QTextDocument& document);

// What both print commands say when the printer let them down.
void ReportPrintProblem(const Services& services);

// The printer to print on: the default one, set up by the person through the
// services' choosePrinter. Empty when there is none, or when the person
// cancelled (then *cancelled is true).
std::unique_ptr<QPrinter> ChosenPrinter(const Services& services, QWidget* parent, bool* cancelled);

// The real choice of printer: the standard print dialog (printer, pages, a
// PDF file); with no printer installed, straight to the name of a PDF file.
// False when the person cancels.
bool ChoosePrinterInteractively(QPrinter& printer, QWidget* parent);

// The print command of the server list. Needs no connection; prints what the
// list holds after the person chose the printer. The status line then says
// how it went, so "Printing File List." never outlives the job.
void PrintRemoteFileList(const Services& services, Feedback& feedback, const PrintedList& list,
                         QWidget* parent = nullptr);

}  // namespace quillmar
