#include "shell/print_list.h"

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

QString PrintFooter(const QString& site, const QString& folder, int page, int pages)
{
    QStringList parts{kAppTitle};
    for (const QString& part : {site, folder})
        if (!part.isEmpty())
            parts << part;
    parts << QStringLiteral("page %1 of %2").arg(page).arg(pages);
    return parts.join(QStringLiteral(" \u2014 "));
}

namespace {

constexpr double kTitleScale = 1.3;     // the site's line, against the body text
constexpr int kColumnGapEms = 2;        // blank space between the table's columns
constexpr int kMinNameColumnEms = 10;   // the name column never shrinks below this

// Where everything goes on a page, in the printer's own units.
struct TableLayout {
    QFont body, bold, title;
    int lineHeight = 1, titleHeight = 1;
    int width = 0, height = 0;
    int nameWidth = 0, sizeLeft = 0, sizeWidth = 0, dateLeft = 0;
    int firstPageRows = 1, otherPageRows = 1;

    int pagesFor(qsizetype rows) const
    {
        if (rows <= firstPageRows)
            return 1;
        return 1 + int((rows - firstPageRows + otherPageRows - 1) / otherPageRows);
    }
};

const QString kNameHeading = QStringLiteral("Name");
const QString kSizeHeading = QStringLiteral("Size");
const QString kDateHeading = QStringLiteral("Date");

int WidestText(const QFontMetrics& metrics, const QString& heading, const QList<PrintedRow>& rows,
               QString PrintedRow::*field)
{
    int widest = metrics.horizontalAdvance(heading);
    for (const PrintedRow& row : rows)
        widest = qMax(widest, metrics.horizontalAdvance(row.*field));
    return widest;
}

TableLayout LayOut(QPainter& painter, QPrinter& printer, const PrintedList& list)
{
    TableLayout layout;
    layout.body = painter.font();
    layout.bold = layout.body;
    layout.bold.setBold(true);
    layout.title = layout.bold;
    layout.title.setPointSizeF(layout.body.pointSizeF() * kTitleScale);
    const QFontMetrics body(layout.body, &printer);
    const QFontMetrics bold(layout.bold, &printer);
    layout.lineHeight = qMax(1, body.lineSpacing());
    layout.titleHeight = qMax(1, QFontMetrics(layout.title, &printer).lineSpacing());
    layout.width = painter.viewport().width();
    layout.height = painter.viewport().height();

    const int gap = kColumnGapEms * body.horizontalAdvance(QLatin1Char('M'));
    layout.sizeWidth = qMax(WidestText(body, kSizeHeading, list.rows, &PrintedRow::size),
                            bold.horizontalAdvance(kSizeHeading));
    const int dateWidth = qMax(WidestText(body, kDateHeading, list.rows, &PrintedRow::date),
                               bold.horizontalAdvance(kDateHeading));
    layout.nameWidth = qMax(kMinNameColumnEms * body.horizontalAdvance(QLatin1Char('M')),
                            layout.width - layout.sizeWidth - dateWidth - 2 * gap);
    layout.sizeLeft = layout.nameWidth + gap;
    layout.dateLeft = layout.sizeLeft + layout.sizeWidth + gap;

    // The table's heading and a blank line above the footer on every page;
    // the site and folder lines and a blank line on the first.
    const int everyPage = 2 * layout.lineHeight + 2 * layout.lineHeight;
    const int firstPage = layout.titleHeight + 2 * layout.lineHeight;
    layout.otherPageRows = qMax(1, (layout.height - everyPage) / layout.lineHeight);
    layout.firstPageRows = qMax(1, (layout.height - everyPage - firstPage) / layout.lineHeight);
    return layout;
}

void DrawLine(QPainter& painter, const QFont& font, int left, int width, int y, const QString& text,
              Qt::Alignment align = Qt::AlignLeft)
{
    painter.setFont(font);
    const QFontMetrics metrics(font, painter.device());
    // Columns are measured in whole units; the elider measures finer and
    // would shorten a text that was measured to fit exactly.
    const QString shown =
        metrics.horizontalAdvance(text) <= width ? text : metrics.elidedText(text, Qt::ElideMiddle, width);
    painter.drawText(QRect(left, y, width, metrics.lineSpacing()), int(align | Qt::AlignVCenter), shown);
}

void DrawTableRow(QPainter& painter, const TableLayout& layout, const QFont& font, int y, const PrintedRow& row)
{
    DrawLine(painter, font, 0, layout.nameWidth, y, row.name);
    DrawLine(painter, font, layout.sizeLeft, layout.sizeWidth, y, row.size, Qt::AlignRight);
    DrawLine(painter, font, layout.dateLeft, layout.width - layout.dateLeft, y, row.date);
}

// The site and folder, then the table's heading; returns where the rows start.
int DrawPageHead(QPainter& painter, const TableLayout& layout, const PrintedList& list, bool first)
{
    int y = 0;
    if (first) {
        const QString site = list.address.isEmpty() || list.address == list.site
                                 ? list.site
                                 : QStringLiteral("%1 (%2)").arg(list.site, list.address);
        DrawLine(painter, layout.title, 0, layout.width, y, QStringLiteral("Site: ") + site);
        y += layout.titleHeight;
        DrawLine(painter, layout.body, 0, layout.width, y,
                 QStringLiteral("Server folder: ") + (list.folder.isEmpty() ? QStringLiteral("(not known)") : list.folder));
        y += 2 * layout.lineHeight;
    }
    DrawTableRow(painter, layout, layout.bold, y, {kNameHeading, kSizeHeading, kDateHeading});
    y += layout.lineHeight;
    painter.drawLine(0, y, layout.width, y);
    return y + layout.lineHeight;
}

}  // namespace

bool PrintServerList(QPrinter* printer, const PrintedList& list, int* pages)
{
    if (!Usable(printer))
        return false;
    QPainter painter;
    if (!painter.begin(printer))
        return false;
    const TableLayout layout = LayOut(painter, *printer, list);
    const int pageCount = layout.pagesFor(list.rows.size());
    if (pages)
        *pages = pageCount;
    qsizetype next = 0;
    for (int page = 1; page <= pageCount; ++page) {
        if (page > 1 && !printer->newPage()) {
            painter.end();
            return false;
        }
        int y = DrawPageHead(painter, layout, list, page == 1);
        const qsizetype end = qMin(list.rows.size(), next + (page == 1 ? layout.firstPageRows : layout.otherPageRows));
        for (; next < end; ++next, y += layout.lineHeight)
            DrawTableRow(painter, layout, layout.body, y, list.rows.at(next));
        DrawLine(painter, layout.body, 0, layout.width, layout.height - layout.lineHeight,
                 PrintFooter(list.site, list.folder, page, pageCount), Qt::AlignHCenter);
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

void PrintRemoteFileList(const Services& services, Feedback& feedback, const PrintedList& list, QWidget* parent)
{
    feedback.status(QStringLiteral("Status: Printing File List."));
    bool cancelled = false;
    std::unique_ptr<QPrinter> printer = ChosenPrinter(services, parent, &cancelled);
    if (cancelled) {
        feedback.status(QStringLiteral("Status: Printing cancelled."));
        return;
    }
    int pages = 0;
    if (!PrintServerList(printer.get(), list, &pages)) {
        feedback.status(QStringLiteral("Status: The file list was not printed."));
        ReportPrintProblem(services);
        return;
    }
    feedback.status(pages == 1 ? QStringLiteral("Status: File list printed (1 page).")
                               : QStringLiteral("Status: File list printed (%1 pages).").arg(pages));
}

}  // namespace quillmar
