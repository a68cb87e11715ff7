#pragma once

#include <QString>

#include <optional>

namespace quillmar {

// Where the server list's rows live: the account ("login@address") and the
// server's current folder as it names it ("/public_html/pics"). Pictures are
// cached and web addresses made by this place, so two pictures of one name
// in two folders or on two servers never stand for each other.
struct ServerPlace {
    QString site;
    QString folder;  // empty while the server has not said
    bool known() const { return !site.isEmpty() && !folder.isEmpty(); }
};

// The account part of a place: the login and the server address as typed.
QString SiteKey(const QString& login, const QString& address);

// The folder in a PWD reply ("257 \"/a \"\"b\"\"\" is current" gives /a "b");
// empty when the reply is a refusal or names no folder.
std::optional<QString> FolderFromPwdReply(const QString& reply);

}  // namespace quillmar
