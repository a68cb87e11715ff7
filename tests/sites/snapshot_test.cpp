#include "sites/snapshot.h"

#include "support/files.h"

#include <QDir>
#include <QTemporaryDir>

namespace quillmar {
namespace {

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

TEST(WriteListingSnapshot, EveryDescriptionGivesAFileInTheAppFolder)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkdir("app"));
    const QString app = root.filePath("app");
    const std::pair<const char*, const char*> cases[] = {
        {"My Shop", "My Shop.dat"}, {"", ".dat"},       {"x: y?*", "x: y?*.dat"}, {"a/b", "a_b.dat"},
        {"a\\b", "a_b.dat"},        {"../up", ".._up.dat"}, {"..", "...dat"},     {"/etc/x", "_etc_x.dat"},
    };
    for (const auto& [description, name] : cases) {
        SCOPED_TRACE(description);
        EXPECT_EQ(SnapshotFileName(description), name);
        QString error;
        EXPECT_TRUE(WriteListingSnapshot(app, description, "127.0.0.1", {"a"}, &error)) << error;
        EXPECT_EQ(ReadFile(app + "/" + name), QByteArray("|URL| 127.0.0.1\r\na\r\n"));
    }
    EXPECT_EQ(Entries(root.path()), QStringList{"app"});
}

// The header, the place of the rows when known (in header lines every reader
// skips), then one CRLF line a row; names that would read back as a header or
// as two rows are left out. Each write replaces the last.
TEST(WriteListingSnapshot, HeaderPlaceThenOneCrLfLinePerRow)
{
    QTemporaryDir folder;
    const struct {
        ServerPlace place;
        QStringList rows;
        QByteArray file;
        qsizetype rowsRead;
    } cases[] = {
        {{}, {"images/", "a b.jpg", "caf\u00e9.gif"}, "|URL| h\r\nimages/\r\na b.jpg\r\ncaf\xc3\xa9.gif\r\n", 3},
        {{}, {}, "|URL| h\r\n", 0},
        {{"me@h", "/pics"},
         {"a.jpg", "|URL|Folder| /elsewhere", "x|URL|y.jpg", "two\r\nlines.jpg", "cr\r.jpg", "lf\n.jpg", "b.jpg"},
         "|URL| h\r\n|URL|Site| me@h\r\n|URL|Folder| /pics\r\na.jpg\r\nb.jpg\r\n", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        ASSERT_TRUE(WriteListingSnapshot(folder.path(), "Shop", "h", c.place, c.rows));
        EXPECT_EQ(ReadFile(folder.filePath("Shop.dat")), c.file);
        EXPECT_EQ(ReadListingSnapshot(folder.path(), "Shop.dat").size(), c.rowsRead);
        const ServerPlace place = ReadSnapshotPlace(folder.path(), "Shop.dat");
        EXPECT_EQ(QStringList({place.site, place.folder}), QStringList({c.place.site, c.place.folder}));
    }

    // A place line below the rows, as a hand-edited or older file may have,
    // does not replace the place at the top.
    WriteFile(folder.filePath("Old.dat"), "|URL| h\r\n|URL|Folder| /pics\r\na.jpg\r\n|URL|Folder| /elsewhere\r\n");
    EXPECT_EQ(ReadSnapshotPlace(folder.path(), "Old.dat").folder, QStringLiteral("/pics"));
    WriteFile(folder.filePath("Rows.dat"), "|URL| h\r\na.jpg\r\n|URL|Site| x@y\r\n|URL|Folder| /elsewhere\r\n");
    EXPECT_FALSE(ReadSnapshotPlace(folder.path(), "Rows.dat").known());
}

TEST(WriteListingSnapshot, RefusedNameIsReportedAndOtherFilesStay)
{
    QTemporaryDir folder;
    WriteFile(folder.filePath("sites.snd"), "kept\r\n");
    // A NUL would cut the name short: "sites.snd" must not be overwritten.
    const std::pair<QString, QString> cases[] = {{folder.path(), QString(300, u'x')},
                                                 {folder.path(), QString::fromUtf8("sites.snd\0x", 11)},
                                                 {folder.filePath("missing"), "Shop"}};
    for (const auto& [app, description] : cases) {
        QString error;
        EXPECT_FALSE(WriteListingSnapshot(app, description, "127.0.0.1", {"a"}, &error)) << description;
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(ReadFile(folder.filePath("sites.snd")), QByteArray("kept\r\n"));
    EXPECT_EQ(Entries(folder.path()), QStringList{"sites.snd"});
}

// Rows without the headers; nothing from missing files or outside the folder.
TEST(ReadListingSnapshot, RowsWithoutHeadersAndNothingFromOutsideTheFolder)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkdir("app"));
    const QString app = root.filePath("app");
    WriteFile(app + "/Shop.dat", "|URL| 127.0.0.1\r\nimages/\r\na.jpg\rb.gif\nx|URL|y\r\n\r\ncaf\xc3\xa9/");
    QStringList rows;
    for (const SnapshotRow& row : ReadListingSnapshot(app, "Shop.dat"))
        rows << row.text + (row.folder ? " (folder)" : "");
    EXPECT_EQ(rows, (QStringList{"images/ (folder)", "a.jpg", "b.gif", "", "caf\u00e9/ (folder)"}));
    WriteFile(root.filePath("outside.dat"), "secret\r\n");
    for (const QString& name : {QString("missing.dat"), QString("../outside.dat"), QString::fromUtf8("Shop.dat\0x", 10),
                                root.filePath("outside.dat"), QString(".."), QString()}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(ReadListingSnapshot(app, name).isEmpty());
    }
}

}  // namespace
}  // namespace quillmar
