#pragma once

// The main window's controls as the settings file sees them, with the real
// window's ranges, item counts and layout values. A name the window does not
// have throws (std::out_of_range): the key table and the window disagree.

#include "settings/settings_target.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace support {

class FakeSettingsTarget final : public settings::SettingsTarget
{
public:
    struct Ranged
    {
        std::int32_t value, min, max;
        bool operator==(const Ranged &) const = default;
    };
    struct TimeWindow
    {
        std::int32_t frameCount, start, end;
        bool operator==(const TimeWindow &) const = default;
    };

    std::map<std::string, std::string, std::less<>> texts = {
        {"videoOpenDir", ""}, {"audioOpenDir", ""}, {"subOpenDir", ""}, {"videoIntOpenDir", ""},
        {"imageIntOpenDir", ""}, {"VBRText", "256"}, {"OutputText", "/"}, {"TextStartTime", "0"},
        {"TextEndTime", "0"}, {"AudioFileText", ""}, {"SubFileText", ""}, {"TextLogo", ""}, {"TextLogoX", "0"},
        {"TextLogoY", "0"}, {"TextLogoStart", "0"}, {"TextLogoEnd", "5"}, {"TextIntVideo", ""},
        {"TextIntImage", ""}, {"TextIntImageTime", "5"}, {"TextFadeTime", "1"}};
    // Combo boxes run from -1 (nothing selected) to their last item.
    std::map<std::string, Ranged, std::less<>> numbers = {
        {"FRCombo", {-1, -1, 19}}, {"ABRCombo", {-1, -1, 10}}, {"ASRCombo", {-1, -1, 6}},
        {"ModeCombo", {-1, -1, 2}}, {"AutoCropCheck", {0, 0, 2}}, {"CheckReverse", {0, 0, 2}},
        {"ShutDownCheck", {0, 0, 2}}, {"HScrollHue", {0, -180, 180}}, {"HScrollSat", {10, 0, 100}},
        {"HScrollBri", {0, -255, 255}}, {"HScrollCon", {10, 0, 100}}, {"HScrollSha", {0, -158, 100}},
        {"HScrollVol", {100, 0, 1000}}, {"HScrollDel", {0, -100, 100}}};
    std::map<std::string, std::vector<bool>, std::less<>> groups = {
        {"OptionSel", {true, false, false, false, false, false}},
        {"OptionCha", {true, false, false}},
        {"OptionInt", {true, false}},
        {"OptionFade", {false, true, false, false}}};
    std::string fontName = "Layout Face"; // unlike every default, so an unloaded font shows
    double fontSize = 12.0;
    bool bold = false;
    bool italic = false;
    std::int32_t colour = 0x00ABCDEF;
    std::int32_t frames = 0;
    std::optional<TimeWindow> shown;
    std::vector<std::pair<std::string, std::int16_t>> switches; // the option switches run
    std::set<std::string, std::less<>> broken;                  // controls whose reading fails

    bool operator==(const FakeSettingsTarget &o) const
    {
        return texts == o.texts && numbers == o.numbers && groups == o.groups && fontName == o.fontName &&
               fontSize == o.fontSize && bold == o.bold && italic == o.italic && colour == o.colour &&
               frames == o.frames && shown == o.shown;
    }

    void setText(std::string_view name, std::string_view text) override { texts.at(std::string(name)) = text; }
    std::optional<std::string> text(std::string_view name) const override
    {
        return broken.contains(name) ? std::nullopt : std::optional(texts.at(std::string(name)));
    }
    bool setNumber(std::string_view name, std::int16_t value) override
    {
        Ranged &control = numbers.at(std::string(name));
        if (value < control.min || value > control.max)
            return false;
        control.value = value;
        return true;
    }
    std::optional<std::int32_t> number(std::string_view name) const override
    {
        return broken.contains(name) ? std::nullopt : std::optional(numbers.at(std::string(name)).value);
    }
    bool selectOption(std::string_view group, std::int16_t index) override
    {
        std::vector<bool> &buttons = groups.at(std::string(group));
        if (index < 0 || std::size_t(index) >= buttons.size())
            return false;
        buttons.assign(buttons.size(), false);
        buttons[std::size_t(index)] = true;
        return true;
    }
    void runOptionSwitch(std::string_view group, std::int16_t index) override
    {
        groups.at(std::string(group));
        switches.emplace_back(group, index);
    }
    std::optional<std::int16_t> selectedOption(std::string_view group) const override
    {
        const std::vector<bool> &buttons = groups.at(std::string(group));
        for (std::size_t i = 0; i < buttons.size(); ++i)
            if (buttons[i])
                return static_cast<std::int16_t>(i);
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
};

} // namespace support
