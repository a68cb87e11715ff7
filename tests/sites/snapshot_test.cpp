#include "sites/snapshot.h"

#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quillmar {
namespace {

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

TEST(SnapshotFileName, DescriptionStaysInTheFolder)
{
    const std::pair<const char*, const char*> cases[] = {
        {"My Shop", "My Shop.dat"},   {"", ".dat"},           {"x: y?*", "x: y?*.dat"},
        {"a/b", "a_b.dat"},           {"a\\b", "a_b.dat"},    {"../up", ".._up.dat"},
        {"..", "...dat"},             {"/etc/x", "_etc_x.dat"},
    };
    for (const auto& [description, name] : cases) {
        SCOPED_TRACE(description);
        EXPECT_EQ(SnapshotFileName(QString::fromLatin1(description)), QString::fromLatin1(name));
    }
}

TEST(WriteListingSnapshot, HeaderThenOneCrLfLinePerRow)
{
    QTemporaryDir folder;
    ASSERT_TRUE(WriteListingSnapshot(folder.path(), "Shop", "ftp.example.test",
                                     {"images/", "a b.jpg", "caf\u00e9.gif"}));
    EXPECT_EQ(ReadBytes(folder.filePath("Shop.dat")),
              QByteArray("|URL| ftp.example.test\r\nimages/\r\na b.jpg\r\ncaf\xc3\xa9.gif\r\n"));

    // A later disconnect with an empty list rewrites it with the header alone.
    ASSERT_TRUE(WriteListingSnapshot(folder.path(), "Shop", "127.0.0.1", {}));
    EXPECT_EQ(ReadBytes(folder.filePath("Shop.dat")), QByteArray("|URL| 127.0.0.1\r\n"));
}

TEST(WriteListingSnapshot, OddDescriptionsNeverLeaveTheFolder)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkdir("app"));
    const QString app = root.filePath("app");
    for (const QString& description : {QStringLiteral(""), QStringLiteral("../up"),
                                       QStringLiteral(".."), QStringLiteral("/tmp/x")}) {
        SCOPED_TRACE(description.toStdString());
        QString error;
        EXPECT_TRUE(WriteListingSnapshot(app, description, "127.0.0.1", {"a"}, &error)) << error.toStdString();
        EXPECT_EQ(ReadBytes(app + "/" + SnapshotFileName(description)),
                  QByteArray("|URL| 127.0.0.1\r\na\r\n"));
    }
    EXPECT_EQ(QDir(root.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"app"});
}

TEST(WriteListingSnapshot, RefusedNameIsReportedAndOtherFilesStay)
{
    QTemporaryDir folder;
    WriteBytes(folder.filePath("sites.snd"), "kept\r\n");
    // A NUL would cut the name short: "sites.snd" must not be overwritten.
    for (const QString& description : {QString(300, u'x'), QString::fromUtf8("sites.snd\0x", 11)}) {
        QString error;
        EXPECT_FALSE(WriteListingSnapshot(folder.path(), description, "127.0.0.1", {"a"}, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(ReadBytes(folder.filePath("sites.snd")), QByteArray("kept\r\n"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"sites.snd"});

    QString error;
    EXPECT_FALSE(WriteListingSnapshot(folder.filePath("missing"), "Shop", "127.0.0.1", {"a"}, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ReadListingSnapshot, RowsWithoutHeaders)
{
    QTemporaryDir folder;
    WriteBytes(folder.filePath("Shop.dat"),
               "|URL| 127.0.0.1\r\nimages/\r\na.jpg\rb.gif\nx|URL|y\r\n\r\ncaf\xc3\xa9/");
    const QList<SnapshotRow> rows = ReadListingSnapshot(folder.path(), "Shop.dat");
    const QList<std::pair<QString, bool>> expected = {
        {"images/", true}, {"a.jpg", false}, {"b.gif", false}, {"", false}, {"caf\u00e9/", true}};
    ASSERT_EQ(rows.size(), expected.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].text, expected[i].first);
        EXPECT_EQ(rows[i].folder, expected[i].second);
    }
}

TEST(ReadListingSnapshot, WhatWasWrittenComesBack)
{
    QTemporaryDir folder;
    ASSERT_TRUE(WriteListingSnapshot(folder.path(), "", "127.0.0.1", {"pics/", "a.jpg"}));
    const QList<SnapshotRow> rows = ReadListingSnapshot(folder.path(), ".dat");
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].text, "pics/");
    EXPECT_TRUE(rows[0].folder);
    EXPECT_EQ(rows[1].text, "a.jpg");
    EXPECT_FALSE(rows[1].folder);
}

TEST(ReadListingSnapshot, NothingFromMissingFilesOrOutsideTheFolder)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkdir("app"));
    const QString app = root.filePath("app");
    WriteBytes(root.filePath("outside.dat"), "secret\r\n");
    WriteBytes(app + "/Shop.dat", "inside\r\n");
    for (const QString& name : {QStringLiteral("missing.dat"), QStringLiteral("../outside.dat"),
                                QString::fromUtf8("Shop.dat\0x", 10),
                                root.filePath("outside.dat"), QStringLiteral(".."), QStringLiteral("")}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(ReadListingSnapshot(app, name).isEmpty());
    }
}

TEST(ListSnapshotFiles, LowerCaseDatFilesByName)
{
    QTemporaryDir folder;
    for (const char* name : {"b.dat", "a.dat", ".dat", "c.DAT", "d.dat.txt", "sites.snd", "edat"})
        WriteBytes(folder.filePath(name), "|URL| 127.0.0.1\r\n");
    ASSERT_TRUE(QDir(folder.path()).mkdir("folder.dat"));
    EXPECT_EQ(ListSnapshotFiles(folder.path()), (QStringList{".dat", "a.dat", "b.dat"}));
    EXPECT_TRUE(ListSnapshotFiles(folder.filePath("missing")).isEmpty());
}

}  // namespace
}  // namespace quillmar
