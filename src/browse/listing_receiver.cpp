#include "browse/listing_receiver.h"

#include "session/ftp_component.h"
#include "session/listing.h"
#include "shell/feedback.h"

#include <QTimer>

namespace quillmar {

namespace {
constexpr qsizetype kBatchLimit = 8192;
// Rows go to the list a few times a second rather than with every burst of
// lines: each hand-over makes the view lay out its rows again.
constexpr int kFlushIntervalMs = 40;
}

ListingReceiver::ListingReceiver(FtpComponent& ftp, ServerListModel& model, Feedback& feedback, QObject* parent)
    : QObject(parent), model_(model), feedback_(feedback)
{
    connect(&ftp, &FtpComponent::ListEntry, this, &ListingReceiver::ListEntry);
    connect(&ftp, &FtpComponent::ListComplete, this, &ListingReceiver::ListComplete);
}

void ListingReceiver::ListEntry(const QString& line)
{
    bool unread = false;
    std::optional<ListRow> row = ReadListLine(line, &unread);
    if (!row) {
        if (unread)
            ++leftOut_;
        return;
    }
    if (captured_) {
        captured_->append(std::move(*row));
        return;
    }
    if (!row->folder) {
        ++totalFiles_;
        dirSize_ = AddToTotal(dirSize_, row->bytes);
    }
    // The row's texts move on rather than being shared: a long listing
    // would otherwise count each one up and down again.
    const qint64 fileBytes = row->folder || row->link || row->size.isEmpty() ? -1 : row->bytes;
    pending_.append(ServerRow{std::move(row->text), std::move(row->size), row->folder, false, row->link,
                              fileBytes, std::move(row->dateText), row->modified});
    if (pending_.size() >= kBatchLimit)
        flush();
    else
        scheduleFlush();
}

void ListingReceiver::ListComplete()
{
    if (captured_)
        return;
    flush();
    whole_ = true;
    model_.releaseSpareRoom();
    feedback_.panel(3, TotalsText(totalFiles_, dirSize_) + LeftOutText(leftOut_));
    resetCounters();
}

QList<ListRow> ListingReceiver::captureListing(const std::function<void()>& list)
{
    QList<ListRow> rows;
    // The shown listing's counts stay as they are, whatever the captured one holds.
    struct Capture {
        QList<ListRow>*& slot;
        qint64& leftOut;
        qint64 savedLeftOut;
        ~Capture()
        {
            slot = nullptr;
            leftOut = savedLeftOut;
        }
    } capture{captured_, leftOut_, leftOut_};
    captured_ = &rows;
    list();
    return rows;
}

void ListingReceiver::resetCounters()
{
    totalFiles_ = 0;
    dirSize_ = 0;
    leftOut_ = 0;
}

void ListingReceiver::flush()
{
    if (pending_.isEmpty())
        return;
    QList<ServerRow> batch;
    batch.swap(pending_);
    pending_.reserve(batch.size());
    model_.appendRows(std::move(batch));
}

void ListingReceiver::clearList()
{
    // An empty list counts nothing: a listing ended early (Stop, a stall,
    // the size bound) never reached ListComplete to start the count afresh.
    resetCounters();
    whole_ = false;
    pending_.clear();
    model_.clear();
    // The totals and the facts of rows that are gone.
    feedback_.panel(3, QString());
    feedback_.panel(4, QString());
}

void ListingReceiver::scheduleFlush()
{
    if (flushScheduled_)
        return;
    flushScheduled_ = true;
    QTimer::singleShot(kFlushIntervalMs, this, [this] {
        flushScheduled_ = false;
        flush();
    });
}

}  // namespace quillmar
