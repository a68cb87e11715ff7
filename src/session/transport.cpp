#include "session/transport.h"

#include "session/ftp_transport.h"
#include "session/sftp_transport.h"

#include <QStringDecoder>

namespace quillmar {

FtpError AbortFailure(int number)
{
    if (number == ftp_errors::Stopped)
        return FtpError(ftp_errors::Stopped, QStringLiteral("The FTP command was stopped."));
    return FtpError(ftp_errors::Cancelled, QStringLiteral("The FTP command was ended by the program."));
}

QString DecodeServerText(QByteArrayView bytes, bool* latin1)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (latin1)
        *latin1 = utf8.hasError();
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

std::unique_ptr<Transport> MakeTransport(const QString& scheme, std::function<void()> disconnected, TrustQuestion trust,
                                         PassphraseQuestion passphrase)
{
    if (scheme == QLatin1String("ftp") || scheme == QLatin1String("ftps"))
        return MakeFtpTransport(scheme == QLatin1String("ftps"), std::move(disconnected), std::move(trust));
    if (scheme == QLatin1String("sftp"))
        return MakeSftpTransport(std::move(disconnected), std::move(trust), std::move(passphrase));
    throw FtpError(ftp_errors::Network, QStringLiteral("Quillmar cannot connect to %1:// addresses.").arg(scheme));
}

}  // namespace quillmar
