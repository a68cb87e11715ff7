#include "session/list_splitter.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace quillmar {
namespace {

struct Split {
    QStringList lines;
    QHash<QString, QByteArray> rawNames;
};

// The listing handed over in pieces of `piece` bytes (the whole at once for 0).
Split SplitInPieces(const QByteArray& listing, qsizetype piece)
{
    Split out;
    ListSplitter splitter([&](QStringList lines) { out.lines += lines; });
    const qsizetype step = piece > 0 ? piece : std::max<qsizetype>(1, listing.size());
    for (qsizetype at = 0; at < listing.size(); at += step)
        EXPECT_TRUE(splitter.take(listing.constData() + at, std::min(step, listing.size() - at)));
    splitter.finish();
    out.rawNames = splitter.takeRawNames();
    return out;
}

TEST(ListSplitter, SameLinesWhereverThePiecesBreak)
{
    const QByteArray longLine(ListSplitter::MaxLineBytes + 10, 'x');
    const QByteArray fullLine(ListSplitter::MaxLineBytes, 'y');
    const QString cut = QString(ListSplitter::MaxLineBytes, u'x');
    const QString latin1Name = QString::fromLatin1("caf\xe9.jpg");
    const struct {
        const char* what;
        QByteArray listing;
        QStringList lines;
        QHash<QString, QByteArray> rawNames;  // names that were not UTF-8, with their bytes
    } cases[] = {
        {"CR LF ends", "a.jpg\r\nb.jpg\r\n", {"a.jpg", "b.jpg"}, {}},
        {"LF ends, last line open", "a.jpg\nb.jpg", {"a.jpg", "b.jpg"}, {}},
        {"empty lines kept", "\n\r\nc\n", {"", "", "c"}, {}},
        {"nothing", "", {}, {}},
        {"UTF-8 of two, three and four bytes", "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x93\xb7\r\n",
         {QString::fromUtf8("caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x93\xb7")}, {}},
        {"a line that is not UTF-8 is Latin-1", "-rw-r--r--   1 o g 5 Jan  5 12:00 caf\xe9.jpg\r\nplain\r\n",
         {"-rw-r--r--   1 o g 5 Jan  5 12:00 " + latin1Name, "plain"}, {{latin1Name, "caf\xe9.jpg"}}},
        {"a line past the bound is cut, the next kept", longLine + "\r\nnext\r\n", {cut, "next"}, {}},
        {"a line just at the bound loses its CR", fullLine + "\r\n", {QString(fullLine)}, {}},
    };
    for (const auto& c : cases) {
        for (const qsizetype piece : {0, 1, 2, 3, 7, 4096}) {
            SCOPED_TRACE(testing::Message() << c.what << ", pieces of " << piece);
            const Split split = SplitInPieces(c.listing, piece);
            EXPECT_EQ(split.lines, c.lines);
            EXPECT_EQ(split.rawNames, c.rawNames);
        }
    }
}

TEST(ListSplitter, EachLineStandsAlone)
{
    // Lines of one piece share their storage until one of them changes.
    Split split = SplitInPieces("one\r\ntwo\r\nthree\r\n", 0);
    ASSERT_EQ(split.lines, (QStringList{"one", "two", "three"}));
    for (const QString& line : std::as_const(split.lines))
        EXPECT_EQ(line.utf16()[line.size()], u'\0');
    split.lines[0].append(QStringLiteral(" more"));
    EXPECT_EQ(split.lines, (QStringList{"one more", "two", "three"}));

    // The last one left grows where its neighbours were.
    QString kept = split.lines[1];
    split = {};
    kept.append(QStringLiteral(" and more"));
    kept.prepend(u'<');
    EXPECT_EQ(kept, QStringLiteral("<two and more"));
    EXPECT_EQ(kept.utf16()[kept.size()], u'\0');
}

}  // namespace
}  // namespace quillmar
