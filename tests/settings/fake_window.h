#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/settings_target.h"

// The main window's controls as far as the settings see them, with the
// ranges, item counts and layout values of the real window.
class FakeWindow final : public settings::SettingsTarget
{
public:
    struct Ranged
    {
        std::int32_t value, min, max;
    };
    struct Group
    {
        std::vector<bool> selected;
    };
    struct TimeWindow
    {
        std::int32_t frameCount, start, end;
        bool operator==(const TimeWindow &) const = default;
    };

    // Texts, ranges (combo boxes from -1, nothing selected, to the last
    // item) and selections as the window's layout makes them.
    std::map<std::string, std::string> texts = {
        {"videoOpenDir", ""}, {"audioOpenDir", ""}, {"subOpenDir", ""}, {"videoIntOpenDir", ""},
        {"imageIntOpenDir", ""}, {"VBRText", "256"}, {"OutputText", "C:\\"}, {"TextStartTime", "0"},
        {"TextEndTime", "0"}, {"AudioFileText", ""}, {"SubFileText", ""}, {"TextLogo", ""}, {"TextLogoX", "0"},
        {"TextLogoY", "0"}, {"TextLogoStart", "0"}, {"TextLogoEnd", "5"}, {"TextIntVideo", ""},
        {"TextIntImage", ""}, {"TextIntImageTime", "5"}, {"TextFadeTime", "1"}};
    std::map<std::string, Ranged> numbers = {
        {"FRCombo", {-1, -1, 19}}, {"ABRCombo", {-1, -1, 10}}, {"ASRCombo", {-1, -1, 6}},
        {"ModeCombo", {-1, -1, 2}}, {"AutoCropCheck", {0, 0, 2}}, {"CheckReverse", {0, 0, 2}},
        {"ShutDownCheck", {0, 0, 2}}, {"HScrollHue", {0, -180, 180}}, {"HScrollSat", {10, 0, 100}},
        {"HScrollBri", {0, -255, 255}}, {"HScrollCon", {10, 0, 100}}, {"HScrollSha", {0, -158, 100}},
        {"HScrollVol", {100, 0, 1000}}, {"HScrollDel", {0, -100, 100}}};
    std::map<std::string, Group> groups = {{"OptionSel", {{true, false, false, false, false, false}}},
                                           {"OptionCha", {{true, false, false}}},
                                           {"OptionInt", {{true, false}}},
                                           {"OptionFade", {{false, true, false, false}}}};

    void setText(std::string_view name, std::string_view text) override { at(texts, name) = std::string(text); }
    std::optional<std::string> text(std::string_view name) const override
    {
        if (broken.count(std::string(name)))
            return std::nullopt;
        return texts.at(std::string(name));
    }
    bool setNumber(std::string_view name, std::int16_t value) override
    {
        Ranged &control = at(numbers, name);
        if (value < control.min || value > control.max)
            return false;
        control.value = value;
        return true;
    }
    std::optional<std::int32_t> number(std::string_view name) const override
    {
        if (broken.count(std::string(name)))
            return std::nullopt;
        return numbers.at(std::string(name)).value;
    }
    bool selectOption(std::string_view group, std::int16_t index) override
    {
        std::vector<bool> &buttons = at(groups, group).selected;
        if (index < 0 || static_cast<std::size_t>(index) >= buttons.size())
            return false;
        buttons.assign(buttons.size(), false);
        buttons[static_cast<std::size_t>(index)] = true;
        return true;
    }
    void runOptionSwitch(std::string_view group, std::int16_t index) override
    {
        switches.emplace_back(std::string(group), index);
    }
    std::optional<std::int16_t> selectedOption(std::string_view group) const override
    {
        const std::vector<bool> &buttons = groups.at(std::string(group)).selected;
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            if (buttons[i])
                return static_cast<std::int16_t>(i);
        }
        return std::nullopt;
    }
    void setLogoFontName(std::string_view faceName) override { fontName = faceName; }
    bool setLogoFontSize(std::int32_t points) override
    {
        if (points < 1 || points > 2048)
            return false;
        fontSize = points;
        return true;
    }
    void setLogoFontBold(bool on) override { bold = on; }
    void setLogoFontItalic(bool on) override { italic = on; }
    void setLogoColour(std::int32_t value) override { colour = value; }
    std::string logoFontName() const override { return fontName; }
    double logoFontSize() const override { return fontSize; }
    bool logoFontBold() const override { return bold; }
    bool logoFontItalic() const override { return italic; }
    std::int32_t logoColour() const override { return colour; }
    void setFrameCount(std::int32_t seconds) override { frames = seconds; }
    std::int32_t frameCount() const override { return frames; }
    void showTimeWindow(std::int32_t frameCountSec, std::int32_t startSec, std::int32_t endSec) override
    {
        shown = TimeWindow{frameCountSec, startSec, endSec};
    }

    std::int32_t value(const std::string &name) const { return numbers.at(name).value; }

    std::vector<std::pair<std::string, std::int16_t>> switches;
    // Controls whose reading fails, to stop a save at a chosen key.
    std::set<std::string> broken;
    // Distinct from every default, so an unloaded font shows.
    std::string fontName = "Layout Face";
    double fontSize = 12.0;
    bool bold = false;
    bool italic = false;
    std::int32_t colour = 0x00ABCDEF;
    std::int32_t frames = 0;
    std::optional<TimeWindow> shown;

private:
    // An unknown name is a test failure, not a new control.
    template <typename Map>
    static typename Map::mapped_type &at(Map &map, std::string_view name)
    {
        auto it = map.find(std::string(name));
        if (it == map.end())
            ADD_FAILURE() << "no control " << name;
        return it != map.end() ? it->second : map[std::string(name)];
    }
};

// A fresh scratch folder for the running test.
inline std::filesystem::path scratchFolder()
{
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("settings-") + info->test_suite_name() + "-" + info->name();
    for (char &c : name) {
        if (c == '/')
            c = '_';
    }
    const std::filesystem::path folder = std::filesystem::path(VELMORA_TEST_TMP) / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}
