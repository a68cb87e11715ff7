#pragma once

#include "pictures/server_list_model.h"

#include "session/listing.h"

#include <QList>
#include <QObject>

#include <functional>

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

    // Runs list (a call of the component's List) and returns the rows it
    // received instead of showing them; the server list and the totals stay
    // as they are.
    QList<ListRow> captureListing(const std::function<void()>& list);

    // Connect starts a fresh count.
    void resetCounters();
    // Rows still waiting for the next batch go to the list now.
    void flush();
    // Empties the server list, rows still waiting included.
    void clearList();

    // The list holds a folder's listing that arrived to its end.
    bool listingWhole() const { return whole_; }
    qint64 totalFiles() const { return totalFiles_; }
    qint64 dirSize() const { return dirSize_; }

private:
    void scheduleFlush();

    ServerListModel& model_;
    Feedback& feedback_;
    QList<ServerRow> pending_;
    QList<ListRow>* captured_ = nullptr;  // set while a listing is captured
    bool flushScheduled_ = false;
    bool whole_ = false;
    qint64 totalFiles_ = 0;
    qint64 dirSize_ = 0;
    qint64 leftOut_ = 0;  // lines no listing format reads
};

}  // namespace quillmar
