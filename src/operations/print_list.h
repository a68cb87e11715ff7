#pragma once

#include "shell/services.h"

#include <QString>
#include <QStringList>

#include <memory>

class QPrinter;
class QTextDocument;
class QWidget;

namespace quillmar {

class Feedback;

// The printed server list: a heading naming the server, then every row's
// text in list order (folders keep their "/").
QStringList RemoteListLines(const QString& url, const QStringList& rowTexts);

// Prints text lines top to bottom in the printer's own font, going on to a
// new page when one is full. False when there is no usable printer or the
// job failed.
bool PrintTextLines(QPrinter* printer, const QStringList& lines);

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
// list holds after the person chose the printer. The status line keeps its
// text afterwards.
void PrintRemoteFileList(const Services& services, Feedback& feedback, const QString& url,
                         const QStringList& rowTexts, QWidget* parent = nullptr);

}  // namespace quillmar
