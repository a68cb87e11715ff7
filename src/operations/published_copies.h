#pragma once

#include "operations/publish_plan.h"
#include "session/server_place.h"

namespace quillmar {

// The record of the copies made ready for the web that publishing sent,
// kept per site and server folder in the application folder's
// "published-copies.json", so the next comparison knows a server copy that
// was made from the local file as it is now.
PublishedCopies ReadPublishedCopies(const QString& appFolder, const ServerPlace& place);

// Replaces the record of one place; the file is rewritten atomically.
bool WritePublishedCopies(const QString& appFolder, const ServerPlace& place, const PublishedCopies& copies,
                          QString* error = nullptr);

}  // namespace quillmar
