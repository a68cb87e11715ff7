#pragma once

#include "session/transport.h"

#include <memory>

namespace quillmar {

// FTP over one control connection and passive data connections (Poco),
// encrypted with TLS whenever the server accepts AUTH TLS; requireTls
// refuses a server that does not.
std::unique_ptr<Transport> MakeFtpTransport(bool requireTls, std::function<void()> disconnected, TrustQuestion trust);

}  // namespace quillmar
