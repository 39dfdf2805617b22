// Fuzzes the settings file reader: any bytes as "Velmora.ini", loaded into a
// window that enforces the real controls' ranges.
//
// Beyond "no crash", two properties are checked:
// - every text a read gives back fits the reply buffer;
// - a complete load is a fixed point of saving: what it put into the window,
//   saved into the same store and loaded into a fresh window, gives the same
//   window again (the settings do not drift from one run to the next).

#include "settings/ini_file.h"
#include "settings/settings_io.h"
#include "settings/settings_schema.h"
#include "settings/settings_target.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// The controls as the settings see them, with the ranges, item counts and
// layout values of the real window. An unknown name means the key table and
// the window disagree, which is a fault in itself.
class FuzzWindow final : public settings::SettingsTarget
{
    // Defined first: the accessors below deduce their types from it.
    template <typename Map>
    static auto &at(Map &map, std::string_view name)
    {
        const auto it = map.find(name);
        if (it == map.end())
            __builtin_trap();
        return it->second;
    }

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
        {"imageIntOpenDir", ""}, {"VBRText", "256"}, {"OutputText", "/home/user/"}, {"TextStartTime", "0"},
        {"TextEndTime", "0"}, {"AudioFileText", ""}, {"SubFileText", ""}, {"TextLogo", ""}, {"TextLogoX", "0"},
        {"TextLogoY", "0"}, {"TextLogoStart", "0"}, {"TextLogoEnd", "5"}, {"TextIntVideo", ""},
        {"TextIntImage", ""}, {"TextIntImageTime", "5"}, {"TextFadeTime", "1"}};
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
    std::string fontName = "Layout Face";
    std::int32_t fontSize = 12;
    bool bold = false;
    bool italic = false;
    std::int32_t colour = 0x00ABCDEF;
    std::int32_t frames = 0;
    std::optional<TimeWindow> shown;

    bool sameState(const FuzzWindow &other) const
    {
        return texts == other.texts && numbers == other.numbers && groups == other.groups
               && fontName == other.fontName && fontSize == other.fontSize && bold == other.bold
               && italic == other.italic && colour == other.colour && frames == other.frames
               && shown == other.shown;
    }

    void setText(std::string_view name, std::string_view text) override { at(texts, name) = std::string(text); }
    std::optional<std::string> text(std::string_view name) const override { return at(texts, name); }
    bool setNumber(std::string_view name, std::int16_t value) override
    {
        Ranged &control = at(numbers, name);
        if (value < control.min || value > control.max)
            return false;
        control.value = value;
        return true;
    }
    std::optional<std::int32_t> number(std::string_view name) const override { return at(numbers, name).value; }
    bool selectOption(std::string_view group, std::int16_t index) override
    {
        std::vector<bool> &buttons = at(groups, group);
        if (index < 0 || static_cast<std::size_t>(index) >= buttons.size())
            return false;
        buttons.assign(buttons.size(), false);
        buttons[static_cast<std::size_t>(index)] = true;
        return true;
    }
    void runOptionSwitch(std::string_view group, std::int16_t) override { at(groups, group); }
    std::optional<std::int16_t> selectedOption(std::string_view group) const override
    {
        const std::vector<bool> &buttons = at(groups, group);
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

};

// One scratch file per fuzzing process: IniFile reads only from disk.
const std::string &scratchPath()
{
    static const std::string path = "/tmp/velmora-fuzz-settings-" + std::to_string(::getpid()) + ".ini";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string &path = scratchPath();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    }
    settings::IniFile ini = settings::IniFile::open(path);
    ::unlink(path.c_str());

    FuzzWindow loaded;
    const settings::LoadReport first = settings::loadSettings(ini, loaded, "/home/user/");

    for (const core::Control &row : core::kControls) {
        if (ini.read(row.section, row.key, "").size() > settings::kMaxValueBytes)
            __builtin_trap();
    }

    // A load that stopped early leaves later controls at their layout values
    // and skips the follow-up steps, so only a complete load must repeat.
    if (!first.complete())
        return 0;
    if (!settings::saveSettings(ini, loaded).complete())
        __builtin_trap();
    FuzzWindow reloaded;
    if (!settings::loadSettings(ini, reloaded, "/home/user/").complete() || !reloaded.sameState(loaded))
        __builtin_trap();
    return 0;
}
