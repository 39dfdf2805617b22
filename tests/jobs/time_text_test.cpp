#include "jobs/time_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <tuple>

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max(), kMin = std::numeric_limits<std::int32_t>::min();

TEST(TimeText, HoursMinutesSecondsEachPaddedAndSigned)
{
    for (const auto &[seconds, text] : {std::pair{0, "00:00:00"}, {59, "00:00:59"}, {60, "00:01:00"}, {3599, "00:59:59"},
                                        {3661, "01:01:01"}, {86399, "23:59:59"}, {360000, "100:00:00"}, {-1, "00:00:-01"},
                                        {-61, "00:-01:-01"}, {-3600, "-01:00:00"}, {-3661, "-01:-01:-01"},
                                        {kMax, "596523:14:07"}, {kMin, "-596523:-14:-08"}})
        EXPECT_EQ(core::FrametoS(seconds), text) << seconds;
}

TEST(LabelText, PlainAndTenths)
{
    for (const auto &[value, plain, tenths] :
         {std::tuple{10, "10", "1"}, {15, "15", "1.5"}, {5, "5", "0.5"}, {-15, "-15", "-1.5"}, {0, "0", "0"},
          {-5, "-5", "-0.5"}, {3, "3", "0.3"}, {100, "100", "10"}, {-100, "-100", "-10"}, {-180, "-180", "-18"},
          {1001, "1001", "100.1"}})
        EXPECT_EQ(std::pair(core::labelText(value), core::tenthsLabelText(value)),
                  std::pair(std::string(plain), std::string(tenths))) << value;
}

TEST(DecimalText, ShortestFormWithoutExponent)
{
    for (const auto &[value, text] : {std::pair{12.0, "12"}, {10.5, "10.5"}, {-1.58, "-1.58"}, {0.01, "0.01"}, {-0.0, "0"},
                                      {1e-7, "0.0000001"}, {1e21, "1000000000000000000000"}})
        EXPECT_EQ(core::decimalText(value), text) << value;
}

// Whole numbers, halves to even; anything else, or too large, is none.
TEST(ParseWhole, ReadsTrimmedDecimalsRoundedOrNothing)
{
    const std::pair<const char *, std::optional<std::int32_t>> cases[] = {
        {"120", 120}, {"  42 ", 42}, {"\t7", 7}, {"-1", -1}, {"+5", 5}, {"007", 7}, {"2.5", 2}, {"3.5", 4},
        {"-2.5", -2}, {"-3.5", -4}, {"2.4999", 2}, {"0.5", 0}, {"1.5", 2}, {".6", 1}, {"1e3", 1000},
        {"2147483647", kMax}, {"-2147483648", kMin}, {"2147483648", std::nullopt}, {"-2147483649", std::nullopt},
        {"2147483647.5", std::nullopt}, {"", std::nullopt}, {"   ", std::nullopt}, {"abc", std::nullopt},
        {"12abc", std::nullopt}, {"1 2", std::nullopt}, {"-", std::nullopt}, {".", std::nullopt},
        {"inf", std::nullopt}, {"nan", std::nullopt}, {"0x10", std::nullopt}, {"1e", std::nullopt},
        {"1e999", std::nullopt}};
    for (const auto &[text, value] : cases)
        EXPECT_EQ(core::parseWhole(text), value) << '"' << text << '"';
}

// Set start needs a position before the end, set end one after the start
// (the other box's text given).
TEST(TimeControl, SetStartAndEndKeepTheWindowStrictlyOrdered)
{
    constexpr auto A = core::TimeCheck::Accepted, R = core::TimeCheck::Refused;
    const std::tuple<bool, std::int32_t, const char *, core::TimeCheck> cases[] = {
        {true, 19, "20", A}, {true, 20, "20", R}, {true, 21, "20", R}, {true, 0, "20", A}, {true, 0, "abc", R},
        {true, 5, " 20.4 ", A}, {false, 11, "10", A}, {false, 10, "10", R}, {false, 9, "10", R}, {false, 0, "0", R},
        {false, 5, "", R}, {false, 3, "-1", A}};
    for (const auto &[start, position, other, expected] : cases)
        EXPECT_EQ(start ? core::checkSetStart(position, other) : core::checkSetEnd(position, other), expected)
            << start << " " << position << " / " << other;
}

TEST(TimeControl, LabelsAndSliderMaximum)
{
    EXPECT_EQ(core::timeLabelText("3661"), "01:01:01");
    EXPECT_EQ(core::timeLabelText("junk"), "00:00:00");
    EXPECT_EQ(std::tuple(core::sliderMaximum(0), core::sliderMaximum(-5), core::sliderMaximum(1), core::sliderMaximum(120)),
              std::tuple(1, 1, 1, 120));
}

} // namespace
