#pragma once

#include "shell/services.h"

#include <QString>
#include <QStringList>

class QTextDocument;
class QPrinter;

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

// The print command of the server list. Needs no connection; prints what the
// list holds. The status line keeps its text afterwards.
void PrintRemoteFileList(const Services& services, Feedback& feedback, const QString& url,
                         const QStringList& rowTexts);

}  // namespace quillmar
