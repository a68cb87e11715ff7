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

TEST(WriteListingSnapshot, HeaderThenOneCrLfLinePerRow)
{
    QTemporaryDir folder;
    ASSERT_TRUE(WriteListingSnapshot(folder.path(), "Shop", "ftp.example.test",
                                     {"images/", "a b.jpg", "caf\u00e9.gif"}));
    EXPECT_EQ(ReadFile(folder.filePath("Shop.dat")),
              QByteArray("|URL| ftp.example.test\r\nimages/\r\na b.jpg\r\ncaf\xc3\xa9.gif\r\n"));

    // A later disconnect with an empty list rewrites it with the header alone.
    ASSERT_TRUE(WriteListingSnapshot(folder.path(), "Shop", "127.0.0.1", {}));
    EXPECT_EQ(ReadFile(folder.filePath("Shop.dat")), QByteArray("|URL| 127.0.0.1\r\n"));
    EXPECT_TRUE(ReadListingSnapshot(folder.path(), "Shop.dat").isEmpty());
    EXPECT_FALSE(ReadSnapshotPlace(folder.path(), "Shop.dat").known());

    // The place of the rows rides in header lines that every reader skips.
    ASSERT_TRUE(WriteListingSnapshot(folder.path(), "Shop", "h", ServerPlace{"me@h", "/pics"}, {"a.jpg"}));
    EXPECT_EQ(ReadFile(folder.filePath("Shop.dat")), QByteArray("|URL| h\r\n|URL|Site| me@h\r\n|URL|Folder| /pics\r\na.jpg\r\n"));
    EXPECT_EQ(ReadListingSnapshot(folder.path(), "Shop.dat").size(), 1);
    const ServerPlace place = ReadSnapshotPlace(folder.path(), "Shop.dat");
    EXPECT_EQ(QStringList({place.site, place.folder}), QStringList({"me@h", "/pics"}));
}

// Server names that would read back as a header or as two rows are left
// out; only the header lines at the top name the place.
TEST(WriteListingSnapshot, NamesTheFormatCannotHoldAreLeftOut)
{
    QTemporaryDir folder;
    const QStringList rows{"a.jpg", "|URL|Folder| /elsewhere", "x|URL|y.jpg", "two\r\nlines.jpg", "cr\r.jpg",
                           "lf\n.jpg", "b.jpg"};
    ASSERT_TRUE(WriteListingSnapshot(folder.path(), "Shop", "h", ServerPlace{"me@h", "/pics"}, rows));
    EXPECT_EQ(ReadFile(folder.filePath("Shop.dat")),
              QByteArray("|URL| h\r\n|URL|Site| me@h\r\n|URL|Folder| /pics\r\na.jpg\r\nb.jpg\r\n"));

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
