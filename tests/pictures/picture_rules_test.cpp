#include "pictures/picture_rules.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace quillmar {
namespace {

TEST(IsPicture, LastThreeLettersDecide)
{
    const std::pair<const char*, bool> cases[] = {
        {"a.jpg", true},  {"A.GIF", true},   {"photo.JpG", true}, {"xjpg", true},
        {"jpg", true},    {"a.jpeg", false}, {"a.png", false},    {"pg", false},
        {"", false},      {"a.jpg ", false}, {"gif.txt", false},
    };
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(IsPicture(QString::fromLatin1(name)), expected);
    }
}

// The main window's frame, in twips.
constexpr double kFrameW = 4740;
constexpr double kFrameH = 4515;

TEST(FitPicture, SmallerPictureKeepsItsSizeCentred)
{
    const Fit fit = FitPicture(3000, 2000, kFrameW, kFrameH);
    EXPECT_FALSE(fit.stretched);
    EXPECT_DOUBLE_EQ(fit.width, 3000);
    EXPECT_DOUBLE_EQ(fit.height, 2000);
    EXPECT_DOUBLE_EQ(fit.left, 870);
    EXPECT_DOUBLE_EQ(fit.top, 1257.5);

    const Fit justInside = FitPicture(kFrameW - 1, kFrameH - 1, kFrameW, kFrameH);
    EXPECT_FALSE(justInside.stretched);
    EXPECT_DOUBLE_EQ(justInside.width, kFrameW - 1);
}

TEST(FitPicture, TooWideIsFittedToTheWidth)
{
    // As wide as the frame: the width test is strict.
    const Fit fit = FitPicture(4740, 2000, kFrameW, kFrameH);
    EXPECT_TRUE(fit.stretched);
    EXPECT_DOUBLE_EQ(fit.width, 4739);
    EXPECT_NEAR(fit.height, 1999.578, 0.001);
    EXPECT_DOUBLE_EQ(fit.left, 0.5);
    EXPECT_DOUBLE_EQ(fit.top, (kFrameH - fit.height) / 2);
}

TEST(FitPicture, TooTallIsFittedToTheHeight)
{
    const Fit fit = FitPicture(3000, 9000, kFrameW, kFrameH);
    EXPECT_TRUE(fit.stretched);
    EXPECT_DOUBLE_EQ(fit.height, 4513);
    EXPECT_NEAR(fit.width, 1504.333, 0.001);
    EXPECT_NEAR(fit.left, (kFrameW - 1504.333) / 2, 0.001);
    EXPECT_DOUBLE_EQ(fit.top, 1);
}

TEST(FitPicture, FrameSizedPictureIsScaled)
{
    const Fit fit = FitPicture(kFrameW, kFrameH, kFrameW, kFrameH);
    EXPECT_TRUE(fit.stretched);
    EXPECT_DOUBLE_EQ(fit.height, 4513);
    EXPECT_LT(fit.width, kFrameW - 2);
}

TEST(FitPicture, NothingToShowWithoutNaturalSizeOrRoom)
{
    const std::tuple<double, double, double, double> cases[] = {
        {0, 2000, kFrameW, kFrameH}, {3000, 0, kFrameW, kFrameH},
        {-5, -5, kFrameW, kFrameH},  {3000, 2000, 1, 1},
    };
    for (const auto& [w, h, frameW, frameH] : cases) {
        SCOPED_TRACE(testing::Message() << w << "x" << h << " in " << frameW << "x" << frameH);
        const Fit fit = FitPicture(w, h, frameW, frameH);
        EXPECT_EQ(fit.width, 0);
        EXPECT_EQ(fit.height, 0);
        EXPECT_FALSE(fit.stretched);
    }
}

}  // namespace
}  // namespace quillmar
