#pragma once

#include "shell/main_context.h"

namespace quillmar {

// Puts the web address of the selected server row on the clipboard and on
// the status line; a site without a web address, or a row outside the
// folder it stands for, gets a message saying so.
void CopyWebAddress(const MainContext& context);

}  // namespace quillmar
