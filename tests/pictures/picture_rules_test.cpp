#include "pictures/picture_rules.h"
#include "session/server_place.h"
#include "sites/web_address.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace quillmar {
namespace {

TEST(IsPicture, TheEndingDecidesInAnyLetterCase)
{
    const std::pair<const char*, bool> cases[] = {
        {"a.jpg", true},   {"A.GIF", true},    {"photo.JpG", true}, {"b.JPEG", true}, {"c.png", true},
        {"d.WebP", true},  {"e.bmp", true},    {"xjpg", false},     {"jpg", false},   {".png", false},
        {"a.jpe", false},  {"pics/", false},   {"", false},         {"a.jpg ", false}, {"gif.txt", false},
    };
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(IsPicture(QString::fromLatin1(name)), expected);
    }
}

TEST(ServerPlace, FolderFromPwdReply)
{
    const std::pair<const char*, const char*> cases[] = {
        {"257 \"/\" is the current directory.", "/"},
        {"257 \"/public_html/my pics\"", "/public_html/my pics"},
        {"257 \"/a \"\"b\"\"\" is current", "/a \"b\""},
        {"257 \"/unclosed", nullptr},
        {"257 no quotes", nullptr},
        {"257 \"\"", nullptr},
        {"550 Permission denied.", nullptr},
        {"502 Not implemented here.", nullptr},
        {"", nullptr},
    };
    for (const auto& [reply, folder] : cases) {
        SCOPED_TRACE(reply);
        const std::optional<QString> found = FolderFromPwdReply(QString::fromUtf8(reply));
        EXPECT_EQ(found.has_value(), folder != nullptr);
        EXPECT_EQ(found.value_or(QString()), QString::fromUtf8(folder ? folder : ""));
    }
}

TEST(WebAddress, RowsInsideTheMappedFolderGetEncodedAddressesOthersAReason)
{
    struct Case {
        const char *web, *webFolder, *serverFolder, *row, *expected;  // the address, or a part of the reason
    };
    const char* const kDots = "holds \".\" or \"..\"";
    const Case cases[] = {
        {"https://127.0.0.2/", "/public_html", "/public_html", "a.jpg", "https://127.0.0.2/a.jpg"},
        {"https://127.0.0.2", "/public_html/", "/public_html/my pics", "Grüne Vase 1.jpg",
         "https://127.0.0.2/my%20pics/Gr%C3%BCne%20Vase%201.jpg"},
        {"http://127.0.0.2/~me/", "", "/", "pics/", "http://127.0.0.2/~me/pics/"},
        {"http://127.0.0.2", "public_html", "/public_html/a#b", "50%;?.png", "http://127.0.0.2/a%23b/50%25%3B%3F.png"},
        {"https://127.0.0.3/", "/", "/deep/er", "a.jpg", "https://127.0.0.3/deep/er/a.jpg"},
        {"https://127.0.0.3/", "/public_html", "/public_html2", "a.jpg", "outside the folder /public_html"},  // a neighbour
        {"https://127.0.0.3/", "/public_html", "/", "a.jpg", "outside the folder /public_html"},
        {"", "/public_html", "/public_html", "a.jpg", "in the site manager"},  // no web address
        {"  ", "/", "/", "a.jpg", "in the site manager"},
        {"https://127.0.0.3/", "/", "", "a.jpg", "did not say which folder"},
        {"https://127.0.0.3/", "/", "/", "", "Choose a row"},
        {"https://127.0.0.3/", "/public_html", "/public_html/../private", "a.jpg", kDots},  // climbs out
        {"https://127.0.0.3/", "/", "/a/./b", "a.jpg", kDots},
        {"https://127.0.0.3/", "/public_html/..", "/public_html", "a.jpg", kDots},
        {"https://127.0.0.3/", "/", "/a..b/..c", "d..jpg", "https://127.0.0.3/a..b/..c/d..jpg"},  // dots inside names
        {"https://127.0.0.3/", "/", "/", "../", "is no name in this folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.serverFolder) + " " + c.row);
        const WebAddressResult result = WebAddressFor(QString::fromUtf8(c.web), QString::fromUtf8(c.webFolder),
                                                      QString::fromUtf8(c.serverFolder), QString::fromUtf8(c.row));
        const QString expected = QString::fromUtf8(c.expected);
        const bool address = expected.startsWith(u"http");
        EXPECT_EQ(result.address, address ? expected : QString());
        EXPECT_TRUE(address ? result.problem.isEmpty() : result.problem.contains(expected)) << result.problem.toStdString();
    }
}
// The main window's frame, in twips.
constexpr double kFrameW = 4740;
constexpr double kFrameH = 4515;

// A picture that fits keeps its size, centred; one as wide as the frame or
// wider (the width test is strict) or taller is scaled into it.
TEST(FitPicture, SmallerKeepsItsSizeLargerIsScaledIn)
{
    const struct { double w, h; bool stretched; double width, height, left, top; } cases[] = {
        {3000, 2000, false, 3000, 2000, 870, 1257.5},
        {kFrameW - 1, kFrameH - 1, false, kFrameW - 1, kFrameH - 1, 0.5, 0.5},
        {4740, 2000, true, 4739, 4739.0 * 2000 / 4740, 0.5, (kFrameH - 4739.0 * 2000 / 4740) / 2},
        {3000, 9000, true, 4513.0 * 3000 / 9000, 4513, (kFrameW - 4513.0 * 3000 / 9000) / 2, 1},
        {kFrameW, kFrameH, true, 4513 * kFrameW / kFrameH, 4513, (kFrameW - 4513 * kFrameW / kFrameH) / 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        const Fit fit = FitPicture(c.w, c.h, kFrameW, kFrameH);
        EXPECT_EQ(fit.stretched, c.stretched);
        EXPECT_NEAR(fit.width, c.width, 0.001);
        EXPECT_NEAR(fit.height, c.height, 0.001);
        EXPECT_NEAR(fit.left, c.left, 0.001);
        EXPECT_NEAR(fit.top, c.top, 0.001);
    }
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
