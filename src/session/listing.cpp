#include "session/listing.h"

#include <QtNumeric>

#include <algorithm>
#include <array>
#include <limits>

namespace quillmar {
namespace {

constexpr qint64 kMaxBytes = std::numeric_limits<qint64>::max();

bool IsBlank(QChar c) { return c == u' '; }  // tabs are not blanks here
bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// The summary line ("total 48") that opens a long listing, in any letter case.
bool IsTotalLine(const QString& line)
{
    return line.startsWith(QLatin1StringView("total"), Qt::CaseInsensitive);
}

// Adds one decimal digit, sticking at the largest value instead of wrapping.
qint64 AppendDigit(qint64 value, int digit)
{
    if (value > (kMaxBytes - digit) / 10)
        return kMaxBytes;
    return value * 10 + digit;
}

// The leading run of digits; 0 when the text does not start with one.
qint64 LeadingNumber(QStringView text)
{
    qint64 value = 0;
    for (QChar c : text) {
        if (!IsDigit(c))
            break;
        value = AppendDigit(value, c.unicode() - u'0');
    }
    return value;
}

// value / divisor rounded to a whole number, halves to the even neighbour.
// Exact for any non-negative value: no floating point on the way.
qint64 DivideHalfEven(qint64 value, qint64 divisor)
{
    qint64 quotient = value / divisor;
    const qint64 remainder = value % divisor;
    const qint64 rest = divisor - remainder;
    if (remainder > rest || (remainder == rest && (quotient & 1)))
        ++quotient;
    return quotient;
}

// Digits of a non-negative number, written into the end of a buffer.
struct Digits {
    std::array<char16_t, 24> buffer{};
    qsizetype first = qsizetype(buffer.size());

    explicit Digits(qint64 value)
    {
        do {
            buffer[--first] = char16_t(u'0' + value % 10);
            value /= 10;
        } while (value > 0);
    }
    QStringView view() const { return QStringView(buffer.data() + first, buffer.size() - first); }
};

// A fixed-point number (value / 10^places) in its shortest form, then the
// unit: 453 with 1 place is "45.3", 450 is "45", 1230 with 2 places is "12.3".
QString ShortDecimal(qint64 value, int places, QChar point, QStringView unit)
{
    qint64 scale = 1;
    for (int i = 0; i < places; ++i)
        scale *= 10;
    const Digits whole(value / scale);
    qint64 fraction = value % scale;
    if (fraction == 0)
        return whole.view() % unit;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --places;
    }
    std::array<char16_t, 8> tail{};
    tail[0] = point.unicode();
    for (int i = places; i > 0; --i, fraction /= 10)
        tail[i] = char16_t(u'0' + fraction % 10);
    return whole.view() % QStringView(tail.data(), places + 1) % unit;
}

// The one size rule of every size the window shows (list column, totals,
// picture facts, transfer speed): kilobytes with one decimal, megabytes with
// two, decimal units, halves to even, shortest form. value >= 1000.
QString ScaledSize(qint64 value, QChar point)
{
    if (value < 1000000)
        return ShortDecimal(DivideHalfEven(value, 100), 1, point, u" KB");
    return ShortDecimal(DivideHalfEven(value, 10000), 2, point, u" MB");
}

QChar DecimalPoint();

// The "Size" column for a field whose leading number is value.
QString SizeColumn(QStringView field, qint64 value)
{
    if (value < 1000)
        return field % u" bytes";
    return ScaledSize(value, DecimalPoint());
}

// The default locale's decimal separator, looked up again only when the
// default locale changes: every file row of a listing needs it.
QChar DecimalPoint()
{
    struct Cached {
        QLocale locale = QLocale::c();
        QChar point = u'.';
    };
    thread_local Cached cached;
    const QLocale now;
    if (!(now == cached.locale)) {
        const QString point = now.decimalPoint();
        cached.locale = now;
        cached.point = point.size() == 1 ? point.front() : QChar(u'.');
    }
    return cached.point;
}

QStringView TrimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

// ---- reading one entry in whichever format its line is in

enum class Kind { Unread, Itself, File, Folder, Link };

struct Entry {
    Kind kind = Kind::Unread;
    QStringView name;
    QStringView size;  // digits; empty counts as 0
    QString date;      // when it was last changed, as the server put it
};

bool AllDigits(QStringView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// Walks the blank-separated fields of a line; pos() is where the last one ended.
class Fields {
public:
    explicit Fields(QStringView line, qsizetype from = 0) : line_(line), pos_(from) {}

    // The next field, or an empty view at the end of the line.
    QStringView next()
    {
        while (pos_ < line_.size() && IsBlank(line_[pos_]))
            ++pos_;
        const qsizetype begin = pos_;
        while (pos_ < line_.size() && !IsBlank(line_[pos_]))
            ++pos_;
        return line_.sliced(begin, pos_ - begin);
    }
    qsizetype pos() const { return pos_; }

private:
    QStringView line_;
    qsizetype pos_;
};

bool IsMonth(QStringView field)
{
    static constexpr char16_t kMonths[] = u"janfebmaraprmayjunjulaugsepoctnovdec";
    if (field.size() != 3)
        return false;
    // Letters only; OR-ing 0x20 lowers ASCII capitals.
    const char16_t a = field[0].unicode() | 0x20, b = field[1].unicode() | 0x20, c = field[2].unicode() | 0x20;
    if (a < u'a' || a > u's')  // no month name starts elsewhere
        return false;
    for (int i = 0; i < 36; i += 3) {
        if (kMonths[i] == a && kMonths[i + 1] == b && kMonths[i + 2] == c)
            return true;
    }
    return false;
}

bool IsDay(QStringView field)
{
    if (field.size() > 2 || !AllDigits(field))
        return false;
    const qint64 day = LeadingNumber(field);
    return day >= 1 && day <= 31;
}

// "9:05", "12:00" (the time of a recent entry) or "2019" (an older one's year).
bool IsTimeOrYear(QStringView field)
{
    const qsizetype n = field.size();
    if (n == 4 && AllDigits(field))
        return true;
    return (n == 4 || n == 5) && field[n - 3] == u':' && AllDigits(field.first(n - 3)) && AllDigits(field.sliced(n - 2));
}

bool IsPermission(QChar c)
{
    switch (c.unicode()) {
    case u'-': case u'r': case u'w': case u'x': case u's': case u'S': case u't': case u'T': case u'l': case u'L':
        return true;
    default:
        return false;
    }
}

// A Unix long listing line: type and permissions (perhaps with an ACL mark),
// then link count, owner and group (either may be missing or glued
// together), the size (or a device's "major, minor"), month, day, time or
// year, and the name.
Entry ReadUnix(QStringView line)
{
    Entry entry;
    if (line.size() < 11 || IsBlank(line[0]) || !std::all_of(line.begin() + 1, line.begin() + 10, IsPermission))
        return entry;
    qsizetype at = 10;
    if (!IsBlank(line[at])) {
        if (line[at] != u'+' && line[at] != u'@' && line[at] != u'.')
            return entry;
        ++at;
    }

    // Up to six fields before the month: link count, owner, group, size and
    // a device's two numbers. The month is the first month name after them
    // that a day and a time or year follow.
    constexpr int kMaxBefore = 6;
    std::array<QStringView, kMaxBefore> before;
    Fields fields(line, at);
    int count = 0;
    QStringView month, day, time;
    for (;; ++count) {
        const QStringView field = fields.next();
        if (field.isEmpty())
            return entry;
        if (count >= 2 && IsMonth(field)) {
            Fields ahead = fields;
            month = field;
            day = ahead.next();
            time = ahead.next();
            if (IsDay(day) && IsTimeOrYear(time)) {
                fields = ahead;
                break;
            }
        }
        if (count == kMaxBefore)
            return entry;
        before[count] = field;
    }

    // A device has no size but a "major, minor" pair (or "major,minor").
    QStringView size = before[count - 1];
    if (AllDigits(size)) {
        if (before[count - 2].back() == u',')  // "4, 65"
            size = u"0";
    } else if (size.contains(u',')) {  // "4,65"
        size = u"0";
    } else {
        return entry;
    }

    // The one-blank rule: when the time or year fills its five-character
    // column, exactly one blank comes before the name, so blanks that open
    // the name are part of it. Otherwise the name starts at its first
    // non-blank character.
    const qsizetype timeStart = time.data() - line.data();
    qsizetype nameStart = timeStart + time.size();
    const bool regular = time.size() == 5 || (time.size() == 4 && IsBlank(line[timeStart - 2]));
    if (nameStart >= line.size() || !IsBlank(line[nameStart]))
        return entry;
    ++nameStart;
    if (!regular) {
        while (nameStart < line.size() && IsBlank(line[nameStart]))
            ++nameStart;
    }
    QStringView name = line.sliced(nameStart);
    if (line[0] == u'l') {
        const qsizetype arrow = name.indexOf(u" -> ");
        if (arrow >= 0)
            name = name.first(arrow);
        entry.kind = Kind::Link;
    } else {
        entry.kind = line[0] == u'd' ? Kind::Folder : Kind::File;
    }
    if (name.isEmpty())
        return Entry{};
    entry.name = name;
    entry.size = size;
    entry.date = month % u' ' % day % u' ' % time;
    return entry;
}

// "12-06-26" or "12-06-2026".
bool IsWindowsDate(QStringView field)
{
    return (field.size() == 8 || field.size() == 10) && field[2] == u'-' && field[5] == u'-'
           && AllDigits(field.first(2)) && AllDigits(field.sliced(3, 2)) && AllDigits(field.sliced(6));
}

// "10:15AM", "10:15pm" or "22:15".
bool IsWindowsTime(QStringView field)
{
    if (field.size() == 7) {
        const QStringView half = field.sliced(5);
        if (half.compare(u"AM", Qt::CaseInsensitive) != 0 && half.compare(u"PM", Qt::CaseInsensitive) != 0)
            return false;
        field = field.first(5);
    }
    return field.size() == 5 && field[2] == u':' && AllDigits(field.first(2)) && AllDigits(field.sliced(3));
}

// A Windows (IIS) line: date, time, "<DIR>" or the size, then the name with
// its inner blanks.
Entry ReadWindows(QStringView line)
{
    Entry entry;
    Fields fields(line);
    const QStringView date = fields.next();
    const QStringView time = fields.next();
    if (!IsWindowsDate(date) || !IsWindowsTime(time))
        return entry;
    const QStringView what = fields.next();
    const bool folder = what.compare(u"<DIR>", Qt::CaseInsensitive) == 0;
    if (!folder && !AllDigits(what))
        return entry;
    qsizetype nameStart = fields.pos();
    while (nameStart < line.size() && IsBlank(line[nameStart]))
        ++nameStart;
    if (nameStart == fields.pos() || nameStart >= line.size())
        return entry;
    entry.kind = folder ? Kind::Folder : Kind::File;
    entry.name = line.sliced(nameStart);
    entry.date = date % u' ' % time;
    if (!folder)
        entry.size = what;
    return entry;
}

// A machine listing time "20261206120500" (UTC, perhaps with a fraction)
// as "2026-12-06 12:05 UTC"; as it came when it is not one.
QString FactTimeText(QStringView value)
{
    constexpr qsizetype kMinutesEnd = 12;  // YYYYMMDDHHMM
    if (value.size() < kMinutesEnd || !AllDigits(value.first(kMinutesEnd)))
        return value.toString();
    return value.first(4) % u'-' % value.sliced(4, 2) % u'-' % value.sliced(6, 2) % u' ' % value.sliced(8, 2)
           % u':' % value.sliced(10, 2) % u" UTC";
}

// A machine listing line: "fact=value;fact=value; name". The name is
// everything after the blank that ends the facts, exactly as sent.
Entry ReadFacts(QStringView line)
{
    Entry entry;
    const qsizetype blank = line.indexOf(u' ');
    if (blank <= 0 || line[blank - 1] != u';' || blank + 1 >= line.size())
        return entry;
    const QStringView facts = line.first(blank - 1);
    bool typed = false;
    for (const QStringView fact : facts.tokenize(u';')) {
        const qsizetype equals = fact.indexOf(u'=');
        if (equals <= 0)
            return Entry{};
        const QStringView key = fact.first(equals);
        const QStringView value = fact.sliced(equals + 1);
        if (key.compare(u"type", Qt::CaseInsensitive) == 0) {
            typed = true;
            if (value.compare(u"dir", Qt::CaseInsensitive) == 0)
                entry.kind = Kind::Folder;
            else if (value.compare(u"cdir", Qt::CaseInsensitive) == 0 || value.compare(u"pdir", Qt::CaseInsensitive) == 0)
                entry.kind = Kind::Itself;
            else if (value.startsWith(u"OS.unix=slink", Qt::CaseInsensitive)
                     || value.startsWith(u"OS.unix=symlink", Qt::CaseInsensitive))
                entry.kind = Kind::Link;
            else
                entry.kind = Kind::File;
        } else if (key.compare(u"size", Qt::CaseInsensitive) == 0) {
            if (!AllDigits(value))
                return Entry{};
            entry.size = value;
        } else if (key.compare(u"modify", Qt::CaseInsensitive) == 0) {
            entry.date = FactTimeText(value);
        }
    }
    if (!typed)
        entry.kind = Kind::File;
    entry.name = line.sliced(blank + 1);
    return entry;
}

// "." and "..": the folder itself and its parent.
bool IsDotName(QStringView name)
{
    return (name.size() == 1 || name.size() == 2) && name[0] == u'.' && name.back() == u'.';
}

Entry ReadEntry(QStringView line)
{
    Entry entry = ReadUnix(line);
    if (entry.kind == Kind::Unread && !line.isEmpty() && IsDigit(line[0]))
        entry = ReadWindows(line);
    if (entry.kind == Kind::Unread)
        entry = ReadFacts(line);
    return entry;
}

}  // namespace

std::optional<ListRow> ParseListLine(const QString& line)
{
    return ReadListLine(line, nullptr);
}

std::optional<ListRow> ReadListLine(const QString& line, bool* unread)
{
    if (unread)
        *unread = false;
    if (IsTotalLine(line))
        return std::nullopt;
    QStringView all(line);
    if (all.size() >= 2 && all[all.size() - 2] == u'\r' && all.back() == u'\n')
        all.chop(2);
    if (TrimBlanks(all).isEmpty())
        return std::nullopt;

    const Entry entry = ReadEntry(all);
    if (entry.kind == Kind::Unread) {
        if (unread)
            *unread = true;
        return std::nullopt;
    }
    if (entry.kind == Kind::Itself || IsDotName(entry.name))
        return std::nullopt;

    ListRow row;
    row.dateText = entry.date;
    if (entry.kind == Kind::Folder) {
        row.folder = true;
        row.text = entry.name % u'/';
        return row;
    }
    row.link = entry.kind == Kind::Link;
    row.text = entry.name.toString();
    row.bytes = LeadingNumber(entry.size);
    row.sizeText = SizeColumn(entry.size, row.bytes);
    return row;
}

QString LeftOutText(qint64 lines)
{
    if (lines <= 0)
        return {};
    return lines == 1 ? QStringLiteral(" (1 line not understood)")
                      : QStringLiteral(" (%1 lines not understood)").arg(lines);
}

QString RowSizeText(const QString& sizeField)
{
    return SizeColumn(sizeField, LeadingNumber(sizeField));
}

QString TotalsText(qint64 files, qint64 bytes, const QLocale& locale)
{
    const QString head = QLatin1StringView("Total: ") % QString::number(files)
                         % QLatin1StringView(" files ");
    if (bytes < 1000)
        return head % QString::number(bytes) % QLatin1StringView(" bytes");
    const QString point = locale.decimalPoint();
    return head % ScaledSize(bytes, point.size() == 1 ? point.front() : QChar(u'.'));
}

qint64 SizeFromReply(const QString& reply, qint64 previous)
{
    // Replies starting with "0" or "1" (or nothing) say nothing about the size.
    if (reply.isEmpty() || reply[0] <= u'1')
        return previous;

    // The number after the three-character code; blanks inside it are
    // skipped, a fraction rounds halves to even.
    const QStringView rest = TrimBlanks(QStringView(reply).mid(3));
    qsizetype i = 0;
    qint64 value = 0;
    for (; i < rest.size(); ++i) {
        if (IsDigit(rest[i]))
            value = AppendDigit(value, rest[i].unicode() - u'0');
        else if (!IsBlank(rest[i]))
            break;
    }
    if (i == rest.size() || rest[i] != u'.')
        return value;

    int firstDecimal = -1;
    bool moreAfterHalf = false;
    for (++i; i < rest.size(); ++i) {
        if (IsDigit(rest[i])) {
            const int digit = rest[i].unicode() - u'0';
            if (firstDecimal < 0)
                firstDecimal = digit;
            else if (digit != 0)
                moreAfterHalf = true;
        } else if (!IsBlank(rest[i])) {
            break;
        }
    }
    const bool roundUp = firstDecimal > 5 || (firstDecimal == 5 && (moreAfterHalf || (value & 1)));
    if (roundUp && value < kMaxBytes)
        ++value;
    return value;
}

qint64 AddToTotal(qint64 total, qint64 bytes)
{
    qint64 sum = 0;
    if (qAddOverflow(total, bytes, &sum))
        return bytes > 0 ? kMaxBytes : std::numeric_limits<qint64>::min();
    return sum;
}

}  // namespace quillmar
