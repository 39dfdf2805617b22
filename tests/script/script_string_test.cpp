#include "script/script_writer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

// Reads a string expression the way the script language does: "..." holds
// no quote; """...""" ends at the first """ and any quotes right after it
// belong to the content; literals may be joined with "+". Empty when the
// text is not exactly one such expression.
std::optional<std::string> readStringExpression(const std::string &text)
{
    std::string value;
    std::size_t i = 0;
    while (true) {
        if (i >= text.size() || text[i] != '"')
            return std::nullopt;
        if (text.compare(i, 3, "\"\"\"") == 0) {
            const std::size_t start = i + 3;
            std::size_t close = text.find("\"\"\"", start);
            if (close == std::string::npos)
                return std::nullopt;
            while (close + 3 < text.size() && text[close + 3] == '"')
                ++close;
            value += text.substr(start, close - start);
            i = close + 3;
        } else {
            const std::size_t close = text.find('"', i + 1);
            if (close == std::string::npos)
                return std::nullopt;
            value += text.substr(i + 1, close - i - 1);
            i = close + 1;
        }
        if (i == text.size())
            return value;
        if (text[i] != '+')
            return std::nullopt;
        ++i;
    }
}

TEST(ScriptString, ValuesWithoutQuotesAreWrittenPlain)
{
    EXPECT_EQ(core::scriptString("C:\\Videos\\clip.avi"), "\"C:\\Videos\\clip.avi\"");
    EXPECT_EQ(core::scriptString(""), "\"\"");
    EXPECT_EQ(core::scriptString("Demo"), "\"Demo\"");
}

TEST(ScriptString, ValuesWithQuotesUseTripleQuotes)
{
    EXPECT_EQ(core::scriptString("say \"hi\" now"), "\"\"\"say \"hi\" now\"\"\"");
    EXPECT_EQ(core::scriptString("ab\""), "\"\"\"ab\"\"\"\"");
}

class ScriptStringRoundTrip : public testing::TestWithParam<std::string>
{};

TEST_P(ScriptStringRoundTrip, ReadsBackUnchanged)
{
    const std::string literal = core::scriptString(GetParam());
    EXPECT_EQ(readStringExpression(literal), GetParam()) << literal;
}

INSTANTIATE_TEST_SUITE_P(Values, ScriptStringRoundTrip,
                         testing::Values("", "plain", "C:\\dir\\f.avi", "a\"b", "\"", "\"\"", "\"\"\"", "\"\"\"\"",
                                         "ab\"", "ab\"\"", "ab\"\"\"", "\"ab", "\"\"ab", "\"\"\"ab", "a\"\"b",
                                         "a\"\"\"b", "a\"\"\"\"b\"c", "x\"\"\"y\"\"\"z", "\"quoted\"",
                                         "5\" screen"));

TEST(ScriptString, ReaderCatchesAWrongLiteral)
{
    // The reader must reject what a plain literal would make of a quote.
    EXPECT_EQ(readStringExpression("\"a\"b\""), std::nullopt);
    EXPECT_NE(readStringExpression("\"\"\"a\"\"\"b\"\"\""), std::optional<std::string>("a\"\"\"b"));
}

struct ColourCase
{
    std::int32_t stored;
    std::int32_t script;
};

TEST(LogoColour, SwapsRedAndBlue)
{
    const ColourCase cases[] = {
        {0, 0}, {255, 16711680}, {65280, 65280}, {16711680, 255}, {16777215, 16777215},
        {0x00123456, 0x00563412}, {static_cast<std::int32_t>(0xFF0000FFu), 16711680}, // top byte ignored
    };
    for (const auto &c : cases)
        EXPECT_EQ(core::logoColorRgb(c.stored), c.script) << c.stored;
}

} // namespace
