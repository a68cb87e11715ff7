#pragma once

#include "session/text_block.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

namespace quillmar {

// Splits a listing, as it arrives in pieces, into its lines, cutting
// over-long ones and ending the whole once it passes the bounds. Lines are
// handed on in batches: every so many lines, or every so often.
class ListSplitter {
public:
    static constexpr qsizetype MaxLineBytes = 8 * 1024;
    static constexpr qint64 MaxLines = 1000000;
    static constexpr qint64 MaxBytes = qint64(512) * 1024 * 1024;

    explicit ListSplitter(std::function<void(QStringList)> post);

    // False once the listing is past its bounds.
    bool take(const char* data, qint64 size);
    // The listing has ended: hands on what is left.
    void finish();

    // The names of the listing that were not UTF-8, with their bytes.
    QHash<QString, QByteArray> takeRawNames() { return std::exchange(rawNames_, {}); }

    static QString boundText();

private:
    using Clock = std::chrono::steady_clock;
    // The lines of one piece share one allocation, as their batch is handed
    // on and dropped together.
    using Block = TextBlock<0>;

    void endLine(Block& block, QByteArrayView bytes);
    void flush();

    std::function<void(QStringList)> post_;
    QHash<QString, QByteArray> rawNames_;
    QByteArray partial_;  // the start of a line the next piece ends
    QStringList lines_;
    qint64 count_ = 0;
    qint64 bytes_ = 0;
    Clock::time_point lastPost_ = Clock::now();
};

}  // namespace quillmar
