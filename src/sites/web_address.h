#pragma once

#include <QString>

namespace quillmar {

// The web address of a server row, from the site's web address and the
// server folder it stands for ("https://www.example.org/" for
// "/public_html"). Each folder and name below that folder is
// percent-encoded as UTF-8; a folder row keeps its trailing "/".
struct WebAddressResult {
    QString address;  // empty when there is none; problem says why
    QString problem;
};
WebAddressResult WebAddressFor(const QString& webAddress, const QString& webFolder, const QString& serverFolder,
                               const QString& rowText);

}  // namespace quillmar
