// Write-through: every bound control stores into the selected job only, the
// bars' labels follow the label rule, and a drag stores only when let go
// (except the hue bar).

#include "window_fixture.h"

#include "jobs/controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QRadioButton>

#include <algorithm>

namespace test {
namespace {

using core::Control;
using core::ValueKind;

// The record's value for a row, as text for comparing.
std::string fieldText(const core::JobSettings &record, const Control &binding)
{
    if (const auto *text = std::get_if<core::TextField>(&binding.field))
        return record.*(*text);
    return std::to_string(record.*std::get<core::IntField>(binding.field));
}

class WriteThroughTest : public WindowTest, public ::testing::WithParamInterface<Control>
{
protected:
    // Changes the row's control to a value it does not hold now; returns the
    // value as the record would hold it.
    std::string changeControl(const Control &binding)
    {
        const QString name = QString::fromUtf8(binding.name.data(), static_cast<int>(binding.name.size()));
        switch (binding.kind) {
        case ValueKind::ListIndex: {
            auto *box = window->findChild<QComboBox *>(name);
            const int next = (box->currentIndex() + 3) % box->count();
            box->setCurrentIndex(next);
            return std::to_string(next);
        }
        case ValueKind::Text:
        case ValueKind::OutputFolder: {
            auto *box = window->findChild<QLineEdit *>(name);
            box->setText(box->text() + QStringLiteral("7"));
            return box->text().toStdString();
        }
        case ValueKind::CheckState: {
            auto *box = window->findChild<QCheckBox *>(name);
            box->click();
            return box->isChecked() ? "1" : "0";
        }
        case ValueKind::BarValue: {
            auto *scroll = window->findChild<QScrollBar *>(name);
            const int next = scroll->value() == scroll->maximum() ? scroll->minimum() : scroll->maximum();
            scroll->setValue(next);
            return std::to_string(next);
        }
        case ValueKind::Option:
        case ValueKind::SwitchedOption: {
            auto *group = window->findChild<QButtonGroup *>(name);
            const int next = (group->checkedId() + 1) % static_cast<int>(group->buttons().size());
            group->button(next)->click();
            return std::to_string(next);
        }
        default:
            break;
        }
        return {};
    }
};

TEST_P(WriteThroughTest, StoresIntoTheSelectedJobOnly)
{
    const Control &binding = GetParam();
    addVideos(2);
    ASSERT_EQ(window->selectedJob(), 1);
    const core::JobSettings firstBefore = record(0);

    const std::string stored = changeControl(binding);

    EXPECT_EQ(fieldText(record(1), binding), stored);
    EXPECT_EQ(record(0), firstBefore);
    // Controls and record stay equal: nothing else was lost or changed.
    EXPECT_EQ(record(1), window->shownSettings());

    // Selecting the other job shows its own value, coming back shows the new one.
    window->selectJob(0);
    EXPECT_EQ(window->shownSettings(), firstBefore);
    window->selectJob(1);
    EXPECT_EQ(fieldText(window->shownSettings(), binding), stored);
    EXPECT_EQ(record(1), window->shownSettings());
}

class EmptyListTest : public WriteThroughTest
{
};

TEST_P(EmptyListTest, TheNextAddedJobCopiesTheControl)
{
    const Control &binding = GetParam();
    const std::string stored = changeControl(binding);
    ASSERT_TRUE(window->jobs().isEmpty());

    addVideos(1);
    ASSERT_EQ(window->jobs().count(), 1);
    EXPECT_EQ(fieldText(record(0), binding), stored);
}

std::string rowName(const ::testing::TestParamInfo<Control> &info)
{
    return std::string(info.param.name);
}

// The rows with a control that writes through, but [leftOut].
std::vector<Control> boundRows(std::initializer_list<std::string_view> leftOut = {})
{
    std::vector<Control> rows;
    for (const Control &row : core::kControls)
        if (core::writesThrough(row) && std::find(leftOut.begin(), leftOut.end(), row.name) == leftOut.end())
            rows.push_back(row);
    return rows;
}

INSTANTIATE_TEST_SUITE_P(EveryControl, WriteThroughTest, ::testing::ValuesIn(boundRows()), rowName);

// An added job gets its own time window, so the time boxes are left out.
std::vector<Control> copiedOnAdd()
{
    return boundRows({"TextStartTime", "TextEndTime"});
}

INSTANTIATE_TEST_SUITE_P(EveryControl, EmptyListTest, ::testing::ValuesIn(copiedOnAdd()), rowName);

TEST_F(WindowTest, TheLogoStyleHasNoWriteThrough)
{
    addVideos(1);
    const core::JobSettings before = record(0);
    QFont font = window->logoFont();
    font.setFamily(QStringLiteral("DejaVu Serif"));
    font.setBold(true);
    window->setLogoFont(font);
    window->setLogoColour(255);
    EXPECT_EQ(record(0), before);
}

// ---------------------------------------------------------------------------
// Labels

struct LabelCase
{
    const char *bar;
    const char *label;
    int value;
    const char *text;
};

class BarLabelTest : public WindowTest, public ::testing::WithParamInterface<LabelCase>
{
};

TEST_P(BarLabelTest, LabelFollowsTheValue)
{
    const LabelCase &c = GetParam();
    bar(c.bar)->setValue(c.value);
    EXPECT_EQ(label(c.label)->text().toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Rules, BarLabelTest,
                         ::testing::Values(LabelCase{"HScrollHue", "LabelHue", -180, "-180"},
                                           LabelCase{"HScrollSat", "LabelSat", 15, "1.5"},
                                           LabelCase{"HScrollSat", "LabelSat", 0, "0"},
                                           LabelCase{"HScrollBri", "LabelBri", 255, "255"},
                                           LabelCase{"HScrollCon", "LabelCon", 5, "0.5"},
                                           LabelCase{"HScrollCon", "LabelCon", 100, "10"},
                                           LabelCase{"HScrollSha", "LabelSha", -158, "-158"},
                                           LabelCase{"HScrollVol", "LabelVol", 1000, "1000"},
                                           LabelCase{"HScrollDel", "LabelDel", -15, "-1.5"},
                                           LabelCase{"HScrollDel", "LabelDel", 100, "10"}));

TEST_F(WindowTest, SaturationWithAnEmptyListChangesTheLabelOnly)
{
    bar("HScrollSat")->setValue(15);
    EXPECT_EQ(label("LabelSat")->text(), QStringLiteral("1.5"));
    addVideos(1);
    EXPECT_EQ(record(0).saturation, 15);
}

// ---------------------------------------------------------------------------
// Drag versus release

struct DragCase
{
    const char *bar;
    const char *label;
    int position;
    const char *text;
    bool storesWhileDragging;
};

class DragTest : public WindowTest, public ::testing::WithParamInterface<DragCase>
{
};

TEST_P(DragTest, LabelFollowsTheDragAndTheRecordTheRelease)
{
    const DragCase &c = GetParam();
    addVideos(1);
    const core::JobSettings before = record(0);
    const Control *binding = core::findControl(c.bar);
    ASSERT_NE(binding, nullptr);
    const auto field = std::get<core::IntField>(binding->field);

    QScrollBar *scroll = bar(c.bar);
    scroll->setSliderDown(true);
    scroll->setSliderPosition(c.position);
    EXPECT_EQ(label(c.label)->text().toStdString(), c.text);
    EXPECT_EQ(record(0).*field, c.storesWhileDragging ? c.position : before.*field);

    scroll->setSliderDown(false);
    EXPECT_EQ(record(0).*field, c.position);
    EXPECT_EQ(label(c.label)->text().toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Bars, DragTest,
                         ::testing::Values(DragCase{"HScrollHue", "LabelHue", 45, "45", true},
                                           DragCase{"HScrollSat", "LabelSat", 25, "2.5", false},
                                           DragCase{"HScrollBri", "LabelBri", -30, "-30", false},
                                           DragCase{"HScrollCon", "LabelCon", 35, "3.5", false},
                                           DragCase{"HScrollSha", "LabelSha", -100, "-100", false},
                                           DragCase{"HScrollVol", "LabelVol", 400, "400", false},
                                           DragCase{"HScrollDel", "LabelDel", -5, "-0.5", false}));

// ---------------------------------------------------------------------------
// Switches

TEST_F(WindowTest, PanelChooserShowsExactlyOnePanel)
{
    window->show();
    for (int i = 0; i < 6; ++i) {
        click(QStringLiteral("OptionSel_%1").arg(i).toUtf8().constData());
        for (int j = 0; j < 6; ++j) {
            const auto *panel = child(QStringLiteral("FrameSetting_%1").arg(j).toUtf8().constData());
            EXPECT_EQ(panel->isVisible(), i == j) << "chose " << i << ", panel " << j;
        }
    }
}

struct IntroCase
{
    int type;
    bool listEmpty;
};

class IntroSwitchTest : public WindowTest, public ::testing::WithParamInterface<IntroCase>
{
};

TEST_P(IntroSwitchTest, EnablesTheRowsOfTheChosenType)
{
    const IntroCase &c = GetParam();
    if (!c.listEmpty)
        addVideos(1);
    // Go through the other type first, so the click really switches.
    click(c.type == 0 ? "OptionInt_1" : "OptionInt_0");
    click(c.type == 0 ? "OptionInt_0" : "OptionInt_1");

    const bool image = c.type != 0;
    for (const char *name : {"LabelIntVideo", "TextIntVideo", "cmdOpenIntVideo"})
        EXPECT_EQ(child(name)->isEnabled(), !image) << name;
    for (const char *name :
         {"LabelIntImage", "TextIntImage", "cmdOpenIntImage", "LabelIntImage1", "TextIntImageTime", "LabelIntImage3"})
        EXPECT_EQ(child(name)->isEnabled(), image) << name;
    for (const char *name : {"Label29", "TextFadeTime", "Label27", "Frame7", "OptionFade_0", "OptionFade_3"})
        EXPECT_TRUE(child(name)->isEnabled()) << name;
    if (!c.listEmpty) {
        EXPECT_EQ(record(0).introType, c.type);
    }
}

INSTANTIATE_TEST_SUITE_P(Types, IntroSwitchTest,
                         ::testing::Values(IntroCase{0, true}, IntroCase{1, true}, IntroCase{0, false},
                                           IntroCase{1, false}));

TEST_F(WindowTest, LayoutStartsWithVideoIntroductionAndHiddenTimeBoxes)
{
    window->show();
    EXPECT_TRUE(child("TextIntVideo")->isEnabled());
    EXPECT_FALSE(child("TextIntImage")->isEnabled());
    for (const char *name : {"TextStartTime", "TextEndTime", "Label14", "Label15", "Label16", "Label17", "Slider",
                             "Listmp3dir"})
        EXPECT_FALSE(child(name)->isVisible()) << name;
    EXPECT_EQ(window->size(), QSize(449, 313));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Korvane Velmora Converter V1.00"));
}

} // namespace
} // namespace test
