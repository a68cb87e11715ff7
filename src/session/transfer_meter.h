#pragma once

#include <QString>

namespace quillmar {

// "0:42", "12:05", "1:02:03": the time a transfer still needs.
QString TimeLeftText(qint64 seconds);

// A transfer's progress in words: "1.11 MB of 20 MB · 268 KB/s · 1:11 left",
// sizes by the list's size rule. The speed and the time left are left out
// while no speed is known (bytesPerSecond <= 0).
QString TransferStatusText(qint64 bytes, qint64 total, double bytesPerSecond);

// The status line while a broken transfer waits to resume: "Connection
// lost; resuming photo.jpg at 41 % (try 2 of 3)"; without a known total,
// the bytes instead of the percentage.
QString ResumingText(const QString& name, qint64 bytes, qint64 total, int attempt, int attempts);

// Measures one transfer from its progress reports: the average speed since
// start(), or, without one, since the first report. A report with fewer
// bytes than the one before starts a new transfer, as does the first report
// after reset(). Each report is told in TransferStatusText's words.
class TransferMeter {
public:
    // nowMs: a steady clock in milliseconds.
    void start(qint64 nowMs);
    QString report(qint64 bytes, qint64 total, qint64 nowMs);
    void reset() { startMs_ = -1; }

private:
    qint64 startMs_ = -1;
    qint64 startBytes_ = 0;
    qint64 lastBytes_ = 0;
};

}  // namespace quillmar
