#include "sites/ui_kit.h"

#include <QAbstractItemView>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

namespace uikit {

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

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
    tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
        return {QStringLiteral("<pdftotext failed: %1>").arg(QString::fromUtf8(tool.readAllStandardError()))};
    QStringList lines;
    for (QString line : QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n')) {
        if (line.startsWith(u'\f')) {
            lines << QStringLiteral("\f");
            line.remove(0, 1);
        }
        line = line.normalized(QString::NormalizationForm_KC).trimmed();  // "ﬁ" ligatures back to letters
        if (!line.isEmpty())
            lines << line;
    }
    if (!lines.isEmpty() && lines.last() == QStringLiteral("\f"))
        lines.removeLast();
    return lines;
}

void ClickRow(QAbstractItemView* view, int row)
{
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());

}

void DoubleClickRow(QAbstractItemView* view, int row)
{
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    const QPoint at = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

QStringList RowTexts(const QAbstractItemView* view)
{
    QStringList texts;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        texts << view->model()->index(row, 0).data().toString();
    return texts;
}

}  // namespace uikit
