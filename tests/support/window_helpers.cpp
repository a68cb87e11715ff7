#include "support/window_helpers.h"

#include <QAbstractItemView>
#include <QJsonDocument>
#include <QPrinter>
#include <QProcess>
#include <QTest>

QJsonObject RunPython(const QString& script, const QStringList& arguments)
{
    QProcess python;
    python.start(qEnvironmentVariable("QUILLMAR_PYTHON", QStringLiteral("/usr/bin/python3")),
                 QStringList{QStringLiteral("-c"), script} + arguments);
    python.waitForFinished(120000);
    const QByteArray out = python.readAllStandardOutput();
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(out).object();
}

void WriteCameraPhoto(const QString& path, int storedWidth, int storedHeight)
{
    static const char* const script = R"(
import sys
from PIL import Image
w, h = int(sys.argv[2]), int(sys.argv[3])
im = Image.new("RGB", (w, h), (30, 30, 220))
im.paste((220, 30, 30), (0, 0, w, h // 2))
exif = Image.Exif()
exif[0x0112] = 6
exif[0x0110] = "QuillCam 7"
exif[0x8825] = {1: "N", 2: (52.0, 31.0, 12.0), 3: "E", 4: (13.0, 24.0, 0.0)}
im.save(sys.argv[1], "JPEG", exif=exif.tobytes(), quality=90)
print("{}")
)";
    RunPython(QLatin1String(script), {path, QString::number(storedWidth), QString::number(storedHeight)});
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

QStringList RowTexts(const QAbstractItemView* view, int column, int role)
{
    QStringList texts;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        texts << view->model()->index(row, column).data(role).toString();
    return texts;
}
