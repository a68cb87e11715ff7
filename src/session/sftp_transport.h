#pragma once

#include "session/transport.h"

#include <memory>

namespace quillmar {

// SFTP over one SSH connection (libssh): the same calls as FTP, with the
// server's host key judged the way a certificate is. Names are taken from the
// current folder, which this side keeps, since SFTP has no current folder.
std::unique_ptr<Transport> MakeSftpTransport(std::function<void()> disconnected, TrustQuestion trust,
                                             PassphraseQuestion passphrase);

}  // namespace quillmar
