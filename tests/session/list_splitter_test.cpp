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
    const struct {
        const char* what;
        QByteArray listing;
        QStringList lines;
    } cases[] = {
        {"CR LF ends", "a.jpg\r\nb.jpg\r\n", {"a.jpg", "b.jpg"}},
        {"LF ends, last line open", "a.jpg\nb.jpg", {"a.jpg", "b.jpg"}},
        {"empty lines kept", "\n\r\nc\n", {"", "", "c"}},
        {"nothing", "", {}},
        {"UTF-8 of two, three and four bytes", "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x93\xb7\r\n",
         {QString::fromUtf8("caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x93\xb7")}},
        {"a line past the bound is cut, the next kept", longLine + "\r\nnext\r\n", {cut, "next"}},
        {"a line just at the bound loses its CR", fullLine + "\r\n", {QString(fullLine)}},
    };
    for (const auto& c : cases) {
        for (const qsizetype piece : {0, 1, 2, 3, 7, 4096}) {
            SCOPED_TRACE(testing::Message() << c.what << ", pieces of " << piece);
            const Split split = SplitInPieces(c.listing, piece);
            EXPECT_EQ(split.lines, c.lines);
            EXPECT_TRUE(split.rawNames.isEmpty());
        }
    }
}

TEST(ListSplitter, LineThatIsNotUtf8IsLatin1AndItsNameKeepsItsBytes)
{
    const QByteArray listing = "-rw-r--r--   1 owner group 5 Jan  5 12:00 caf\xe9.jpg\r\n"
                               "-rw-r--r--   1 owner group 5 Jan  5 12:00 plain.jpg\r\n";
    for (const qsizetype piece : {0, 1, 50}) {
        SCOPED_TRACE(piece);
        const Split split = SplitInPieces(listing, piece);
        ASSERT_EQ(split.lines.size(), 2);
        EXPECT_TRUE(split.lines[0].endsWith(QString::fromLatin1("caf\xe9.jpg")));
        EXPECT_EQ(split.rawNames, (QHash<QString, QByteArray>{{QString::fromLatin1("caf\xe9.jpg"), "caf\xe9.jpg"}}));
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
