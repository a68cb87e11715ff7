#include "sites/site_store.h"

#include "session/ftp_address.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>

namespace quillmar {
namespace {

QString SiteStorePath(const QString& appFolder) { return appFolder + QLatin1StringView("/sites.snd"); }

// Stores are UTF-8 text, but one made on a single-byte system holds
// Windows-1252 lines. Such a line is read in that code page and written
// back byte for byte while its entry is unchanged, so a password with
// accented letters keeps working.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString DecodeCp1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text[i] = QChar(byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char16_t(byte));
    }
    return text;
}

// One stored line as text; *foreign tells whether it was not UTF-8.
QString DecodeStoredLine(QByteArrayView bytes, bool* foreign)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    *foreign = utf8.hasError();
    return *foreign ? DecodeCp1252(bytes) : text;
}

// Splits at CR LF, a lone CR or a lone LF, for stored text and stored bytes
// alike; a last line without an end counts too.
template <typename Line, typename Text>
QList<Line> SplitAtLineEnds(const Text& text)
{
    QList<Line> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(Line(text.sliced(start, i - start)));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(Line(text.sliced(start)));
    return lines;
}

QList<QByteArrayView> SplitStoredBytes(QByteArrayView bytes) { return SplitAtLineEnds<QByteArrayView>(bytes); }

QByteArray ReadStore(const QString& appFolder)
{
    QFile file(SiteStorePath(appFolder));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The store's lines that are not UTF-8, by the text they are read as.
QHash<QString, QByteArray> ForeignLines(const QByteArray& stored)
{
    QHash<QString, QByteArray> lines;
    for (const QByteArrayView line : SplitStoredBytes(stored)) {
        bool foreign = false;
        const QString text = DecodeStoredLine(line, &foreign);
        if (foreign)
            lines.insert(text, line.toByteArray());
    }
    return lines;
}

QString TrimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

bool HasFtpPrefix(const QString& address)
{
    return address.size() >= 6 && address.startsWith(QLatin1StringView("ftp"), Qt::CaseInsensitive)
           && QStringView(address).sliced(3, 3) == QLatin1StringView("://");
}

}  // namespace

QString SiteFieldProblem(const SiteFields& site, PasswordKept password)
{
    const std::pair<const QString*, const char*> fields[] = {
        {&site.description, "Description"}, {&site.address, "Server Address"}, {&site.login, "Login"},
        {&site.password, "Password"},       {&site.webAddress, "Web address"}, {&site.webFolder, "Server folder"},
    };
    for (const auto& [text, name] : fields) {
        if (text == &site.password && password == PasswordKept::Elsewhere)
            continue;
        if (text->contains(u';'))
            return QStringLiteral("The %1 cannot be saved as typed: it holds \";\", which the site list uses to "
                                  "separate a site's fields. Remove the \";\" and save again.")
                .arg(QLatin1StringView(name));
        if (text->contains(u'\r') || text->contains(u'\n'))
            return QStringLiteral("The %1 cannot be saved as typed: it holds a line break, which would end the "
                                  "site's line in the site list. Remove it and save again.")
                .arg(QLatin1StringView(name));
    }
    return {};
}

std::optional<QString> BuildSiteEntry(const QString& description, const QString& address,
                                      const QString& login, const QString& password)
{
    return BuildSiteEntry(SiteFields{description, address, login, password, {}, {}});
}

std::optional<QString> BuildSiteEntry(const SiteFields& site)
{
    if (site.address.isEmpty())
        return std::nullopt;
    const QString stored = HasFtpPrefix(site.address) ? site.address.sliced(6) : site.address;
    QString entry = site.description % QString(100, u' ') % u';' % stored % u';' % site.login % u';' % site.password;
    if (!site.webAddress.isEmpty() || !site.webFolder.isEmpty())
        entry += u';' % site.webAddress % u';' % site.webFolder;
    return entry;
}

std::optional<SiteFields> SplitSiteEntry(const QString& entry)
{
    const QStringList parts = entry.split(u';');
    if (parts.size() < 4)
        return std::nullopt;
    return SiteFields{TrimBlanks(parts[0]), TrimBlanks(parts[1]), TrimBlanks(parts[2]), TrimBlanks(parts[3]),
                      TrimBlanks(parts.value(4)), TrimBlanks(parts.value(5))};
}

std::optional<SiteFields> SiteFromText(const QString& text, QString* problem)
{
    constexpr qsizetype kFields = 4, kFieldsWithWeb = 6;
    const qsizetype fields = text.count(u';') + 1;
    std::optional<SiteFields> site = SplitSiteEntry(text);
    QString why;
    if (fields != kFields && fields != kFieldsWithWeb)
        why = QStringLiteral("a site is description;address;login;password, or those and ;web address;server folder; "
                             "this has %1 fields (a \";\" cannot be part of one)").arg(fields);
    else if (const QString address = ServerAddressProblem(site->address); !address.isEmpty())
        why = address;
    if (why.isEmpty())
        return site;
    if (problem)
        *problem = why;
    return std::nullopt;
}

QStringList SplitStoredLines(const QString& text) { return SplitAtLineEnds<QString>(text); }

QStringList LoadSiteList(const QString& appFolder)
{
    const QByteArray stored = ReadStore(appFolder);  // no store yet: no sites
    QStringList lines;
    for (const QByteArrayView line : SplitStoredBytes(stored)) {
        bool foreign = false;
        lines.append(DecodeStoredLine(line, &foreign));
    }
    return lines;
}

bool SaveSiteList(const QString& appFolder, const QStringList& entries, QString* error)
{
    const QHash<QString, QByteArray> foreign = ForeignLines(ReadStore(appFolder));
    QByteArray content;
    for (const QString& entry : entries) {
        if (entry.isEmpty())
            continue;
        content += foreign.value(entry, entry.toUtf8());
        content += "\r\n";
    }

    // Written beside the store and renamed over it, so a crash or a full disk
    // never leaves a half-written store. It holds passwords: owner only.
    QSaveFile file(SiteStorePath(appFolder));
    const bool saved = file.open(QIODevice::WriteOnly)
                       && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
                       && file.write(content) == content.size() && file.commit();
    if (!saved) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
    }
    return saved;
}

bool AddSiteEntry(const QString& appFolder, const QString& entry, QString* error)
{
    QStringList entries = LoadSiteList(appFolder);
    if (entries.contains(entry))
        return true;
    entries.append(entry);
    return SaveSiteList(appFolder, entries, error);
}

QString SiteName(const SiteFields& site)
{
    return site.description.isEmpty() ? site.address : site.description;
}

}  // namespace quillmar
