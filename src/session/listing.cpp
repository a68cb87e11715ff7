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

// "2 KB", "4 MB".
QString UnitText(qint64 value, QStringView unit)
{
    return Digits(value).view() % unit;
}

// A fixed-point number (value / 10^places) in its shortest form:
// 453 with 1 place is "45.3", 450 is "45", 1230 with 2 places is "12.3".
QString ShortDecimal(qint64 value, int places, const QString& separator)
{
    qint64 scale = 1;
    for (int i = 0; i < places; ++i)
        scale *= 10;
    const qint64 whole = value / scale;
    qint64 fraction = value % scale;
    if (fraction == 0)
        return QString::number(whole);
    while (fraction % 10 == 0) {
        fraction /= 10;
        --places;
    }
    return QString::number(whole) % separator
           % QString::number(fraction).rightJustified(places, u'0');
}

// The "Size" column for a field whose leading number is value.
QString SizeColumn(QStringView field, qint64 value)
{
    if (value < 1000)
        return field % u" bytes";
    if (value < 1000000)
        return UnitText(DivideHalfEven(value, 1000), u" KB");
    return UnitText(DivideHalfEven(value, 1000000), u" MB");
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

}  // namespace

std::optional<ListRow> ParseListLine(const QString& line)
{
    if (IsTotalLine(line))
        return std::nullopt;

    const QStringView all(line);
    const bool folder = !all.isEmpty() && all[0] == u'd';
    qsizetype length = all.size();
    if (all.endsWith(u"\r\n"))
        length -= 2;

    // Fields are separated by runs of blanks: the size lies between the 4th
    // and 5th run, the name is everything after the 8th.
    const QChar* chars = all.data();
    bool inBlanks = false;
    int runs = 0;
    qsizetype fourthRun = 0;
    QStringView sizeField;
    QStringView name;
    for (qsizetype i = 0; i < length; ++i) {
        if (!IsBlank(chars[i])) {
            inBlanks = false;
            continue;
        }
        if (inBlanks)
            continue;
        inBlanks = true;
        ++runs;
        if (runs == 4) {
            fourthRun = i;
        } else if (runs == 5) {
            sizeField = TrimBlanks(all.sliced(fourthRun, i - fourthRun));
        } else if (runs == 8) {
            name = TrimBlanks(all.sliced(i + 1, length - i - 1));
            break;
        }
    }

    ListRow row;
    row.folder = folder;
    if (folder) {
        row.text = name % u'/';
        return row;
    }
    row.text = name.toString();
    row.bytes = LeadingNumber(sizeField);
    row.sizeText = SizeColumn(sizeField, row.bytes);
    return row;
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
    const QString separator = locale.decimalPoint();
    if (bytes < 1000000)
        return head % ShortDecimal(DivideHalfEven(bytes, 100), 1, separator) % QLatin1StringView(" KB");
    return head % ShortDecimal(DivideHalfEven(bytes, 10000), 2, separator) % QLatin1StringView(" MB");
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
