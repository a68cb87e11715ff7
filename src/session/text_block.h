#pragma once

#include <QList>
#include <QString>

#include <array>
#include <type_traits>
#include <utility>
#include <vector>

namespace quillmar {

// Texts made one after another in a single allocation, then shared out as
// QStrings of their own, each ending in a NUL as every QString's text does.
// The block's count of users is set once, when the texts are shared out,
// before any of them leaves: making many short texts this way, rather than
// one allocation each, reads long listings markedly faster.
//
// Count: how many texts the block holds, or 0 for any number.
template <std::size_t Count>
class TextBlock {
public:
    // characters: every character of every text to come; texts: at most how
    // many (fixed by Count unless that is 0).
    explicit TextBlock(qsizetype characters, qsizetype texts = qsizetype(Count))
    {
        QString block(characters + texts, Qt::Uninitialized);
        block_ = std::exchange(block.data_ptr(), QString::DataPointer());
        end_ = block_.data();
        if constexpr (Count == 0)
            ends_.reserve(std::size_t(texts));
    }

    void append(QStringView part)
    {
        Q_ASSERT(end_ + part.size() < block_.data() + block_.size);
        // A plain loop: the parts are a few characters, shorter than a
        // library copy's own start-up.
        for (const QChar c : part)
            *end_++ = c.unicode();
    }
    void append(QChar c)
    {
        Q_ASSERT(end_ + 1 < block_.data() + block_.size);
        *end_++ = c.unicode();
    }

    // Where the next character goes, for a writer that fills the room itself
    // and then says how far it got with wroteTo().
    QChar* cursor() { return reinterpret_cast<QChar*>(end_); }
    void wroteTo(QChar* end)
    {
        Q_ASSERT(reinterpret_cast<char16_t*>(end) >= end_ && reinterpret_cast<char16_t*>(end) < block_.data() + block_.size);
        end_ = reinterpret_cast<char16_t*>(end);
    }
    // The text being made, so far.
    QStringView current() const
    {
        const char16_t* begin = block_.data() + (made() == 0 ? 0 : ends_[made() - 1]);
        return QStringView(begin, end_ - begin);
    }

    // Ends the text being made.
    void endText()
    {
        Q_ASSERT(end_ < block_.data() + block_.size);
        *end_++ = u'\0';
        if constexpr (Count == 0) {
            ends_.push_back(end_ - block_.data());
        } else {
            Q_ASSERT(made_ < Count);
            ends_[made_++] = end_ - block_.data();
        }
    }

    // The texts made, in order; a null QString for an empty one.
    std::array<QString, Count> share() &&
    {
        static_assert(Count > 0, "a block of any number of texts is shared out with shareInto()");
        Q_ASSERT(made_ == Count);
        std::array<QString, Count> texts;
        shareOut([&](std::size_t i, QString text) { texts[i] = std::move(text); });
        return texts;
    }
    // Appends the texts made, in order, to `out`.
    void shareInto(QList<QString>& out) &&
    {
        static_assert(Count == 0, "a block of a fixed number of texts is shared out with share()");
        out.reserve(out.size() + qsizetype(ends_.size()));
        shareOut([&](std::size_t, QString text) { out.append(std::move(text)); });
    }

private:
    std::size_t made() const
    {
        if constexpr (Count == 0)
            return ends_.size();
        else
            return made_;
    }
    qsizetype textLength(std::size_t i) const { return ends_[i] - 1 - (i == 0 ? 0 : ends_[i - 1]); }

    // Nothing else holds the block yet, so its count of users is set without
    // an atomic operation; the first text takes over the block's own reference.
    template <typename Put>
    void shareOut(Put put)
    {
        const std::size_t texts = made();
        int users = 0;
        for (std::size_t i = 0; i < texts; ++i)
            users += textLength(i) > 0;
        if (users == 0) {
            for (std::size_t i = 0; i < texts; ++i)
                put(i, QString());
            return;  // block_ frees the block
        }
        auto* const header = block_.d_ptr();
        header->ref_.storeRelaxed(users);
        char16_t* const data = block_.data();
        for (std::size_t i = 0; i < texts; ++i) {
            const qsizetype length = textLength(i);
            if (length == 0) {
                put(i, QString());
                continue;
            }
            char16_t* const begin = data + ends_[i] - 1 - length;
            if (block_.d_ptr()) {
                block_.setBegin(begin);
                block_.size = length;
                put(i, QString(std::move(block_)));
            } else {
                put(i, QString(QString::DataPointer(header, begin, length)));
            }
        }
    }

    QString::DataPointer block_;
    char16_t* end_ = nullptr;
    // where each text's NUL ends
    std::conditional_t<Count == 0, std::vector<qsizetype>, std::array<qsizetype, Count>> ends_{};
    std::size_t made_ = 0;  // for a fixed Count
};

}  // namespace quillmar
