#pragma once

#include <QString>

namespace quillmar {

// The folder named by a reply to PWD: `257 "/listing photos" is current`,
// with a doubled quote standing for one. Empty when the reply names none.
QString FolderFromReply(const QString& reply);

// The main window's title: "Demo — /listing photos — Quillmar"; the parts
// that are empty are left out.
QString WindowTitle(const QString& site, const QString& folder);

}  // namespace quillmar
