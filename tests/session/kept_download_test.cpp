// Which kept part of an earlier download may be gone on from.

#include "session/kept_download.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>

using namespace quillmar;

namespace {

constexpr qint64 ServerSize = 3000000;
constexpr qint64 PartSize = 1000000;
const QByteArray ThisBoot = "boot-now";

// A download as its record holds it and as the server shows it now.
KeptDownload Seen()
{
    return {.site = "ftp://demo@127.0.0.1:2121", .folder = "shop/pics", .name = "photo.jpg", .target = "photo.jpg",
            .size = ServerSize, .modified = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC),
            .part = ".photo.jpg.abc123.part", .synced = 0, .bootId = ThisBoot};
}

}  // namespace

// The record must name the same site, folder, file, size and date, and a
// part file of ours; after a restart of the machine only synced bytes count.
TEST(KeptDownload, ResumableBytesOnlyForTheSameServerFileAndTrustedBytes)
{
    struct Case {
        const char* name;
        std::function<void(KeptDownload&)> change;   // to the record
        qint64 partSize;
        qint64 expected;
    };
    const Case cases[] = {
        {"same file, same boot: the whole part", [](KeptDownload&) {}, PartSize, PartSize},
        {"other site", [](KeptDownload& r) { r.site = "ftp://demo@127.0.0.2:2121"; }, PartSize, 0},
        {"other folder", [](KeptDownload& r) { r.folder = "shop"; }, PartSize, 0},
        {"other name", [](KeptDownload& r) { r.name = "photo2.jpg"; }, PartSize, 0},
        {"other size", [](KeptDownload& r) { r.size = ServerSize + 1; }, PartSize, 0},
        {"other date", [](KeptDownload& r) { r.modified = r.modified.addSecs(1); }, PartSize, 0},
        {"no date", [](KeptDownload& r) { r.modified = {}; }, PartSize, 0},
        {"part is the whole file", [](KeptDownload&) {}, ServerSize, 0},
        {"part larger than the file", [](KeptDownload&) {}, ServerSize + 5, 0},
        {"after a restart: the synced bytes", [](KeptDownload& r) { r.bootId = "boot-before"; r.synced = 400000; }, PartSize, 400000},
        {"after a restart, nothing synced", [](KeptDownload& r) { r.bootId = "boot-before"; }, PartSize, 0},
        {"synced beyond a cut part", [](KeptDownload& r) { r.bootId = "boot-before"; r.synced = PartSize; }, 200000, 200000},
        {"part outside the folder", [](KeptDownload& r) { r.part = "../.photo.jpg.abc123.part"; }, PartSize, 0},
        {"the person's own file", [](KeptDownload& r) { r.part = "photo.jpg"; }, PartSize, 0},
        {"another target's part", [](KeptDownload& r) { r.part = ".other.jpg.abc123.part"; }, PartSize, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KeptDownload record = Seen();
        c.change(record);
        EXPECT_EQ(ResumableBytes(record, Seen(), c.partSize, ThisBoot), c.expected);
    }
}

TEST(KeptDownload, PartNamesAreTheDownloadsOwnBesideTheirTarget)
{
    const QString longName = QString(300, u'n') + QStringLiteral(".jpg");
    const QString longPart = DownloadPartTemplate(longName).replace(QStringLiteral("XXXXXX"), QStringLiteral("aB3dE9"));
    EXPECT_TRUE(IsDownloadPartName(longPart, longName));
    EXPECT_LE(QFile::encodeName(longPart).size(), 255);
    EXPECT_TRUE(IsDownloadPartName(".photo.jpg.aB3dE9.part", "photo.jpg"));
    for (const char* part : {".photo.jpg.aB3dE.part", ".photo.jpg.a/3dE9.part", "sub/.photo.jpg.aB3dE9.part",
                             ".photo.jpg.quillmar-resume", ".photo.jpgaB3dE9.part"})
        EXPECT_FALSE(IsDownloadPartName(part, "photo.jpg")) << part;
}
