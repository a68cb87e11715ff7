#include "shell/startup_rules.h"

#include "shell/app_folder.h"
#include "shell/connection_settings.h"
#include "support/files.h"

#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quillmar {
namespace {

TEST(ParseStartUpConnect, WordsAndNumbers)
{
    const std::pair<const char*, std::optional<bool>> cases[] = {
        {"True", true},   {"true", true},    {"TRUE", true},    {"False", false},
        {"fAlSe", false}, {"0", false},      {"1", true},       {"-1", true},
        {" 1 ", true},    {"1.5", true},     {"0.0", false},    {"+0", false},
        {" True ", true}, {"", std::nullopt}, {"yes", std::nullopt},
        {"truex", std::nullopt}, {"1x", std::nullopt}, {"nan", std::nullopt},
        {"inf", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseStartUpConnect(QString::fromLatin1(text)), expected);
    }
    EXPECT_EQ(ParseStartUpConnect(QString()), std::nullopt);
}

// Two thirds of the screen in the design's proportions, never below the design.
TEST(FirstWindowSize, GrowsTheDesignToTwoThirdsOfTheScreen)
{
    const QSize design(780, 455);
    const std::pair<QSize, QSize> cases[] = {
        {QSize(1280, 800), QSize(853, 498)},   // the width is the limit
        {QSize(1920, 1080), QSize(1234, 720)}, // the height is the limit
        {QSize(800, 600), design},             // a small screen: the design as it is
        {QSize(1024, 600), design},
        {QSize(), design},                     // no screen known
    };
    for (const auto& [screen, size] : cases)
        EXPECT_EQ(FirstWindowSize(design, screen), size) << screen.width() << "x" << screen.height();
}

}  // namespace
}  // namespace quillmar

// The data folder: the program's own when it may be written and is not a
// system program folder; the per-user folder otherwise.
TEST(ResolveAppFolder, ProgramFolderOnlyWhenWritableAndNotTheSystems)
{
    QTemporaryDir program;
    QTemporaryDir home;
    const QString user = home.filePath(QStringLiteral("share/Quillmar"));
    EXPECT_EQ(quillmar::ResolveAppFolder(program.path(), user), QFileInfo(program.path()).absoluteFilePath());
    for (const QString& folder : {QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin/"),
                                  program.filePath(QStringLiteral("missing"))}) {
        EXPECT_EQ(quillmar::ResolveAppFolder(folder, user), user) << folder.toStdString();
        EXPECT_TRUE(QFileInfo(user).isDir());
    }
}

// The settings of an earlier run read back whole, and a first run reads the
// defaults: a key renamed or a default changed loses what the person chose.
TEST(StoredSettings, AnEarlierRunsStoreReadsBackAndAnEmptyOneGivesTheDefaults)
{
    QTemporaryDir dir;
    const QString earlier = dir.filePath(QStringLiteral("earlier.conf"));
    ASSERT_TRUE(WriteFile(earlier, "[StartUp]\nURL=127.0.0.1:2121\nUser=ann\nPass=secret\nPort=2121\n"
                                   "Description=Shop\nWebAddress=http://127.0.0.1/\nWebFolder=/www\nStartUpConnect=True\n"
                                   "[Upload]\nWebReady=True\nMaxSide=800\nRemotePreview=True\n"));
    QSettings stored(earlier, QSettings::IniFormat);
    const quillmar::StartUpValues values = quillmar::ReadStartUpValues(stored);
    const quillmar::ConnectionSettings& site = values.connection;
    EXPECT_EQ(QStringList({site.URL, site.User, site.Pass, site.Port, site.Description, site.WebAddress, site.WebFolder}),
              QStringList({"127.0.0.1:2121", "ann", "secret", "2121", "Shop", "http://127.0.0.1/", "/www"}));
    EXPECT_TRUE(values.autoConnect);
    const quillmar::UploadOptions upload = quillmar::ReadUploadOptions(stored);
    EXPECT_TRUE(upload.webReady && upload.remotePreview);
    EXPECT_EQ(upload.maxSide, 800);

    QSettings empty(dir.filePath(QStringLiteral("first.conf")), QSettings::IniFormat);
    EXPECT_FALSE(quillmar::ReadStartUpValues(empty).autoConnect);
    const quillmar::UploadOptions first = quillmar::ReadUploadOptions(empty);
    EXPECT_FALSE(first.webReady || first.remotePreview);
    EXPECT_EQ(first.maxSide, 1600);
}
