#pragma once

#include "shell/main_context.h"

#include <QObject>

namespace quillmar {

class CacheCopies;
class SessionController;

// Download of the selected server rows and upload of the selected local
// files, asking before either replaces a file, with the copy of an uploaded
// picture into the picture cache.
class TransferController : public QObject {
    Q_OBJECT
public:
    TransferController(MainContext& context, SessionController& session, QObject* parent = nullptr);

    void Download();
    void Upload();
    // The local file list stays disabled while its double-click upload runs.
    void UploadByDoubleClick();

private:
    // Sends one local file and has a picture copied into the cache. Throws
    // FtpError.
    void sendFile(const QString& name, CacheCopies& copies);

    MainContext& ctx_;
    SessionController& session_;
};

}  // namespace quillmar
