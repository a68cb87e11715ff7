#include "shell/startup_rules.h"

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

}  // namespace
}  // namespace quillmar
