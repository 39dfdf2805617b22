// The time control: slider position label, set start / set end with their
// range messages, and the time window following the selection.

#include "window_fixture.h"

namespace test {
namespace {

const QString kStartRefused = QStringLiteral(
    "The 'Conversion Start Position' cannot be at the same point or after the 'Conversion end Position'.");
const QString kEndRefused =
    QStringLiteral("The 'Conversion end Position' cannot be set to the same position or before the starting position.");

struct SetCase
{
    const char *button; // cmdleft: set start, cmdright: set end
    int position;
    bool accepted;
};

class SetPositionTest : public WindowTest, public ::testing::WithParamInterface<SetCase>
{
};

// Start 10 and end 20 in a 60-second clip.
TEST_P(SetPositionTest, AcceptsOnlyAStrictlyOrderedWindow)
{
    const SetCase &c = GetParam();
    addVideos(1, 60);
    edit("TextStartTime")->setText(QStringLiteral("10"));
    edit("TextEndTime")->setText(QStringLiteral("20"));
    const bool setsStart = std::string(c.button) == "cmdleft";

    child<QSlider>("SliderTime")->setValue(c.position);
    click(c.button);

    const QString expected = QString::number(c.position);
    const QString shown = QStringLiteral("00:00:%1").arg(c.position, 2, 10, QLatin1Char('0'));
    if (c.accepted) {
        EXPECT_TRUE(prompter.messages.empty());
        EXPECT_EQ(edit(setsStart ? "TextStartTime" : "TextEndTime")->text(), expected);
        EXPECT_EQ(label(setsStart ? "Labelstart" : "Labelend")->text(), shown);
        EXPECT_EQ(setsStart ? record(0).startTime : record(0).endTime, expected.toStdString());
    } else {
        ASSERT_EQ(prompter.messages.size(), 1u);
        EXPECT_EQ(prompter.messages[0].text, setsStart ? kStartRefused : kEndRefused);
        EXPECT_EQ(prompter.messages[0].title, QStringLiteral("An Error has occurred"));
        EXPECT_EQ(prompter.messages[0].icon, ui::MessageIcon::Error);
        EXPECT_EQ(record(0).startTime, "10");
        EXPECT_EQ(record(0).endTime, "20");
    }
}

INSTANTIATE_TEST_SUITE_P(Positions, SetPositionTest,
                         ::testing::Values(SetCase{"cmdleft", 20, false}, SetCase{"cmdleft", 25, false},
                                           SetCase{"cmdleft", 19, true}, SetCase{"cmdleft", 0, true},
                                           SetCase{"cmdright", 10, false}, SetCase{"cmdright", 5, false},
                                           SetCase{"cmdright", 11, true}, SetCase{"cmdright", 59, true}));

TEST_F(WindowTest, SliderPositionShowsInTheCurrentLabelOnly)
{
    addVideos(1, 4000);
    const core::JobSettings before = record(0);
    child<QSlider>("SliderTime")->setValue(3661);
    EXPECT_EQ(label("LabelCur")->text(), QStringLiteral("01:01:01"));
    EXPECT_EQ(record(0), before);
}

TEST_F(WindowTest, ZeroLengthGivesASliderOfOne)
{
    window->setFrameCount(0);
    window->showTimeWindow();
    EXPECT_EQ(child<QSlider>("SliderTime")->maximum(), 1);
    EXPECT_EQ(label("LabelTotal")->text(), QStringLiteral("00:00:00"));
}

TEST_F(WindowTest, NewStartSurvivesSelectingAnotherJob)
{
    addVideos(2, 100);
    window->selectJob(0);
    child<QSlider>("SliderTime")->setValue(42);
    click("cmdleft");
    window->selectJob(1);
    EXPECT_EQ(label("Labelstart")->text(), QStringLiteral("00:00:00"));
    window->selectJob(0);
    EXPECT_EQ(edit("TextStartTime")->text(), QStringLiteral("42"));
    EXPECT_EQ(label("Labelstart")->text(), QStringLiteral("00:00:42"));
    EXPECT_EQ(label("LabelCur")->text(), QStringLiteral("00:00:00"));
}

TEST_F(WindowTest, ReverseIsStoredWithTheJob)
{
    addVideos(2);
    click("CheckReverse");
    EXPECT_EQ(record(1).reverse, 1);
    EXPECT_EQ(record(0).reverse, 0);
}

} // namespace
} // namespace test
