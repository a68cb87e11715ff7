#include "session/transport.h"

#include "session/ftp_transport.h"

namespace quillmar {

FtpError AbortFailure(int number)
{
    if (number == ftp_errors::Stopped)
        return FtpError(ftp_errors::Stopped, QStringLiteral("The FTP command was stopped."));
    return FtpError(ftp_errors::Cancelled, QStringLiteral("The FTP command was ended by the program."));
}

std::unique_ptr<Transport> MakeTransport(const QString& scheme, std::function<void()> disconnected)
{
    if (scheme == QLatin1String("ftp"))
        return std::make_unique<FtpTransport>(std::move(disconnected));
    throw FtpError(ftp_errors::Network, QStringLiteral("Quillmar cannot connect to %1:// addresses.").arg(scheme));
}

}  // namespace quillmar
