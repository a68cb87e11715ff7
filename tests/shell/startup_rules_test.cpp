#include "shell/startup_rules.h"

#include "shell/app_folder.h"

#include <QFileInfo>
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
