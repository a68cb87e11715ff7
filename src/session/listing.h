#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

namespace quillmar {

// The size a listing line gives for a row, kept as a number: the "Size"
// column's text is made when it is shown, since a listing of 100,000 rows
// shows a few dozen of them at a time.
class ListedSize {
public:
    ListedSize() = default;  // the line gives no size
    explicit ListedSize(qint64 bytes);
    // The size field as the line gave it, and its value.
    ListedSize(QStringView field, qint64 value);

    bool isEmpty() const { return value_ < 0; }
    // The "Size" column (RowSizeText's rule): "512 bytes", "1.5 KB",
    // "4.19 MB" with the default locale's decimal separator; empty when the
    // line gives no size.
    QString text() const;

    friend bool operator==(const ListedSize&, const ListedSize&) = default;

private:
    qint64 value_ = -1;
    QString field_;  // the field as it came, kept only where the column shows it otherwise ("007")
};

// One raw listing line, and what is shown of it.
// text: the row's text ("images/" for a folder); size: what the "Size"
// column shows (empty for a folder and for a file whose line gives no size);
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
    ListedSize size;
    qint64 bytes = 0;
    bool link = false;
    QString dateText;
    QDateTime modified;
};

// Turns one listing line into a row. Each line is read in the format it is
// in: a Unix long listing line (with English or other dates, or none), a
// Windows line, a machine listing (MLSD) fact line, NetWare, EPLF, VxWorks
// or AS/400. Empty for the "total" line, for entries of the folder itself or
// its parent ("." "..", cdir, pdir), for blank lines, for a line no format
// reads without doubt, and for a name no command can use ("../x", "a.jpg/",
// CR or NUL inside).
std::optional<ListRow> ParseListLine(const QString& line);

// ParseListLine that also tells (in *unread) whether an empty result is a
// line no format reads rather than a summary or folder entry.
std::optional<ListRow> ReadListLine(const QString& line, bool* unread);

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
