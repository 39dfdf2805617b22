#include "settings/presets.h"

#include "jobs/number_text.h"
#include "settings/ini_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace settings {

namespace {

namespace fs = std::filesystem;

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

const core::Control *settingRow(std::string_view section, std::string_view key)
{
    for (const core::Control &row : core::kControls)
        if (sameName(row.section, section) && sameName(row.key, key))
            return &row;
    return nullptr;
}

std::string keyName(const core::Control &row)
{
    return "[" + std::string(row.section) + "] " + std::string(row.key);
}

std::optional<std::string> checkedValue(const core::Control &row, const std::string &value, std::string &note)
{
    const auto whole = core::parseWhole(value);
    const std::string fallback(row.defaultText);
    const auto defaulted = [&](const std::string &why) {
        note = keyName(row) + "=" + value + ": " + why + ", the default " + fallback + " taken";
        return fallback;
    };
    const auto within = [&](std::int32_t low, std::int32_t high) -> std::string {
        if (!whole)
            return defaulted("not a whole number");
        if (*whole < low || *whole > high)
            return defaulted("outside " + std::to_string(low) + ".." + std::to_string(high));
        return std::to_string(*whole);
    };
    switch (row.kind) {
    case core::ValueKind::ListIndex:
        return within(-1, static_cast<std::int32_t>(row.items.size()) - 1);
    case core::ValueKind::CheckState:
        return within(0, 2);
    case core::ValueKind::Option:
    case core::ValueKind::SwitchedOption:
        return within(0, static_cast<std::int32_t>(row.choices.size()) - 1);
    case core::ValueKind::BarValue: {
        if (!whole)
            return defaulted("not a whole number");
        const std::int32_t clamped = std::clamp(*whole, row.range.minimum, row.range.maximum);
        if (clamped != *whole)
            note = keyName(row) + "=" + value + ": outside " + std::to_string(row.range.minimum) + ".." +
                   std::to_string(row.range.maximum) + ", " + std::to_string(clamped) + " taken";
        return std::to_string(clamped);
    }
    case core::ValueKind::FontSize:
        return within(1, INT32_MAX);
    case core::ValueKind::FontBold:
    case core::ValueKind::FontItalic:
        if (!whole)
            return defaulted("not a whole number");
        return *whole != 0 ? "1" : "0";
    case core::ValueKind::FontColour:
        return whole ? std::to_string(*whole) : defaulted("not a whole number");
    case core::ValueKind::OutputFolder:
        // An empty folder would put the outputs wherever the program runs.
        if (value.empty()) {
            note = keyName(row) + "=: no folder, passed over";
            return std::nullopt;
        }
        return value;
    case core::ValueKind::Folder:
    case core::ValueKind::Text:
    case core::ValueKind::FontName:
    case core::ValueKind::ClipLength:
        break;
    }
    return value;
}

std::string fieldText(const core::JobSettings &settings, const core::Control &row)
{
    if (const auto *text = std::get_if<core::TextField>(&row.field))
        return settings.**text;
    return std::to_string(settings.*std::get<core::IntField>(row.field));
}

namespace {

bool isFile(const fs::path &path)
{
    std::error_code ignored;
    return fs::is_regular_file(path, ignored);
}

} // namespace

bool inPreset(const core::Control &row)
{
    // The time window and the audio and subtitles made for one source mean
    // nothing for another; the window's own values are no job's.
    using J = core::JobSettings;
    if (std::holds_alternative<std::monostate>(row.field) || row.kind == core::ValueKind::ClipLength)
        return false;
    const auto *text = std::get_if<core::TextField>(&row.field);
    return text == nullptr || (*text != &J::startTime && *text != &J::endTime && *text != &J::audioFile &&
                               *text != &J::subtitleFile);
}

std::optional<Preset> readPreset(const std::string &path, std::string &error)
{
    if (!isFile(path)) {
        error = "no preset file " + path;
        return std::nullopt;
    }
    if (!std::ifstream(path, std::ios::binary)) {
        error = "the preset " + path + " cannot be read";
        return std::nullopt;
    }
    const IniFile ini = IniFile::open(path);
    Preset preset;
    std::vector<const core::Control *> given;
    for (const auto &[section, key] : ini.keys()) {
        const core::Control *row = settingRow(section, key);
        if (row == nullptr)
            preset.notes.push_back("[" + section + "] " + key + ": not a setting, passed over");
        else if (!inPreset(*row))
            preset.notes.push_back(keyName(*row) + ": not kept in a preset, passed over");
        else
            given.push_back(row);
    }
    for (const core::Control &row : core::kControls) {
        if (std::find(given.begin(), given.end(), &row) == given.end())
            continue;
        std::string note;
        if (auto text = checkedValue(row, ini.read(row.section, row.key, row.defaultText), note))
            preset.values.push_back({&row, std::move(*text)});
        if (!note.empty())
            preset.notes.push_back(std::move(note));
    }
    return preset;
}

bool writePreset(const std::string &path, const core::JobSettings &settings)
{
    std::error_code ignored;
    fs::create_directories(fs::path(path).parent_path(), ignored);
    IniFile ini = IniFile::open(path);
    for (const core::Control &row : core::kControls)
        if (inPreset(row) && !ini.write(row.section, row.key, fieldText(settings, row)))
            return false;
    return ini.commit();
}

std::string findPreset(const std::string &presetsFolder, const std::string &nameOrPath)
{
    std::error_code ignored;
    const auto found = [&](const fs::path &path) { return fs::absolute(path, ignored).lexically_normal().string(); };
    if (nameOrPath.empty())
        return {};
    if (nameOrPath.find('/') != std::string::npos)
        return isFile(nameOrPath) ? found(nameOrPath) : std::string();
    for (const fs::path &candidate : {fs::path(presetsFolder) / (nameOrPath + std::string(kPresetExtension)),
                                      fs::path(presetsFolder) / nameOrPath, fs::path(nameOrPath)})
        if (isFile(candidate))
            return found(candidate);
    return {};
}

std::vector<std::string> presetNames(const std::string &presetsFolder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(presetsFolder, error), end; !error && it != end; it.increment(error))
        if (it->path().extension() == kPresetExtension && isFile(it->path()))
            names.push_back(it->path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace settings
