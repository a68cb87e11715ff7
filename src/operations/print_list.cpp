#include "operations/print_list.h"

#include "shell/constants.h"
#include "shell/feedback.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

#include <memory>

namespace quillmar {

namespace {

bool Usable(const QPrinter* printer) { return printer && printer->isValid(); }

// Ends the job; the printer reports a failure either from end() or in its
// state afterwards.
bool Finish(QPainter& painter, QPrinter& printer)
{
    return painter.end() && printer.printerState() != QPrinter::Error;
}

}  // namespace

QStringList RemoteListLines(const QString& url, const QStringList& rowTexts)
{
    QStringList lines{QStringLiteral("Remote file listing for ") + url};
    lines += rowTexts;
    return lines;
}

bool PrintTextLines(QPrinter* printer, const QStringList& lines)
{
    if (!Usable(printer))
        return false;
    QPainter painter;
    if (!painter.begin(printer))
        return false;
    const QFontMetrics metrics(painter.font(), printer);
    const int pageHeight = painter.viewport().height();
    const int lineHeight = qMax(1, metrics.lineSpacing());
    int y = 0;
    for (const QString& line : lines) {
        if (y > 0 && y + lineHeight > pageHeight) {
            if (!printer->newPage()) {
                painter.end();
                return false;
            }
            y = 0;
        }
        painter.drawText(0, y + metrics.ascent(), line);
        y += lineHeight;
    }
    return Finish(painter, *printer);
}

bool PrintDocument(QPrinter* printer, QTextDocument& document)
{
    // Our own painter rather than QTextDocument::print, which does not say
    // when the printer could not be opened; the document lays out the pages.
    if (!Usable(printer))
        return false;
    QPainter painter;
    if (!painter.begin(printer))
        return false;
    const QSizeF page = painter.viewport().size();
    document.documentLayout()->setPaintDevice(printer);
    document.setPageSize(page);
    for (int i = 0; i < document.pageCount(); ++i) {
        if (i > 0 && !printer->newPage()) {
            painter.end();
            return false;
        }
        const QRectF shown(0, i * page.height(), page.width(), page.height());
        painter.save();
        painter.translate(0, -shown.top());
        document.drawContents(&painter, shown);
        painter.restore();
    }
    return Finish(painter, *printer);
}

void ReportPrintProblem(const Services& services)
{
    services.dialogs->message(QStringLiteral("There was a problem printing to your printer."), Dialogs::Buttons::Ok,
                              Dialogs::Icon::Information, kAppTitle);
}

std::unique_ptr<QPrinter> ChosenPrinter(const Services& services, QWidget* parent, bool* cancelled)
{
    *cancelled = false;
    std::unique_ptr<QPrinter> printer = services.printer ? services.printer() : nullptr;
    if (printer && services.choosePrinter && !services.choosePrinter(*printer, parent)) {
        *cancelled = true;
        return nullptr;
    }
    return printer;
}

bool ChoosePrinterInteractively(QPrinter& printer, QWidget* parent)
{
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        QString file = QFileDialog::getSaveFileName(parent, QStringLiteral("Print to a PDF File"),
                                                    QDir::home().filePath(QStringLiteral("Quillmar.pdf")),
                                                    QStringLiteral("PDF files (*.pdf)"));
        if (file.isEmpty())
            return false;
        if (!file.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
            file += QLatin1String(".pdf");
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        return true;
    }
    QPrintDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("PrintDialog"));
    return dialog.exec() == QDialog::Accepted;
}

void PrintRemoteFileList(const Services& services, Feedback& feedback, const QString& url,
                         const QStringList& rowTexts, QWidget* parent)
{
    feedback.status(QStringLiteral("Status: Printing File List."));
    bool cancelled = false;
    std::unique_ptr<QPrinter> printer = ChosenPrinter(services, parent, &cancelled);
    if (cancelled) {
        feedback.status(QStringLiteral("Status: Printing cancelled."));
        return;
    }
    if (!PrintTextLines(printer.get(), RemoteListLines(url, rowTexts)))
        ReportPrintProblem(services);
}

}  // namespace quillmar
