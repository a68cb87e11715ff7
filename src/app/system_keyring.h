#pragma once

#include "shell/password_store.h"

#include <memory>

namespace quillmar {

// The desktop's keyring (Secret Service or KWallet), entries under the
// service "Quillmar". Without a session bus every call fails at once.
std::unique_ptr<PasswordStore> MakeSystemKeyring();

}  // namespace quillmar
