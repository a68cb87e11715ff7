// The publishing comparison, its texts and its record of web copies.

#include "operations/publish_plan.h"
#include "operations/published_copies.h"
#include "session/listing.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillmar;

namespace {

const QDateTime kNoon = QDateTime(QDate(2026, 12, 6), QTime(12, 0, 0), Qt::UTC);

QDateTime At(qint64 secondsAfterNoon, int ms = 0) { return kNoon.addSecs(secondsAfterNoon).addMSecs(ms); }

}  // namespace

TEST(LocalDiffers, BySizeByTimeAndByTheRecordOfWebCopies)
{
    const PublishedCopy made{100, At(0), 40};
    // What, the two files, web-ready on, the record of the web copy, whether the local file differs.
    const std::tuple<const char*, LocalFile, ServerFile, bool, const PublishedCopy*, bool> cases[] = {
        {"same size and time", {"a.txt", 100, At(0)}, {"a.txt", 100, At(0)}, false, nullptr, false},
        {"server copy newer", {"a.txt", 100, At(0)}, {"a.txt", 100, At(60)}, false, nullptr, false},
        {"sizes differ", {"a.txt", 100, At(0)}, {"a.txt", 99, At(60)}, false, nullptr, true},
        {"local newer", {"a.txt", 100, At(1)}, {"a.txt", 100, At(0)}, false, nullptr, true},
        {"newer by a fraction only", {"a.txt", 100, At(0, 900)}, {"a.txt", 100, At(0)}, false, nullptr, false},
        {"server time unknown", {"a.txt", 100, At(0)}, {"a.txt", 100, {}}, false, nullptr, false},
        {"server size unknown", {"a.txt", 100, At(0)}, {"a.txt", -1, At(0)}, false, nullptr, true},
        {"web copy, none recorded", {"p.jpg", 100, At(0)}, {"p.jpg", 40, At(0)}, true, nullptr, true},
        {"web copy of the file as it is", {"p.jpg", 100, At(0, 500)}, {"p.jpg", 40, At(-60)}, true, &made, false},
        {"web copy of an older size", {"p.jpg", 101, At(0)}, {"p.jpg", 40, At(0)}, true, &made, true},
        {"web copy of an older time", {"p.jpg", 100, At(5)}, {"p.jpg", 40, At(9)}, true, &made, true},
        {"web copy replaced on the server", {"p.jpg", 100, At(0)}, {"p.jpg", 41, At(0)}, true, &made, true},
        {"web-ready leaves other files alone", {"a.txt", 100, At(0)}, {"a.txt", 100, At(0)}, true, nullptr, false},
    };
    for (const auto& [what, local, server, webReady, record, differs] : cases)
        EXPECT_EQ(LocalDiffers(local, server, webReady, record), differs) << what;
}

TEST(PlanPublish, KindsCountsAndBytesOfBothSides)
{
    const QList<LocalFile> local{{"new.jpg", 1000, At(0)},
                                 {"changed.txt", 20, At(0)},
                                 {"same.txt", 30, At(0)},
                                 {"sub/deep.jpg", 500, At(0)},
                                 {"sub/same.jpg", 7, At(0)}};
    const QList<ServerFile> server{{"gone.txt", 44, At(0)},
                                   {"same.txt", 30, At(10)},
                                   {"changed.txt", 21, At(10)},
                                   {"sub/same.jpg", 7, At(0)},
                                   {"sub/old.gif", 5, At(0)}};
    const PublishPlan plan = PlanPublish(local, server, false);
    QStringList rows;
    for (const PublishRow& row : plan.rows)
        rows << QStringLiteral("%1 %2 %3").arg(row.path, PublishKindText(row.kind)).arg(row.bytes);
    EXPECT_EQ(rows, (QStringList{"new.jpg new 1000", "changed.txt changed 20", "same.txt same 30",
                                 "sub/deep.jpg new 500", "sub/same.jpg same 7", "gone.txt only on the server 44",
                                 "sub/old.gif only on the server 5"}));
    EXPECT_EQ(plan.bytesToSend, 1520);
    EXPECT_EQ(PublishCountsText(plan), "2 new · 1 changed · 2 same · 2 only on the server · 1.5 KB to send");
}

TEST(PublishTexts, ProgressAndOutcome)
{
    const std::pair<QString, QString> cases[] = {  // the text made, the text expected
        {PublishProgressText(1, 15, 0, 1000, 0), "Publishing 1 of 15 · 0 %"},
        // 420 bytes in 50 s: the other 580 take 69 s more.
        {PublishProgressText(7, 15, 420, 1000, 50000), "Publishing 7 of 15 · 42 % · 1:09 left"},
        {PublishProgressText(15, 15, 1000, 1000, 9000), "Publishing 15 of 15 · 100 % · 0:00 left"},
        {PublishedText(12, 3, 38400000), "Published 15 files (12 new, 3 changed), 38.4 MB"},
        {PublishedText(0, 1, 512), "Published 1 file (0 new, 1 changed), 512 bytes"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(text, expected);
}

TEST(FactTime, MachineListingTimesAreUtc)
{
    EXPECT_EQ(FactTime(u"20261206120005"), At(5));
    EXPECT_EQ(FactTime(u"20261206120005.250"), At(5));
    for (const char16_t* bad : {u"202612061200", u"20261306120005", u"2026120612000x", u""})
        EXPECT_FALSE(FactTime(bad).isValid()) << QString::fromUtf16(bad).toStdString();
}

TEST(PublishedCopies, KeptPerSiteAndFolderAcrossWrites)
{
    QTemporaryDir app;
    const ServerPlace pics{"demo@127.0.0.1:21", "/pics"}, other{"demo@127.0.0.1:21", "/other"};
    ASSERT_TRUE(WritePublishedCopies(app.path(), pics, {{"a.jpg", {100, At(0, 250), 40}}}));
    ASSERT_TRUE(WritePublishedCopies(app.path(), other, {{"sub/b.jpg", {7, At(3), 5}}}));
    const PublishedCopies read = ReadPublishedCopies(app.path(), pics);
    ASSERT_EQ(read.size(), 1);
    EXPECT_EQ(read.value("a.jpg").localSize, 100);
    EXPECT_EQ(read.value("a.jpg").localModified, At(0, 250));
    EXPECT_EQ(read.value("a.jpg").sentSize, 40);
    EXPECT_EQ(ReadPublishedCopies(app.path(), other).value("sub/b.jpg").sentSize, 5);
    EXPECT_TRUE(ReadPublishedCopies(app.path(), {"demo@127.0.0.2:21", "/pics"}).isEmpty());
}
