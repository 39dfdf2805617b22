#include "settings/settings_io.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "jobs/number_text.h"

namespace settings {

namespace {

constexpr std::string_view kStartTimeBox = "TextStartTime";
constexpr std::string_view kEndTimeBox = "TextEndTime";

// List indexes, check states, bar values and option indexes are 16-bit
// values; a number that does not fit is an error, not a wrap-around.
std::optional<std::int16_t> narrow16(std::int32_t value)
{
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

std::optional<std::int16_t> parseShort(std::string_view text)
{
    const auto whole = core::parseWhole(text);
    return whole ? narrow16(*whole) : std::nullopt;
}

std::optional<std::int32_t> boxNumber(const SettingsTarget &target, std::string_view box)
{
    const auto text = target.text(box);
    return text ? core::parseWhole(*text) : std::nullopt;
}

bool applyValue(const core::Control &row, std::string_view value, SettingsTarget &target)
{
    switch (row.kind) {
    case core::ValueKind::Folder:
    case core::ValueKind::Text:
    case core::ValueKind::OutputFolder:
        target.setText(row.name, value);
        return true;
    case core::ValueKind::ListIndex:
    case core::ValueKind::CheckState:
    case core::ValueKind::BarValue: {
        const auto number = parseShort(value);
        return number && target.setNumber(row.name, *number);
    }
    case core::ValueKind::Option:
    case core::ValueKind::SwitchedOption: {
        const auto index = parseShort(value);
        if (!index || !target.selectOption(row.name, *index))
            return false;
        // Selecting the button that is already selected runs no click
        // handling, so the switch is called once more to be sure it ran.
        if (row.kind == core::ValueKind::SwitchedOption)
            target.runOptionSwitch(row.name, *index);
        return true;
    }
    case core::ValueKind::FontName:
        target.setLogoFontName(value);
        return true;
    case core::ValueKind::FontSize: {
        // Read as a whole number like every other number: "8.25" gives 8.
        const auto points = core::parseWhole(value);
        return points && target.setLogoFontSize(*points);
    }
    case core::ValueKind::FontBold:
    case core::ValueKind::FontItalic: {
        const auto flag = core::parseWhole(value);
        if (!flag)
            return false;
        if (row.kind == core::ValueKind::FontBold)
            target.setLogoFontBold(*flag != 0);
        else
            target.setLogoFontItalic(*flag != 0);
        return true;
    }
    case core::ValueKind::FontColour: {
        const auto colour = core::parseWhole(value);
        if (colour)
            target.setLogoColour(*colour);
        return colour.has_value();
    }
    case core::ValueKind::ClipLength: {
        const auto seconds = core::parseWhole(value);
        if (seconds)
            target.setFrameCount(*seconds);
        return seconds.has_value();
    }
    }
    return false;
}

bool runFollowUp(core::FollowUp step, SettingsTarget &target)
{
    switch (step) {
    case core::FollowUp::None:
        return true;
    case core::FollowUp::EndNotBeforeStart: {
        const auto startText = target.text(kStartTimeBox);
        const auto start = startText ? core::parseWhole(*startText) : std::nullopt;
        const auto end = boxNumber(target, kEndTimeBox);
        if (!start || !end)
            return false;
        if (*start > *end)
            target.setText(kEndTimeBox, *startText);
        return true;
    }
    case core::FollowUp::ClipCoversEnd: {
        const auto end = boxNumber(target, kEndTimeBox);
        if (!end)
            return false;
        if (target.frameCount() < *end)
            target.setFrameCount(*end);
        return true;
    }
    case core::FollowUp::ShowTimeWindow: {
        const auto start = boxNumber(target, kStartTimeBox);
        const auto end = boxNumber(target, kEndTimeBox);
        if (!start || !end)
            return false;
        target.showTimeWindow(target.frameCount(), *start, *end);
        return true;
    }
    }
    return false;
}

// The text to store for [row]; empty when it cannot be taken. Sets [skip]
// for an option group with no selected button, which is not written at all.
std::optional<std::string> valueToSave(const core::Control &row, const SettingsTarget &target, bool &skip)
{
    skip = false;
    switch (row.kind) {
    case core::ValueKind::Folder:
    case core::ValueKind::Text:
    case core::ValueKind::OutputFolder:
        return target.text(row.name);
    case core::ValueKind::ListIndex:
    case core::ValueKind::CheckState:
    case core::ValueKind::BarValue: {
        const auto number = target.number(row.name);
        const auto value = number ? narrow16(*number) : std::nullopt;
        if (!value)
            return std::nullopt;
        return std::to_string(*value);
    }
    case core::ValueKind::Option:
    case core::ValueKind::SwitchedOption: {
        const auto index = target.selectedOption(row.name);
        if (!index) {
            skip = true;
            return std::nullopt;
        }
        return std::to_string(*index);
    }
    case core::ValueKind::FontName:
        return target.logoFontName();
    case core::ValueKind::FontSize: {
        const double points = target.logoFontSize();
        if (!std::isfinite(points))
            return std::nullopt;
        return core::decimalText(points);
    }
    case core::ValueKind::FontBold:
        return std::string(target.logoFontBold() ? "1" : "0");
    case core::ValueKind::FontItalic:
        return std::string(target.logoFontItalic() ? "1" : "0");
    case core::ValueKind::FontColour:
        return std::to_string(target.logoColour());
    case core::ValueKind::ClipLength:
        return std::to_string(target.frameCount());
    }
    return std::nullopt;
}

} // namespace

LoadReport loadSettings(const IniFile &ini, SettingsTarget &target, std::string_view outputFolder)
{
    LoadReport report;
    for (const core::Control &row : core::kControls) {
        const std::string value = ini.read(row.section, row.key, defaultText(row, outputFolder));
        if (!applyValue(row, value, target)) {
            report.stoppedAt = &row;
            return report;
        }
        ++report.keysLoaded;
        if (!runFollowUp(row.followUp, target)) {
            report.stoppedAt = &row;
            return report;
        }
    }
    return report;
}

SaveReport saveSettings(IniFile &ini, const SettingsTarget &target)
{
    SaveReport report;
    for (const core::Control &row : core::kControls) {
        bool skip = false;
        const auto value = valueToSave(row, target, skip);
        if (skip)
            continue;
        if (!value || !ini.write(row.section, row.key, *value)) {
            report.stoppedAt = &row;
            return report;
        }
        ++report.keysWritten;
    }
    return report;
}

LoadReport loadSettingsFile(const std::string &path, SettingsTarget &target, std::string_view outputFolder)
{
    return loadSettings(IniFile::open(path), target, outputFolder);
}

SaveReport saveSettingsFile(const std::string &path, const SettingsTarget &target)
{
    IniFile ini = IniFile::open(path);
    SaveReport report = saveSettings(ini, target);
    report.committed = ini.commit();
    return report;
}

} // namespace settings
