#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

namespace quillmar {

// One raw listing line, and the texts built from it.
// text: the row's text ("images/" for a folder); sizeText: the "Size" column
// ("999 bytes", empty for a folder and for a file whose line gives no size);
// bytes: the size field read as a number,
// what a file row adds to the totals (0 for a folder); link: the entry is a
// link (shown and counted as a file; it may still lead to a folder);
// dateText: when it last changed, as the server gave it ("Dec 6 12:00",
// "12-06-26 10:15AM", "2026-12-06 12:05 UTC"), empty when not given;
// modified: the exact time (UTC) where the line gives one (a machine
// listing's "modify" fact), invalid otherwise.
struct ListRow {
    QString text;
    bool folder = false;
    QString sizeText;
    qint64 bytes = 0;
    bool link = false;
    QString dateText;
    QDateTime modified;
};

// Turns the lines of a listing into rows. Each line is read in the format
// it is in: a Unix long listing line (with English or other dates, or none),
// a Windows line, a machine listing (MLSD) fact line, NetWare, EPLF, VxWorks
// or AS/400. Empty for the "total" line, for entries of the folder itself or
// its parent ("." "..", cdir, pdir), for blank lines, for a line no format
// reads without doubt, and for a name no command can use ("../x", "a.jpg/",
// CR or NUL inside). The size column's decimal separator is the default
// locale's when the reader is made: asking the locale on every row was
// nearly a tenth of a long listing's reading.
class ListReader {
public:
    ListReader();
    // *unread (when given) tells whether an empty result is a line no format
    // reads rather than a summary or folder entry.
    std::optional<ListRow> read(const QString& line, bool* unread = nullptr) const;

private:
    QChar point_;
};

// One line read on its own.
std::optional<ListRow> ParseListLine(const QString& line);

// What panel 3 adds after the totals when lines were left out of the list:
// empty for none, " (1 line not understood)", " (3 lines not understood)".
QString LeftOutText(qint64 lines);

// The "Size" column of a file row: "512 bytes", "1.5 KB", "4.19 MB": the same
// rule as the totals (decimal units, one decimal for KB and two for MB,
// halves to even, the default locale's decimal separator). Below 1000 the
// field is shown as it came.
QString RowSizeText(const QString& sizeField);

// The totals panel: "Total: 3 files 512 bytes", "... 45.3 KB", "... 12.35 MB",
// with the locale's decimal separator and no digit grouping; the sizes follow
// the same rule as the "Size" column.
QString TotalsText(qint64 files, qint64 bytes, const QLocale& locale = QLocale());

// The expected size of a transfer from the reply to "SIZE name": a reply that
// is not preliminary gives the number after its code (0 when there is none);
// anything else keeps previous.
qint64 SizeFromReply(const QString& reply, qint64 previous);

// A machine listing time ("20261206120500", perhaps with a fraction) as a
// UTC time; invalid when it is not one.
QDateTime FactTime(QStringView value);

// Adds a row's bytes to a running total without ever wrapping around.
qint64 AddToTotal(qint64 total, qint64 bytes);

}  // namespace quillmar
