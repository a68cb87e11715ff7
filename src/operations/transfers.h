#pragma once

#include "shell/main_context.h"

#include <QObject>

namespace quillmar {

class SessionController;

// Download of the selected server rows and upload of the current local file,
// with the copy of an uploaded picture into the picture cache.
class TransferController : public QObject {
    Q_OBJECT
public:
    TransferController(MainContext& context, SessionController& session, QObject* parent = nullptr);

    void Download();
    void Upload();
    // Files named by their full paths (dropped on the server list), one
    // after the other, as Upload does; the first failure ends the rest.
    void UploadFiles(const QStringList& localFiles);
    // The server rows with these texts (dropped on the local file list),
    // as Download does.
    void DownloadRows(const QStringList& texts);
    // The local file list stays disabled while its double-click upload runs.
    void UploadByDoubleClick();

private:
    MainContext& ctx_;
    SessionController& session_;
};

}  // namespace quillmar
