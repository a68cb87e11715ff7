#include "session/listing.h"

#include "session/entry_names.h"
#include "session/text_block.h"

#include <QtNumeric>

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace quillmar {
namespace {

constexpr qint64 kMaxBytes = std::numeric_limits<qint64>::max();

bool IsBlank(QChar c) { return c == u' '; }  // tabs are not blanks here
bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// The summary line ("total 48") that opens a long listing, in any letter case.
bool IsTotalLine(const QString& line)
{
    // The first letter alone rules out nearly every line without a call.
    return !line.isEmpty() && (line.front() == u't' || line.front() == u'T')
           && line.startsWith(QLatin1StringView("total"), Qt::CaseInsensitive);
}

// Adds one decimal digit, sticking at the largest value instead of wrapping.
qint64 AppendDigit(qint64 value, int digit)
{
    qint64 result = 0;
    if (qMulOverflow(value, qint64(10), &result) || qAddOverflow(result, qint64(digit), &result))
        return kMaxBytes;
    return result;
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

// A locale's decimal separator; "." where it is more than one character.
QChar DecimalPoint(const QLocale& locale = QLocale())
{
    const QString point = locale.decimalPoint();
    return point.size() == 1 ? point.front() : QChar(u'.');
}

// The "Size" column for a field whose leading number is value.
QString SizeColumn(QStringView field, qint64 value)
{
    if (value < 1000)
        return field % u" bytes";
    return ScaledSize(value, DecimalPoint());
}

// A listing row's two texts: its name and its date.
using RowTexts = TextBlock<2>;

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
    QStringView size;  // digits, perhaps grouped ("9,730"); empty when the line gives none
    QStringView date;  // when it last changed, as the line gives it; empty when it does not
    bool machineDate = false;  // date is a machine listing's "modify" time
};

// Q_ALWAYS_INLINE on the checks the date search makes for every field of
// every line: once the rarer readers called them too, the compiler stopped
// inlining them and long listings read slower.
Q_ALWAYS_INLINE bool AllDigits(QStringView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// The value of a size field, thousands separators skipped.
qint64 SizeValue(QStringView size)
{
    qint64 value = 0;
    for (QChar c : size) {
        if (IsDigit(c))
            value = AppendDigit(value, c.unicode() - u'0');
    }
    return value;
}

// "9,730" or "1.234.567": a number whose thousands are set apart.
bool IsGroupedNumber(QStringView field)
{
    constexpr qsizetype kGroup = 3;
    qsizetype lead = 0;
    while (lead < field.size() && IsDigit(field[lead]))
        ++lead;
    if (lead < 1 || lead > kGroup || lead == field.size() || field[0] == u'0')
        return false;
    const QChar separator = field[lead];
    if (separator != u',' && separator != u'.')
        return false;
    for (qsizetype i = lead; i < field.size(); i += kGroup + 1) {
        if (i + kGroup + 1 > field.size() || field[i] != separator || !AllDigits(field.sliced(i + 1, kGroup)))
            return false;
    }
    return true;
}

bool IsSizeField(QStringView field) { return AllDigits(field) || IsGroupedNumber(field); }

// Walks the blank-separated fields of a line; pos() is where the last one ended.
class Fields {
public:
    explicit Fields(QStringView line, qsizetype from = 0) : line_(line), pos_(from) {}

    // The next field, or an empty view at the end of the line.
    QStringView next()
    {
        const qsizetype size = line_.size();
        qsizetype at = pos_;
        while (at < size && IsBlank(line_[at]))
            ++at;
        const qsizetype begin = at;
        while (at < size && !IsBlank(line_[at]))
            ++at;
        pos_ = at;
        return line_.sliced(begin, at - begin);
    }
    qsizetype pos() const { return pos_; }

private:
    QStringView line_;
    qsizetype pos_;
};

// The rest of the line after the blanks at pos; empty when no blank comes
// first or nothing follows.
QStringView RestAfterBlanks(QStringView line, qsizetype pos)
{
    if (pos >= line.size() || !IsBlank(line[pos]))
        return {};
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    return line.sliced(pos);
}

Q_ALWAYS_INLINE bool IsMonth(QStringView field)
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

// Month names as servers set up for other languages write them (and the
// English names in full), in lower case.
constexpr QStringView kOtherMonths[] = {
    u"january", u"february", u"march", u"april", u"june", u"july", u"august", u"sept", u"september",
    u"october", u"november", u"december",
    u"mär", u"mrz", u"mai", u"okt", u"dez", u"januar", u"februar", u"märz", u"juni", u"juli", u"oktober",
    u"dezember",
    u"janv", u"févr", u"fév", u"mars", u"avr", u"juin", u"juil", u"août", u"déc",
    u"янв", u"фев", u"мар", u"апр", u"май", u"мая", u"июн", u"июл", u"авг", u"сен", u"окт", u"ноя", u"дек",
};

// A field without the "." or "," that follows a day or month ("19.", "Juli,").
QStringView WithoutMark(QStringView field)
{
    if (!field.isEmpty() && (field.back() == u'.' || field.back() == u','))
        field.chop(1);
    return field;
}

bool IsAnyMonth(QStringView field)
{
    field = WithoutMark(field);
    if (IsMonth(field))
        return true;
    return std::any_of(std::begin(kOtherMonths), std::end(kOtherMonths),
                       [field](QStringView month) { return field.compare(month, Qt::CaseInsensitive) == 0; });
}

// One or two digits from low to high.
Q_ALWAYS_INLINE bool IsNumberIn(QStringView field, qint64 low, qint64 high)
{
    if (field.size() > 2 || !AllDigits(field))
        return false;
    qint64 value = field[0].unicode() - u'0';
    if (field.size() == 2)
        value = value * 10 + (field[1].unicode() - u'0');
    return value >= low && value <= high;
}

constexpr qint64 kLastMonth = 12;
constexpr qint64 kLastDay = 31;
constexpr qint64 kLastHour = 23;
constexpr qint64 kLastMinute = 59;

Q_ALWAYS_INLINE bool IsDay(QStringView field) { return IsNumberIn(field, 1, kLastDay); }

// "9:05", "12:00" (the time of a recent entry) or "2019" (an older one's year).
Q_ALWAYS_INLINE bool IsTimeOrYear(QStringView field)
{
    const qsizetype n = field.size();
    if (n == 4 && AllDigits(field))
        return true;
    return (n == 4 || n == 5) && field[n - 3] == u':' && AllDigits(field.first(n - 3)) && AllDigits(field.sliced(n - 2));
}

// "9:05", "21:22", "21:22:33" or "21:22:33.000000000".
bool IsClock(QStringView field)
{
    const qsizetype dot = field.indexOf(u'.');
    if (dot >= 0) {
        if (!AllDigits(field.sliced(dot + 1)))
            return false;
        field = field.first(dot);
    }
    const QList<QStringView> parts = field.split(u':');
    if (parts.size() < 2 || parts.size() > 3 || !IsNumberIn(parts[0], 0, kLastHour))
        return false;
    return std::all_of(parts.begin() + 1, parts.end(),
                       [](QStringView part) { return part.size() == 2 && IsNumberIn(part, 0, kLastMinute); });
}

// "+0200" or "-0500" after a full time.
bool IsZone(QStringView field)
{
    return field.size() == 5 && (field[0] == u'+' || field[0] == u'-') && AllDigits(field.sliced(1));
}

// "2005-06-07".
bool IsIsoDate(QStringView field)
{
    return field.size() == 10 && field[4] == u'-' && field[7] == u'-' && AllDigits(field.first(4))
           && IsNumberIn(field.sliced(5, 2), 1, kLastMonth) && IsDay(field.sliced(8));
}

// "3月", "29日", "2005年" and the Korean "3월", "29일", "2005년": a number and its unit.
bool IsNumberWithUnit(QStringView field, char16_t unit, char16_t koreanUnit, qsizetype maxDigits)
{
    return field.size() >= 2 && field.size() <= maxDigits + 1
           && (field.back() == unit || field.back() == koreanUnit) && AllDigits(field.chopped(1));
}
bool IsCjkMonth(QStringView field) { return IsNumberWithUnit(field, u'月', u'월', 2); }
bool IsCjkDay(QStringView field) { return IsNumberWithUnit(field, u'日', u'일', 2); }
bool IsCjkYear(QStringView field) { return IsNumberWithUnit(field, u'年', u'년', 4); }

// The date of an English Unix line: "Jan  5 12:00" or "Jan  5  2019". Takes
// the date's first field and the fields after it; returns the date's last
// field, or an empty view when there is no such date here.
QStringView ReadEnglishDate(QStringView field, const Fields& after)
{
    if (!IsMonth(field))
        return {};
    Fields ahead = after;
    const QStringView day = ahead.next();
    const QStringView time = ahead.next();
    return IsDay(day) && IsTimeOrYear(time) ? time : QStringView();
}

// The dates of servers set up for other languages, and ISO dates. The same
// contract as ReadEnglishDate.
QStringView ReadOtherDate(QStringView field, const Fields& after)
{
    Fields ahead = after;
    // "Mär  3 12:00", "май 5 2005", "Juli, 26 2005"
    if (IsAnyMonth(field)) {
        const QStringView day = WithoutMark(ahead.next());
        const QStringView last = ahead.next();
        return IsDay(day) && IsTimeOrYear(last) ? last : QStringView();
    }
    // "19. Sep 12:00", "26. Juli, 2005"
    if (field.endsWith(u'.') && IsDay(field.chopped(1))) {
        const QStringView month = ahead.next();
        const QStringView last = ahead.next();
        return IsAnyMonth(month) && IsTimeOrYear(last) ? last : QStringView();
    }
    // "3 29 03:26": month and day as numbers
    if (IsNumberIn(field, 1, kLastMonth)) {
        const QStringView day = ahead.next();
        const QStringView last = ahead.next();
        return IsDay(day) && IsTimeOrYear(last) ? last : QStringView();
    }
    // "3月 29日 03:26", "10월 5일 2005"
    if (IsCjkMonth(field)) {
        const QStringView day = ahead.next();
        const QStringView last = ahead.next();
        return IsCjkDay(day) && IsTimeOrYear(last) ? last : QStringView();
    }
    // "2005年 3月 29日", perhaps with the time after it
    if (IsCjkYear(field)) {
        if (!IsCjkMonth(ahead.next()))
            return {};
        const QStringView day = ahead.next();
        if (!IsCjkDay(day))
            return {};
        const QStringView time = ahead.next();
        return IsClock(time) ? time : day;
    }
    // "2005-06-07", "2005-06-07 21:22", "2005-06-07 21:22:33.000000000 +0200"
    if (IsIsoDate(field)) {
        const QStringView time = ahead.next();
        if (!IsClock(time))
            return field;
        const QStringView zone = ahead.next();
        return IsZone(zone) ? zone : time;
    }
    return {};
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

// Where the fields after a Unix line's type and permissions start, or -1.
// The type letter at `at` is followed by nine permission letters (perhaps
// with an ACL mark: "drwxr-xr-x+"), by six ("drwxrwx"), or by NetWare's
// rights in brackets ("d [R----F--]").
qsizetype PermissionsEnd(QStringView line, qsizetype at)
{
    constexpr qsizetype kLetters = 9;
    constexpr qsizetype kShortLetters = 6;
    const qsizetype first = at + 1;
    // The common case first: nine letters and a blank.
    if (first + kLetters < line.size() && IsBlank(line[first + kLetters])
        && std::all_of(line.begin() + first, line.begin() + first + kLetters, IsPermission))
        return first + kLetters;
    if (first + 1 < line.size() && IsBlank(line[first]) && line[first + 1] == u'['
        && (line[at] == u'd' || line[at] == u'-')) {
        const qsizetype close = line.indexOf(u']', first + 2);
        return close > 0 && close + 1 < line.size() && IsBlank(line[close + 1]) ? close + 1 : -1;
    }
    qsizetype end = first;
    while (end < line.size() && end - first < kLetters && IsPermission(line[end]))
        ++end;
    if (end >= line.size())
        return -1;
    if (end - first == kLetters) {
        if (IsBlank(line[end]))
            return end;
        return line[end] == u'+' || line[end] == u'@' || line[end] == u'.' ? end + 1 : -1;
    }
    return end - first == kShortLetters && IsBlank(line[end]) ? end : -1;
}

Kind UnixKind(QChar type)
{
    if (type == u'd')
        return Kind::Folder;
    return type == u'l' ? Kind::Link : Kind::File;
}

// Up to eight fields before the date: link count, owner, a group (perhaps
// with blanks in it) and the size, or a device's two numbers.
constexpr int kMaxBefore = 8;

// The date found in a Unix line: its last field, and the two fields before
// the date (the size, and what comes before it).
struct DateSpan {
    QStringView last;
    QStringView size;
    QStringView beforeSize;
};

// The first field from which readDate reads a date, after at least the link
// count and the owner.
template <typename ReadDate>
DateSpan FindDate(QStringView line, qsizetype from, ReadDate readDate)
{
    Fields fields(line, from);
    DateSpan span;
    for (int count = 0;; ++count) {
        const QStringView field = fields.next();
        if (field.isEmpty())
            return {};
        if (count >= 2) {
            span.last = readDate(field, fields);
            if (!span.last.isEmpty())
                return span;
        }
        if (count == kMaxBefore)
            return {};
        span.beforeSize = span.size;
        span.size = field;
    }
}

// The search for the other dates, kept out of line so that the common
// English path stays small and fast.
Q_NEVER_INLINE DateSpan FindOtherDate(QStringView line, qsizetype from)
{
    return FindDate(line, from, [](QStringView f, const Fields& a) { return ReadOtherDate(f, a); });
}

// The size of a dated line. A device has no size but a "major, minor" pair
// (or "major,minor"), which reads as 0.
QStringView SizeOf(const DateSpan& date)
{
    if (AllDigits(date.size))
        return date.beforeSize.back() == u',' ? QStringView(u"0") : date.size;  // "4, 65"
    return date.size.contains(u',') ? QStringView(u"0") : QStringView();        // "4,65"
}

// A Unix line without a date: link count, owner, group, size and a
// one-word name, nothing more. A name that could be a date cut short says
// nothing sure.
Q_NEVER_INLINE Entry ReadUndatedUnix(QStringView line, qsizetype from, QChar type)
{
    constexpr int kUndatedFields = 5;
    Fields fields(line, from);
    std::array<QStringView, kUndatedFields + 1> field;
    for (QStringView& f : field)
        f = fields.next();
    const QStringView name = field[kUndatedFields - 1];
    if (!field[kUndatedFields].isEmpty() || name.isEmpty() || !AllDigits(field[0]) || !AllDigits(field[3])
        || IsAnyMonth(name))
        return {};
    return Entry{UnixKind(type), name, field[3]};
}

// A Unix long listing line: type and permissions, then link count, owner and
// group (either may be missing or glued together), the size (or a device's
// "major, minor"), the date and the name. A blank before the type is
// allowed; NetWare's lines read the same way.
Entry ReadUnix(QStringView line)
{
    qsizetype at = 0;
    while (at < line.size() && IsBlank(line[at]))
        ++at;
    const qsizetype from = PermissionsEnd(line, at);
    if (from < 0)
        return {};
    const QChar type = line[at];

    // English dates first: they are the common case and need no more.
    DateSpan date = FindDate(line, from, [](QStringView f, const Fields& a) { return ReadEnglishDate(f, a); });
    const bool english = !date.last.isEmpty();
    if (!english)
        date = FindOtherDate(line, from);
    if (date.last.isEmpty())
        return ReadUndatedUnix(line, from, type);
    const QStringView size = SizeOf(date);
    if (size.isEmpty())
        return {};

    // The one-blank rule: when an English date's time or year fills its
    // five-character column, exactly one blank comes before the name, so
    // blanks that open the name are part of it. Otherwise (and in NetWare's
    // wider columns) the name starts at its first non-blank character.
    const bool netWare = line[from - 1] == u']';
    const QStringView time = date.last;
    const qsizetype timeStart = time.data() - line.data();
    const qsizetype timeEnd = timeStart + time.size();
    const bool regular = english && !netWare
                         && (time.size() == 5 || (time.size() == 4 && IsBlank(line[timeStart - 2])));
    QStringView name;
    if (regular)
        name = timeEnd < line.size() && IsBlank(line[timeEnd]) ? line.sliced(timeEnd + 1) : QStringView();
    else
        name = RestAfterBlanks(line, timeEnd);
    Entry entry{UnixKind(type), {}, size};
    qsizetype dateStart = date.size.data() - line.data() + date.size.size();
    while (dateStart < timeStart && IsBlank(line[dateStart]))
        ++dateStart;
    entry.date = line.sliced(dateStart, timeEnd - dateStart);
    if (entry.kind == Kind::Link) {
        const qsizetype arrow = name.indexOf(u" -> ");
        if (arrow >= 0)
            name = name.first(arrow);
    }
    if (name.isEmpty())
        return {};
    entry.name = name;
    return entry;
}

// "12-06-26", "12-06-2026", "04/27/2000", "27.04.2000" or "2000-04-27".
bool IsNumericDate(QStringView field)
{
    const auto separated = [field](qsizetype first, qsizetype second) {
        const QChar mark = field[first];
        return (mark == u'-' || mark == u'/' || mark == u'.') && field[second] == mark;
    };
    if (field.size() == 10 && separated(4, 7))
        return AllDigits(field.first(4)) && AllDigits(field.sliced(5, 2)) && AllDigits(field.sliced(8));
    return (field.size() == 8 || field.size() == 10) && separated(2, 5) && AllDigits(field.first(2))
           && AllDigits(field.sliced(3, 2)) && AllDigits(field.sliced(6));
}

bool IsHalfOfDay(QStringView field)
{
    return field.compare(u"AM", Qt::CaseInsensitive) == 0 || field.compare(u"PM", Qt::CaseInsensitive) == 0;
}

// "10:15AM", "10:15pm" or "22:15".
bool IsWindowsTime(QStringView field)
{
    if (field.size() == 7) {
        if (!IsHalfOfDay(field.sliced(5)))
            return false;
        field = field.first(5);
    }
    return field.size() == 5 && field[2] == u':' && AllDigits(field.first(2)) && AllDigits(field.sliced(3));
}

// A Windows line: date, time ("10:15AM", "10:15 PM", "22:15"), "<DIR>" or
// the size (perhaps with thousands separators), then the name with its
// inner blanks.
Entry ReadWindows(QStringView line)
{
    Fields fields(line);
    const QStringView day = fields.next();
    QStringView time = fields.next();
    if (!IsNumericDate(day) || !IsWindowsTime(time))
        return {};
    QStringView what = fields.next();
    if (IsHalfOfDay(what)) {
        time = QStringView(time.data(), what.data() + what.size());  // "10:15 AM"
        what = fields.next();
    }
    const bool folder = what.compare(u"<DIR>", Qt::CaseInsensitive) == 0;
    if (!folder && !IsSizeField(what))
        return {};
    const QStringView name = RestAfterBlanks(line, fields.pos());
    if (name.isEmpty())
        return {};
    Entry entry = folder ? Entry{Kind::Folder, name, {}} : Entry{Kind::File, name, what};
    entry.date = QStringView(day.data(), time.data() + time.size());
    return entry;
}

// A VxWorks line: the size, "DIR" for a folder, date, time and the name.
Entry ReadVxWorks(QStringView line)
{
    Fields fields(line);
    const QStringView size = fields.next();
    QStringView date = fields.next();
    const bool folder = date == u"DIR";
    if (folder)
        date = fields.next();
    if (!AllDigits(size) || !IsNumericDate(date) || !IsClock(fields.next()))
        return {};
    const QStringView name = RestAfterBlanks(line, fields.pos());
    if (name.isEmpty())
        return {};
    return folder ? Entry{Kind::Folder, name, {}} : Entry{Kind::File, name, size};
}

// An AS/400 line: owner, size, date, time, object type and name. Only a
// stream file (*STMF) and a folder (*DIR) are entries a command can use.
Entry ReadAs400(QStringView line)
{
    Fields fields(line);
    const QStringView owner = fields.next();
    const QStringView size = fields.next();
    const QStringView date = fields.next();
    const QStringView time = fields.next();
    const QStringView type = fields.next();
    if (owner.isEmpty() || !AllDigits(size) || !IsNumericDate(date) || !IsClock(time))
        return {};
    const Kind kind = type == u"*STMF" ? Kind::File : type == u"*DIR" ? Kind::Folder : Kind::Unread;
    const QStringView name = RestAfterBlanks(line, fields.pos());
    if (kind == Kind::Unread || name.isEmpty())
        return {};
    return Entry{kind, name, kind == Kind::File ? size : QStringView()};
}

// An EPLF line: "+", facts separated by ",", a tab and the name. "/" marks
// a folder and "r" a file; a line with both or neither tells no kind.
Entry ReadEplf(QStringView line)
{
    const qsizetype tab = line.indexOf(u'\t');
    if (!line.startsWith(u'+') || tab < 0 || tab + 1 >= line.size())
        return {};
    bool folder = false;
    bool file = false;
    QStringView size;
    for (const QStringView fact : line.sliced(1, tab - 1).tokenize(u',')) {
        if (fact == u"/") {
            folder = true;
        } else if (fact == u"r") {
            file = true;
        } else if (fact.startsWith(u's')) {
            size = fact.sliced(1);
            if (!AllDigits(size))
                return {};
        }
    }
    if (folder == file)
        return {};
    const QStringView name = line.sliced(tab + 1);
    return folder ? Entry{Kind::Folder, name, {}} : Entry{Kind::File, name, size};
}

// A machine listing line: "fact=value;fact=value; name" (some servers put a
// tab before the name). The name is everything after that blank or tab,
// exactly as sent.
Entry ReadFacts(QStringView line)
{
    Entry entry;
    const auto end = std::find_if(line.begin(), line.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
    const qsizetype blank = end - line.begin();
    if (blank <= 0 || blank >= line.size() || line[blank - 1] != u';' || blank + 1 >= line.size())
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
            entry.date = value;
            entry.machineDate = true;
        }
    }
    if (!typed)
        entry.kind = Kind::File;
    entry.name = line.sliced(blank + 1);
    return entry;
}

// A machine listing time "20261206120500" (UTC, perhaps with a fraction)
// as "2026-12-06 12:05 UTC"; as it came when it is not one.
void AppendFactTime(RowTexts& out, QStringView value)
{
    constexpr qsizetype kMinutesEnd = 12;  // YYYYMMDDHHMM
    if (value.size() < kMinutesEnd || !AllDigits(value.first(kMinutesEnd))) {
        out.append(value);
        return;
    }
    for (const QStringView part : {value.first(4), QStringView(u"-"), value.sliced(4, 2), QStringView(u"-"),
                                   value.sliced(6, 2), QStringView(u" "), value.sliced(8, 2), QStringView(u":"),
                                   value.sliced(10, 2), QStringView(u" UTC")})
        out.append(part);
}
constexpr qsizetype kFactTimeLength = 20;  // "2026-12-06 12:05 UTC"

// A date as the line gave it, one blank between its parts.
void AppendDate(RowTexts& out, const Entry& entry)
{
    if (entry.machineDate)
        return AppendFactTime(out, entry.date);
    // Runs of blanks ("Jan  5", "Jan 15  2019") become one; none is kept at
    // either end.
    bool blank = false;
    bool any = false;
    for (const QChar c : entry.date) {
        if (IsBlank(c)) {
            blank = any;
            continue;
        }
        if (blank)
            out.append(u' ');
        out.append(c);
        blank = false;
        any = true;
    }
}

// "." and "..": the folder itself and its parent.
bool IsDotName(QStringView name)
{
    return (name.size() == 1 || name.size() == 2) && name[0] == u'.' && name.back() == u'.';
}

Entry ReadEntry(QStringView line)
{
    Entry entry = ReadUnix(line);
    if (entry.kind != Kind::Unread)
        return entry;
    const QStringView first = Fields(line).next();
    const bool numeric = !first.isEmpty() && IsDigit(first[0]);
    for (Entry (*read)(QStringView) : {ReadWindows, ReadVxWorks}) {
        if (numeric && (entry = read(line)).kind != Kind::Unread)
            return entry;
    }
    for (Entry (*read)(QStringView) : {ReadFacts, ReadEplf, ReadAs400}) {
        if ((entry = read(line)).kind != Kind::Unread)
            return entry;
    }
    return entry;
}

}  // namespace

std::optional<ListRow> ParseListLine(const QString& line)
{
    return ReadListLine(line, nullptr);
}

std::optional<ListRow> ReadListLine(const QString& line, bool* unread)
{
    // Every return hands back this one object, so the row is made where the
    // caller keeps it instead of being moved there.
    std::optional<ListRow> result;
    if (unread)
        *unread = false;
    if (IsTotalLine(line))
        return result;
    QStringView all(line);
    if (all.size() >= 2 && all[all.size() - 2] == u'\r' && all.back() == u'\n')
        all.chop(2);
    if (TrimBlanks(all).isEmpty())
        return result;

    const Entry entry = ReadEntry(all);
    if (entry.kind == Kind::Unread) {
        if (unread)
            *unread = true;
        return result;
    }
    // A folder may come with the "/" some servers add to folder names.
    QStringView name = entry.name;
    if (entry.kind == Kind::Folder && name.endsWith(u'/'))
        name.chop(1);
    if (entry.kind == Kind::Itself || IsDotName(name))
        return result;
    // A row whose name no command could use is left out, not shown wrong.
    if (!IsServerEntryName(name)) {
        if (unread)
            *unread = true;
        return result;
    }

    ListRow& row = result.emplace();
    row.folder = entry.kind == Kind::Folder;
    row.link = entry.kind == Kind::Link;
    if (entry.machineDate)
        row.modified = FactTime(entry.date);
    // A size the line does not give shows as no size, not as " bytes".
    if (!row.folder && !entry.size.isEmpty()) {
        row.bytes = SizeValue(entry.size);
        row.size = ListedSize(entry.size, row.bytes);
    }
    // The row's texts are made in one block; see TextBlock.
    const qsizetype dateRoom = entry.machineDate ? std::max(entry.date.size(), kFactTimeLength) : entry.date.size();
    RowTexts texts(name.size() + 1 + dateRoom);
    texts.append(name);
    if (row.folder)
        texts.append(u"/");
    texts.endText();
    AppendDate(texts, entry);
    texts.endText();
    auto [text, date] = std::move(texts).share();
    row.text = std::move(text);
    row.dateText = std::move(date);
    return result;
}

QDateTime FactTime(QStringView value)
{
    constexpr qsizetype kSecondsEnd = 14;  // YYYYMMDDHHMMSS
    if (value.size() < kSecondsEnd || !AllDigits(value.first(kSecondsEnd)))
        return {};
    const QDate day = QDate::fromString(value.first(8).toString(), QStringLiteral("yyyyMMdd"));
    const QTime time = QTime::fromString(value.sliced(8, 6).toString(), QStringLiteral("HHmmss"));
    if (!day.isValid() || !time.isValid())
        return {};
    return QDateTime(day, time, Qt::UTC);
}

QString LeftOutText(qint64 lines)
{
    if (lines <= 0)
        return {};
    return lines == 1 ? QStringLiteral(" (1 line not understood)")
                      : QStringLiteral(" (%1 lines not understood)").arg(lines);
}

ListedSize::ListedSize(qint64 bytes) : value_(bytes) {}

ListedSize::ListedSize(QStringView field, qint64 value) : value_(value)
{
    // Below 1000 the column shows the field itself, which is nearly always
    // the number as it would be written anyway.
    if (value < 1000 && field != Digits(value).view())
        field_ = field.toString();
}

QString ListedSize::text() const
{
    if (isEmpty())
        return {};
    return SizeColumn(field_.isNull() ? Digits(value_).view() : QStringView(field_), value_);
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
    return head % ScaledSize(bytes, DecimalPoint(locale));
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
