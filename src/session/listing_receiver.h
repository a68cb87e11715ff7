#pragma once

#include "pictures/server_list_model.h"

#include <QList>
#include <QObject>

namespace quillmar {

class Feedback;
class FtpComponent;

// Turns the component's listing lines into rows of the server list and the
// totals panel. Rows are handed to the model in batches (one per burst of
// lines), so a folder of 100,000 entries never stalls the window.
class ListingReceiver : public QObject {
    Q_OBJECT
public:
    ListingReceiver(FtpComponent& ftp, ServerListModel& model, Feedback& feedback, QObject* parent = nullptr);

    void ListEntry(const QString& line);
    void ListComplete();

    // Connect starts a fresh count.
    void resetCounters();
    // Rows still waiting for the next batch go to the list now.
    void flush();
    // Empties the server list, rows still waiting included.
    void clearList();

    qint64 totalFiles() const { return totalFiles_; }
    qint64 dirSize() const { return dirSize_; }

private:
    void scheduleFlush();

    ServerListModel& model_;
    Feedback& feedback_;
    QList<ServerRow> pending_;
    bool flushScheduled_ = false;
    qint64 totalFiles_ = 0;
    qint64 dirSize_ = 0;
    qint64 leftOut_ = 0;  // lines no listing format reads
};

}  // namespace quillmar
