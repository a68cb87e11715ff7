#pragma once

#include "operations/publish_plan.h"
#include "shell/main_context.h"

#include <QSet>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace quillmar {

class SessionController;
class TransferController;
struct ListRow;

// frmPublish: the local folder compared with the server folder, each file
// with what publishing will do to it (ticked rows of new and changed files
// are sent), the counts, a thumbnail of the chosen picture, and Publish.
class PublishWindow : public QWidget {
    Q_OBJECT
public:
    enum Column { PathColumn = 0, KindColumn, SizeColumn };

    PublishWindow(MainContext& context, SessionController& session, TransferController& transfers,
                  QWidget* parent = nullptr);

    // Compares the two folders (reading the server list again) and shows the
    // window; false, with the failure reported, when the server could not be read.
    bool Open();
    // Sends the ticked rows and compares again.
    void cmdPublish_Click();

    const PublishPlan& plan() const { return plan_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // What the server holds below the server list's folder.
    struct ServerSide {
        QList<ServerFile> files;
        QSet<QString> folders;   // relative paths
    };
    void buildElements();
    // Reads both sides and fills the list; relist: read the server list
    // again first (not needed right after publishing, which did); quiet:
    // the status line is left as it is.
    bool compare(bool relist, bool quiet);
    // The rows of folder (relative; the component is in it), and of the
    // sub-folders the local side has too. The server is asked for a file's
    // time only where its listing gave none and the sizes agree, the one
    // case where the time decides.
    void readServerFolder(const QString& folder, const QList<ListRow>& rows, ServerSide& side,
                          const QHash<QString, const LocalFile*>& local, const QSet<QString>& localFolders);
    void showPlan();
    void showThumbnail();
    void updateCounts();

    MainContext& ctx_;
    SessionController& session_;
    TransferController& transfers_;
    QLabel* folders_ = nullptr;
    QCheckBox* subFolders_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QWidget* thumbnail_ = nullptr;
    QLabel* counts_ = nullptr;
    QPushButton* publish_ = nullptr;
    QString localFolder_;
    PublishPlan plan_;
    QSet<QString> serverFolders_;
    ServerPlace compared_;    // the server folder of the list
    bool running_ = false;    // a server command is running
    bool publishing_ = false; // between its calls too
};

}  // namespace quillmar
