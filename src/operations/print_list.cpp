#include "operations/print_list.h"

#include "shell/feedback.h"

#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <memory>

namespace quillmar {

namespace {

constexpr double kScreenPixelsPerInch = 96.0;
constexpr double kTwipsPerInch = 1440.0;

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

bool PrintDrawing(QPrinter* printer, QSize pixels, int leftTwips, int topTwips,
                  const std::function<void(QPainter&)>& draw)
{
    if (!Usable(printer))
        return false;
    QPainter painter;
    if (!painter.begin(printer))
        return false;
    const double dotsPerInch = printer->resolution();
    painter.translate(leftTwips * dotsPerInch / kTwipsPerInch, topTwips * dotsPerInch / kTwipsPerInch);
    painter.scale(dotsPerInch / kScreenPixelsPerInch, dotsPerInch / kScreenPixelsPerInch);
    painter.setClipRect(QRect(QPoint(0, 0), pixels));
    draw(painter);
    return Finish(painter, *printer);
}

void ReportPrintProblem(const Services& services)
{
    services.dialogs->message(QStringLiteral("There was a problem printing to your printer."), Dialogs::Buttons::Ok,
                              Dialogs::Icon::Information, QStringLiteral("Quillmar"));
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
