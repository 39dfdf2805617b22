#include "jobs/time_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

namespace {

struct TimeCase
{
    std::int32_t seconds;
    const char *text;
};

class FrametoSTest : public testing::TestWithParam<TimeCase>
{};

TEST_P(FrametoSTest, Formats)
{
    EXPECT_EQ(core::FrametoS(GetParam().seconds), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrametoSTest,
                         testing::Values(TimeCase{0, "00:00:00"}, TimeCase{59, "00:00:59"},
                                         TimeCase{60, "00:01:00"}, TimeCase{3599, "00:59:59"},
                                         TimeCase{3661, "01:01:01"}, TimeCase{86399, "23:59:59"},
                                         TimeCase{360000, "100:00:00"}, TimeCase{-1, "00:00:-01"},
                                         TimeCase{-61, "00:-01:-01"}, TimeCase{-3600, "-01:00:00"},
                                         TimeCase{-3661, "-01:-01:-01"},
                                         TimeCase{std::numeric_limits<std::int32_t>::max(), "596523:14:07"},
                                         TimeCase{std::numeric_limits<std::int32_t>::min(), "-596523:-14:-08"}));

struct LabelCase
{
    std::int32_t value;
    const char *plain;
    const char *tenths;
};

class LabelTextTest : public testing::TestWithParam<LabelCase>
{};

TEST_P(LabelTextTest, PlainAndTenths)
{
    EXPECT_EQ(core::labelText(GetParam().value), GetParam().plain);
    EXPECT_EQ(core::tenthsLabelText(GetParam().value), GetParam().tenths);
}

INSTANTIATE_TEST_SUITE_P(Cases, LabelTextTest,
                         testing::Values(LabelCase{10, "10", "1"}, LabelCase{15, "15", "1.5"},
                                         LabelCase{5, "5", "0.5"}, LabelCase{-15, "-15", "-1.5"},
                                         LabelCase{0, "0", "0"}, LabelCase{-5, "-5", "-0.5"},
                                         LabelCase{3, "3", "0.3"}, LabelCase{100, "100", "10"},
                                         LabelCase{-100, "-100", "-10"}, LabelCase{-180, "-180", "-18"},
                                         LabelCase{1001, "1001", "100.1"}));

TEST(DecimalText, ShortestFormWithoutExponent)
{
    EXPECT_EQ(core::decimalText(12.0), "12");
    EXPECT_EQ(core::decimalText(10.5), "10.5");
    EXPECT_EQ(core::decimalText(-1.58), "-1.58");
    EXPECT_EQ(core::decimalText(0.01), "0.01");
    EXPECT_EQ(core::decimalText(-0.0), "0");
    EXPECT_EQ(core::decimalText(1e-7), "0.0000001");
    EXPECT_EQ(core::decimalText(1e21), "1000000000000000000000");
}

struct WholeCase
{
    const char *text;
    std::optional<std::int32_t> value;
};

class ParseWholeTest : public testing::TestWithParam<WholeCase>
{};

TEST_P(ParseWholeTest, Reads)
{
    EXPECT_EQ(core::parseWhole(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseWholeTest,
    testing::Values(WholeCase{"120", 120}, WholeCase{"  42 ", 42}, WholeCase{"\t7", 7}, WholeCase{"-1", -1},
                    WholeCase{"+5", 5}, WholeCase{"007", 7}, WholeCase{"2.5", 2}, WholeCase{"3.5", 4},
                    WholeCase{"-2.5", -2}, WholeCase{"-3.5", -4}, WholeCase{"2.4999", 2}, WholeCase{"0.5", 0},
                    WholeCase{"1.5", 2}, WholeCase{".6", 1}, WholeCase{"1e3", 1000},
                    WholeCase{"2147483647", 2147483647}, WholeCase{"-2147483648", std::numeric_limits<std::int32_t>::min()},
                    WholeCase{"2147483648", std::nullopt}, WholeCase{"-2147483649", std::nullopt},
                    WholeCase{"2147483647.5", std::nullopt}, WholeCase{"", std::nullopt}, WholeCase{"   ", std::nullopt},
                    WholeCase{"abc", std::nullopt}, WholeCase{"12abc", std::nullopt}, WholeCase{"1 2", std::nullopt},
                    WholeCase{"-", std::nullopt}, WholeCase{".", std::nullopt}, WholeCase{"inf", std::nullopt},
                    WholeCase{"nan", std::nullopt}, WholeCase{"0x10", std::nullopt}, WholeCase{"1e", std::nullopt},
                    WholeCase{"1e999", std::nullopt}));

struct CheckCase
{
    std::int32_t position;
    const char *otherText;
    core::TimeCheck expected;
};

// With start 10 and end 20.
TEST(TimeControl, SetStartNeedsAPositionBeforeTheEnd)
{
    const CheckCase cases[] = {
        {19, "20", core::TimeCheck::Accepted}, {20, "20", core::TimeCheck::Refused},
        {21, "20", core::TimeCheck::Refused},  {0, "20", core::TimeCheck::Accepted},
        {0, "abc", core::TimeCheck::Refused},  {5, " 20.4 ", core::TimeCheck::Accepted},
    };
    for (const auto &c : cases)
        EXPECT_EQ(core::checkSetStart(c.position, c.otherText), c.expected) << c.position << " / " << c.otherText;
}

TEST(TimeControl, SetEndNeedsAPositionAfterTheStart)
{
    const CheckCase cases[] = {
        {11, "10", core::TimeCheck::Accepted}, {10, "10", core::TimeCheck::Refused},
        {9, "10", core::TimeCheck::Refused},   {0, "0", core::TimeCheck::Refused},
        {5, "", core::TimeCheck::Refused},     {3, "-1", core::TimeCheck::Accepted},
    };
    for (const auto &c : cases)
        EXPECT_EQ(core::checkSetEnd(c.position, c.otherText), c.expected) << c.position << " / " << c.otherText;
}

TEST(TimeControl, LabelsAndSliderMaximum)
{
    EXPECT_EQ(core::timeLabelText("3661"), "01:01:01");
    EXPECT_EQ(core::timeLabelText("junk"), "00:00:00");
    EXPECT_EQ(core::sliderMaximum(0), 1);
    EXPECT_EQ(core::sliderMaximum(-5), 1);
    EXPECT_EQ(core::sliderMaximum(1), 1);
    EXPECT_EQ(core::sliderMaximum(120), 120);
}

} // namespace
