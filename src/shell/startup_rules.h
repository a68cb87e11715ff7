#pragma once

#include <QString>

#include <optional>

namespace quillmar {

// The stored Auto Connect value: "True" or "False" in any letter case, or a
// number (0 is false, any other true). Empty when it is neither, so the
// caller leaves the option off.
std::optional<bool> ParseStartUpConnect(const QString& text);

}  // namespace quillmar
