#include "session/list_splitter.h"

#include "session/listing.h"
#include "session/transport.h"

#include <algorithm>
#include <cstring>

namespace quillmar {

namespace {
constexpr qsizetype LinesPerPost = 2000;
constexpr auto PostInterval = std::chrono::milliseconds(50);

// Adds bytes to the start of a line, keeping no more than one byte past
// the longest line, which tells that the line is to be cut.
void AppendBounded(QByteArray& line, const char* begin, const char* end)
{
    const qsizetype room = std::max<qsizetype>(0, ListSplitter::MaxLineBytes + 1 - line.size());
    line.append(begin, std::min<qsizetype>(end - begin, room));
}
}  // namespace

ListSplitter::ListSplitter(std::function<void(QStringList)> post) : post_(std::move(post)) {}

bool ListSplitter::take(const char* data, qint64 size)
{
    bytes_ += size;
    const char* const end = data + size;
    const qsizetype lines = std::count(data, end, '\n');
    const char* p = data;
    if (lines > 0) {
        const char* const lastNewline = static_cast<const char*>(::memrchr(data, '\n', std::size_t(size)));
        // A line decodes to no more characters than it has bytes, and its
        // newline makes room for its NUL.
        Block block(partial_.size() + (lastNewline + 1 - data) - lines, lines);
        while (p <= lastNewline) {
            const char* const newline = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
            if (partial_.isEmpty()) {
                endLine(block, QByteArrayView(p, newline));
            } else {
                AppendBounded(partial_, p, newline);
                endLine(block, partial_);
                partial_.resize(0);  // keeps its room for the next piece's start
            }
            p = newline + 1;
        }
        std::move(block).shareInto(lines_);
    }
    AppendBounded(partial_, p, end);
    if (lines_.size() >= LinesPerPost || Clock::now() - lastPost_ >= PostInterval)
        flush();
    return count_ <= MaxLines && bytes_ <= MaxBytes;
}

void ListSplitter::finish()
{
    if (!partial_.isEmpty()) {
        Block block(partial_.size(), 1);
        endLine(block, partial_);
        std::move(block).shareInto(lines_);
        partial_.clear();
    }
    flush();
}

QString ListSplitter::boundText()
{
    return QStringLiteral("The server's listing went past %1 lines or %2 MiB and was cut there; the entries "
                          "received so far are shown.")
        .arg(MaxLines)
        .arg(MaxBytes / (1024 * 1024));
}

// A line that is not UTF-8 is read as Latin-1, and the name in it is
// remembered with its bytes.
void ListSplitter::endLine(Block& block, QByteArrayView bytes)
{
    if (bytes.size() > MaxLineBytes)
        bytes.truncate(MaxLineBytes);
    else if (bytes.endsWith('\r'))
        bytes.chop(1);
    bool latin1 = false;
    block.wroteTo(DecodeServerTextInto(block.cursor(), bytes, &latin1));
    if (latin1) {
        if (const std::optional<ListRow> row = ParseListLine(block.current().toString())) {
            const QString name = row->folder ? row->text.chopped(1) : row->text;
            rawNames_.insert(name, name.toLatin1());
        }
    }
    block.endText();
    ++count_;
}

void ListSplitter::flush()
{
    if (!lines_.isEmpty())
        post_(std::exchange(lines_, {}));
    lastPost_ = Clock::now();
}

}  // namespace quillmar
