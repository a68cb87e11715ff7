#pragma once

#include <QString>

namespace quillmar {

// The main window's title: "Demo — /listing photos — Quillmar"; the parts
// that are empty are left out.
QString WindowTitle(const QString& site, const QString& folder);

}  // namespace quillmar
