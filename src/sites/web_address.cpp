#include "sites/web_address.h"

#include "session/entry_names.h"

#include <QStringList>
#include <QUrl>

namespace quillmar {

namespace {

// "/public_html/" and "public_html" both name /public_html; "" is the top.
QString NormalFolder(const QString& folder)
{
    return u'/' + folder.split(u'/', Qt::SkipEmptyParts).join(u'/');
}

bool HasDotSegment(const QString& folder)
{
    const QStringList parts = folder.split(u'/');
    return parts.contains(QStringLiteral(".")) || parts.contains(QStringLiteral(".."));
}

}  // namespace

WebAddressResult WebAddressFor(const QString& webAddress, const QString& webFolder, const QString& serverFolder,
                               const QString& rowText)
{
    QString base = webAddress.trimmed();
    if (base.isEmpty())
        return {{}, QStringLiteral("This site has no web address. Enter its web address and the server folder "
                                   "it shows in the site manager.")};
    if (serverFolder.isEmpty())
        return {{}, QStringLiteral("The server did not say which folder it shows, so no web address can be made.")};
    if (rowText.isEmpty())
        return {{}, QStringLiteral("Choose a row in the server list to copy its web address.")};
    const bool folderRow = rowText.endsWith(u'/');
    const QString name = folderRow ? rowText.chopped(1) : rowText;
    if (!IsServerEntryName(name))
        return {{}, QStringLiteral("\"%1\" is no name in this folder.").arg(rowText)};

    const QString mapped = NormalFolder(webFolder.trimmed());
    const QString current = NormalFolder(serverFolder);
    // "." and ".." would make a folder that looks inside point elsewhere.
    for (const QString& folder : {mapped, current}) {
        if (HasDotSegment(folder))
            return {{}, QStringLiteral("The folder %1 holds \".\" or \"..\", so where it lies on the web cannot be "
                                       "told; no web address is made for %2.")
                            .arg(folder, rowText)};
    }
    const bool inside = mapped == u"/" || current == mapped || current.startsWith(mapped + u'/');
    if (!inside)
        return {{}, QStringLiteral("%1 is in the server folder %2, outside the folder %3 that the web address %4 "
                                   "stands for.")
                        .arg(rowText, current, mapped, base)};

    while (base.endsWith(u'/'))
        base.chop(1);
    QStringList parts = current.mid(mapped.size()).split(u'/', Qt::SkipEmptyParts);
    parts << name;
    for (const QString& part : parts)
        base += u'/' + QString::fromLatin1(QUrl::toPercentEncoding(part));
    if (folderRow)
        base += u'/';
    return {base, {}};
}

}  // namespace quillmar
