// The control table at work in the window: every control writes through
// into the selected job only, selecting loads a job back, bars label and
// store by their rule; the panel and introduction switches; the time control.

#include "window_fixture.h"

#include "jobs/controls.h"

#include <QButtonGroup>
#include <QCheckBox>

#include <algorithm>

namespace {

using core::Control;
using core::ValueKind;

std::string fieldText(const core::JobSettings &record, const Control &row)
{
    if (const auto *text = std::get_if<core::TextField>(&row.field))
        return record.*(*text);
    return std::to_string(record.*std::get<core::IntField>(row.field));
}

class EveryControl : public WindowTest, public ::testing::WithParamInterface<Control>
{
protected:
    // Sets the row's control to a value it does not hold; the value as the
    // record holds it.
    std::string change(const Control &row)
    {
        const QString name = QString::fromUtf8(row.name.data(), qsizetype(row.name.size()));
        switch (row.kind) {
        case ValueKind::ListIndex: {
            auto *box = window->findChild<QComboBox *>(name);
            box->setCurrentIndex((box->currentIndex() + 1) % box->count());
            return std::to_string(box->currentIndex());
        }
        case ValueKind::CheckState: {
            auto *box = window->findChild<QCheckBox *>(name);
            box->click();
            return box->isChecked() ? "1" : "0";
        }
        case ValueKind::BarValue: {
            auto *scroll = window->findChild<QScrollBar *>(name);
            scroll->setValue(scroll->value() == scroll->maximum() ? scroll->minimum() : scroll->maximum());
            return std::to_string(scroll->value());
        }
        case ValueKind::Option:
        case ValueKind::SwitchedOption: {
            auto *group = window->findChild<QButtonGroup *>(name);
            group->button((group->checkedId() + 1) % int(group->buttons().size()))->click();
            return std::to_string(group->checkedId());
        }
        default: {
            auto *box = window->findChild<QLineEdit *>(name);
            box->setText(box->text() + QStringLiteral("7"));
            return box->text().toStdString();
        }
        }
    }
};

// [record] with [row]'s field set to [text].
core::JobSettings withField(core::JobSettings record, const Control &row, const std::string &text)
{
    if (const auto *field = std::get_if<core::TextField>(&row.field))
        record.*(*field) = text;
    else
        record.*std::get<core::IntField>(row.field) = std::stoi(text);
    return record;
}

// With the list empty the controls are what the next added job copies (its
// own time window aside); with jobs, a control writes that one setting into
// the selected jobs only, and selecting a job brings its value back.
TEST_P(EveryControl, IsCopiedIntoNewJobsAndStoresIntoTheSelectedOnesOnly)
{
    const Control &row = GetParam();
    const bool ownTime = row.name == "TextStartTime" || row.name == "TextEndTime";
    const std::string copied = ownTime ? "" : change(row);
    addVideos(3);
    ASSERT_EQ(window->selectedJob(), 2);
    if (!ownTime) {
        EXPECT_EQ(fieldText(record(0), row), copied);
    }
    const core::JobSettings first = record(0), second = record(1);
    const std::string stored = change(row);
    EXPECT_EQ(fieldText(record(2), row), stored);
    EXPECT_EQ(std::tie(record(0), record(1)), std::tie(first, second));
    EXPECT_EQ(record(2), window->shownSettings()); // nothing else lost or changed
    // The first and the third: both take the change, and nothing else of the first.
    list()->item(0)->setSelected(true);
    const std::string both = change(row);
    // A time is held to the first job's own length.
    const bool held = ownTime && std::stoi(both) > first.totalTime;
    EXPECT_EQ(record(0), withField(first, row, held ? std::to_string(first.totalTime) : both));
    EXPECT_EQ(record(1), second);
    EXPECT_EQ(fieldText(record(2), row), both);
    window->selectJob(1);
    EXPECT_EQ(window->shownSettings(), second);
    window->selectJob(2);
    EXPECT_EQ(fieldText(window->shownSettings(), row), both);
}

// A control whose value differs between the selected jobs says so on its
// label, with the values, until a change makes it one; a time is held to
// each job's own length, and that job says so.
TEST_F(WindowTest, SeveralSelectedShowWhereTheyDifferAndKeepTheirOwnLengths)
{
    addVideos(2, 60);
    addVideos(1, 20, 2);
    for (const auto &[row, fps] : {std::pair{0, 9}, {1, 14}, {2, 19}}) { // 10, 15, 20 fps
        window->selectJob(row);
        child<QComboBox>("FRCombo")->setCurrentIndex(fps);
    }
    window->selectJob(0);
    for (const int row : {1, 2})
        list()->item(row)->setSelected(true);
    QLabel *caption = label("Label13");
    EXPECT_TRUE(caption->font().italic());
    EXPECT_EQ(caption->toolTip(), QStringLiteral("Differs between the 3 selected videos: 10, 15, 20 fps"));
    EXPECT_FALSE(label("Label6")->font().italic()); // the bit rates agree
    child<QComboBox>("FRCombo")->setCurrentIndex(4);
    EXPECT_EQ(std::tuple(record(0).frameRateIndex, record(1).frameRateIndex, record(2).frameRateIndex), std::tuple(4, 4, 4));
    EXPECT_FALSE(caption->font().italic());
    EXPECT_EQ(caption->toolTip(), QStringLiteral("Video Frame Rate"));
    edit("TextEndTime")->setText(QStringLiteral("50"));
    EXPECT_EQ(std::tuple(record(0).endTime, record(1).endTime, record(2).endTime), std::tuple("50", "50", "20"));
    EXPECT_TRUE(list()->item(2)->toolTip().contains(QStringLiteral("End held to 00:00:20"))) << list()->item(2)->toolTip().toStdString();
    // Remove takes every selected entry.
    list()->item(2)->setSelected(false);
    click("cmdRemove");
    EXPECT_EQ(titles(), QStringList{QStringLiteral("v002.avi")});
}

std::vector<Control> boundRows()
{
    std::vector<Control> rows;
    std::copy_if(core::kControls.begin(), core::kControls.end(), std::back_inserter(rows), core::writesThrough);
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Table, EveryControl, ::testing::ValuesIn(boundRows()),
                         [](const auto &test) { return std::string(test.param.name); });

// A bar's label follows it while dragged; the record follows on release,
// except for the hue, stored on every step.
TEST_F(WindowTest, BarsLabelWhileDraggedAndStoreByTheirRule)
{
    addVideos(1);
    for (const auto &[name, labelName, position, text, whileDragging] :
         {std::tuple{"HScrollHue", "LabelHue", 45, "45", true}, {"HScrollSat", "LabelSat", 25, "2.5", false},
          {"HScrollDel", "LabelDel", -5, "-0.5", false}}) {
        const auto field = std::get<core::IntField>(core::findControl(name)->field);
        const std::int32_t before = record(0).*field;
        bar(name)->setSliderDown(true);
        bar(name)->setSliderPosition(position);
        EXPECT_EQ(label(labelName)->text().toStdString(), text);
        EXPECT_EQ(record(0).*field, whileDragging ? position : before) << name;
        bar(name)->setSliderDown(false);
        EXPECT_EQ(record(0).*field, position) << name;
    }
}

TEST_F(WindowTest, ThePanelChooserShowsExactlyOnePanel)
{
    window->show();
    for (int i = 0; i < 6; ++i) {
        click(QStringLiteral("OptionSel_%1").arg(i).toUtf8().constData());
        for (int j = 0; j < 6; ++j)
            EXPECT_EQ(child(QStringLiteral("FrameSetting_%1").arg(j).toUtf8().constData())->isVisible(), i == j) << i << j;
    }
    // The time window's boxes never show.
    for (const char *name : {"TextStartTime", "TextEndTime", "Label14", "Label15", "Label16", "Label17", "Slider", "Listmp3dir"})
        EXPECT_FALSE(child(name)->isVisible()) << name;
    EXPECT_EQ(window->size(), QSize(449, 313));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Korvane Velmora Converter V1.00"));
}

// Image greys out the video row and enables the image rows, video the
// reverse; the fade rows stay usable. With a job, the type is its own.
TEST_F(WindowTest, TheIntroductionTypeEnablesItsRows)
{
    for (const bool withJob : {false, true}) {
        if (withJob)
            addVideos(1);
        for (const int type : {1, 0}) {
            click(type ? "OptionInt_1" : "OptionInt_0");
            for (const char *name : {"LabelIntVideo", "TextIntVideo", "cmdOpenIntVideo"})
                EXPECT_EQ(child(name)->isEnabled(), type == 0) << name;
            for (const char *name : {"LabelIntImage", "TextIntImage", "cmdOpenIntImage", "LabelIntImage1",
                                     "TextIntImageTime", "LabelIntImage3"})
                EXPECT_EQ(child(name)->isEnabled(), type == 1) << name;
            for (const char *name : {"TextFadeTime", "Frame7", "OptionFade_0", "OptionFade_3"})
                EXPECT_TRUE(child(name)->isEnabled()) << name;
            if (withJob) {
                EXPECT_EQ(record(0).introType, type);
            }
        }
    }
}

// Set start and set end from the slider, with start 10 and end 20.
TEST_F(WindowTest, SetStartAndEndKeepTheWindowStrictlyOrdered)
{
    addVideos(1, 60);
    for (const auto &[button, position, accepted] : {std::tuple{"cmdleft", 20, false}, {"cmdleft", 19, true},
                                                     {"cmdright", 10, false}, {"cmdright", 59, true}}) {
        edit("TextStartTime")->setText(QStringLiteral("10"));
        edit("TextEndTime")->setText(QStringLiteral("20"));
        prompter.messages.clear();
        const bool start = std::string(button) == "cmdleft";
        child<QSlider>("SliderTime")->setValue(position);
        click(button);
        if (accepted) {
            EXPECT_TRUE(prompter.messages.empty());
            EXPECT_EQ(start ? record(0).startTime : record(0).endTime, std::to_string(position));
            EXPECT_EQ(label(start ? "Labelstart" : "Labelend")->text(), QStringLiteral("00:00:%1").arg(position));
        } else {
            ASSERT_EQ(prompter.messages.size(), 1u);
            EXPECT_EQ(prompter.messages[0].text.toStdString(),
                      start ? "The 'Conversion Start Position' cannot be at the same point or after the 'Conversion end "
                              "Position'."
                            : "The 'Conversion end Position' cannot be set to the same position or before the starting "
                              "position.");
            EXPECT_EQ(prompter.messages[0].title, QStringLiteral("An Error has occurred"));
            EXPECT_EQ(prompter.messages[0].icon, ui::MessageIcon::Error);
            EXPECT_EQ(std::pair(record(0).startTime, record(0).endTime), std::pair(std::string("10"), std::string("20")));
        }
    }
}

// A click on a row loads its job, the labels and the clip length with it;
// the slider's position shows in its own label only; a job keeps its start
// while another is shown.
TEST_F(WindowTest, SelectingARowLoadsItsJobAndTimeWindow)
{
    addVideos(1, 4000);
    bar("HScrollHue")->setValue(20);
    addVideos(1, 80, 1);
    bar("HScrollHue")->setValue(30);
    list()->setCurrentRow(0); // as a click does
    child<QSlider>("SliderTime")->setValue(3661);
    EXPECT_EQ(label("LabelCur")->text(), QStringLiteral("01:01:01"));
    click("cmdleft");
    list()->setCurrentRow(1);
    EXPECT_EQ(std::tuple(label("Labelstart")->text(), label("LabelHue")->text(), window->frameCount()),
              std::tuple(QStringLiteral("00:00:00"), QStringLiteral("30"), 80));
    list()->setCurrentRow(0);
    EXPECT_EQ(window->shownSettings(), record(0));
    EXPECT_EQ(child<QListWidget>("Listmp3dir")->currentRow(), 0);
    EXPECT_EQ(edit("TextStartTime")->text(), QStringLiteral("3661"));
    EXPECT_EQ(std::tuple(label("Labelstart")->text(), label("LabelCur")->text(), label("LabelTotal")->text(), label("LabelHue")->text()),
              std::tuple(QStringLiteral("01:01:01"), QStringLiteral("00:00:00"), QStringLiteral("01:06:40"), QStringLiteral("20")));
}

} // namespace
