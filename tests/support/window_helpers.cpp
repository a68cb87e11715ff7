#include "support/window_helpers.h"

#include <QAbstractItemView>
#include <QPrinter>
#include <QProcess>
#include <QTest>

std::function<std::unique_ptr<QPrinter>()> PdfPrinter(const QString& path)
{
    return [path] {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(path);
        return printer;
    };
}

QStringList PdfLines(const QString& path)
{
    QProcess tool;
    tool.start("pdftotext", {"-layout", path, "-"});
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
        return {"<pdftotext failed: " + QString::fromUtf8(tool.readAllStandardError()) + ">"};
    // "ﬁ" ligatures back to letters; a page break on a line of its own.
    const QString text = QString::fromUtf8(tool.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
    QStringList lines;
    for (const QString& line : QString(text).replace(u'\f', "\n\f\n").split(u'\n'))
        if (line == "\f" || !line.trimmed().isEmpty())
            lines << (line == "\f" ? line : line.trimmed());
    while (!lines.isEmpty() && lines.last() == "\f")
        lines.removeLast();
    return lines;
}

void ClickRow(QAbstractItemView* view, int row, bool twice)
{
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    const QPoint at = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    if (twice)
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

QStringList RowTexts(const QAbstractItemView* view)
{
    QStringList texts;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        texts << view->model()->index(row, 0).data().toString();
    return texts;
}
