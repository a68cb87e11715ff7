#include "session/transport.h"

#include "session/modules.h"

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
    QString text(bytes.size(), Qt::Uninitialized);
    text.truncate(DecodeServerTextInto(text.data(), bytes, latin1) - text.constData());
    return text;
}

QChar* DecodeServerTextInto(QChar* out, QByteArrayView bytes, bool* latin1)
{
    // UTF-8 never takes more characters than bytes, nor does Latin-1.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QChar* end = utf8.appendToBuffer(out, bytes);
    if (latin1)
        *latin1 = utf8.hasError();
    if (!utf8.hasError())
        return end;
    end = out;
    for (const char byte : bytes)
        *end++ = QChar(uchar(byte));
    return end;
}

namespace {

// The module that speaks a scheme; empty for a scheme Quillmar does not speak.
QString TransportModule(const QString& scheme)
{
    if (scheme == QLatin1String("ftp") || scheme == QLatin1String("ftps"))
        return QStringLiteral("quillmar_ftp");
    if (scheme == QLatin1String("sftp"))
        return QStringLiteral("quillmar_sftp");
    return {};
}

}  // namespace

std::unique_ptr<Transport> MakeTransport(const QString& scheme, std::function<void()> disconnected, TrustQuestion trust,
                                         PassphraseQuestion passphrase)
{
    const QString module = TransportModule(scheme);
    if (module.isEmpty())
        throw FtpError(ftp_errors::Network, QStringLiteral("Quillmar cannot connect to %1:// addresses.").arg(scheme));
    QString problem;
    const auto make =
        reinterpret_cast<TransportFactory>(ResolveModuleEntry(ModuleFolders(), module, kTransportEntry, &problem));
    if (!make)
        throw FtpError(ftp_errors::Network, QStringLiteral("Quillmar cannot connect to %1:// addresses: %2")
                                                .arg(scheme, MissingModuleText(QStringLiteral("speaks to them"), problem)));
    return make(scheme, std::move(disconnected), std::move(trust), std::move(passphrase));
}

}  // namespace quillmar
