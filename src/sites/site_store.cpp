#include "sites/site_store.h"

#include <QFile>
#include <QSaveFile>

namespace quillmar {
namespace {

// Data files are 8-bit text in the system's code page, which on Linux is
// UTF-8.
QString DecodeStored(const QByteArray& bytes) { return QString::fromUtf8(bytes); }
QByteArray EncodeStored(const QString& text) { return text.toUtf8(); }

QString SiteStorePath(const QString& appFolder) { return appFolder + QLatin1StringView("/sites.snd"); }

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

QStringList SplitStoredLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.sliced(start));
    return lines;
}

QStringList LoadSiteList(const QString& appFolder)
{
    QFile file(SiteStorePath(appFolder));
    if (!file.open(QIODevice::ReadOnly))
        return {};  // no store yet: no sites
    return SplitStoredLines(DecodeStored(file.readAll()));
}

bool SaveSiteList(const QString& appFolder, const QStringList& entries, QString* error)
{
    QByteArray content;
    for (const QString& entry : entries) {
        if (entry.isEmpty())
            continue;
        content += EncodeStored(entry);
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

}  // namespace quillmar
