#include "cli/cli_options.h"

#include "jobs/number_text.h"
#include "settings/ini_file.h"
#include "settings/presets.h"
#include "settings/settings_io.h"
#include "settings/settings_target.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

namespace cli {

namespace {

bool sameWord(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool isFlag(const core::Control &row)
{
    return row.kind == core::ValueKind::CheckState || row.kind == core::ValueKind::FontBold ||
           row.kind == core::ValueKind::FontItalic;
}

bool isTenths(const core::Control &row)
{
    return row.labelRule == core::LabelRule::Tenths;
}

// A text box whose default is a number holds a number.
bool isNumericText(const core::Control &row)
{
    return row.kind == core::ValueKind::Text && core::parseNumber(row.defaultText).has_value();
}

bool isClockText(const core::Control &row)
{
    // The start and end of the time control may be typed as a clock.
    return isNumericText(row) && row.section == core::findControl("TextStartTime")->section;
}

std::string join(const std::vector<std::string> &words)
{
    std::string text;
    for (const std::string &word : words)
        text += (text.empty() ? "" : "|") + word;
    return text;
}

// What the user may type for a combo or an option group, index 0 first.
std::vector<std::string> choiceWords(const core::Control &row)
{
    std::vector<std::string> words;
    if (!row.choices.empty()) {
        for (std::string_view word : row.choices)
            words.emplace_back(word);
        return words;
    }
    for (std::size_t i = 0; i < row.items.size(); ++i)
        words.push_back(std::to_string(core::itemNumber(row.items, static_cast<std::int32_t>(i)).value_or(0)));
    return words;
}

// "1:30", "00:01:30" as seconds.
std::optional<std::int64_t> clockSeconds(std::string_view text)
{
    std::int64_t total = 0;
    int parts = 0;
    while (true) {
        const std::size_t colon = text.find(':');
        const std::string_view part = text.substr(0, colon);
        if (part.empty() || part.size() > 6 || !std::all_of(part.begin(), part.end(), [](char c) {
                return std::isdigit(static_cast<unsigned char>(c)) != 0;
            }))
            return std::nullopt;
        total = total * 60 + std::stoll(std::string(part));
        if (++parts > 3)
            return std::nullopt;
        if (colon == std::string_view::npos)
            break;
        text.remove_prefix(colon + 1);
    }
    return total;
}

std::string rangeText(const core::Control &row)
{
    if (isTenths(row))
        return core::tenthsLabelText(row.range.minimum) + ".." + core::tenthsLabelText(row.range.maximum);
    return std::to_string(row.range.minimum) + ".." + std::to_string(row.range.maximum);
}

std::string valueHint(const core::Control &row)
{
    switch (row.kind) {
    case core::ValueKind::ListIndex:
    case core::ValueKind::Option:
    case core::ValueKind::SwitchedOption:
        return join(choiceWords(row));
    case core::ValueKind::BarValue:
        return rangeText(row);
    case core::ValueKind::FontColour:
        return "#RRGGBB";
    case core::ValueKind::OutputFolder:
        return "DIR";
    default:
        break;
    }
    if (isClockText(row))
        return "SECONDS|HH:MM:SS";
    return isNumericText(row) || row.kind == core::ValueKind::FontSize ? "NUMBER" : "TEXT";
}

// The settings file's rules over a plain record: each control name is the
// row's field, the window's own values are kept aside, and the limits are the
// table's (items, range, the words of an option group).
class RecordTarget final : public settings::SettingsTarget
{
public:
    core::JobSettings record;

    void setText(std::string_view name, std::string_view text) override
    {
        const core::Control *row = core::findControl(name);
        if (row != nullptr && std::holds_alternative<core::TextField>(row->field))
            record.*std::get<core::TextField>(row->field) = std::string(text);
        else
            m_texts[std::string(name)] = std::string(text);
    }
    std::optional<std::string> text(std::string_view name) const override
    {
        const core::Control *row = core::findControl(name);
        if (row != nullptr && std::holds_alternative<core::TextField>(row->field))
            return record.*std::get<core::TextField>(row->field);
        const auto found = m_texts.find(std::string(name));
        return found == m_texts.end() ? std::string() : found->second;
    }
    bool setNumber(std::string_view name, std::int16_t value) override
    {
        const core::Control *row = core::findControl(name);
        if (row == nullptr)
            return false;
        std::int32_t low = 0;
        std::int32_t high = 2;
        if (row->kind == core::ValueKind::ListIndex) {
            low = -1;
            high = static_cast<std::int32_t>(row->items.size()) - 1;
        } else if (row->kind == core::ValueKind::BarValue) {
            low = row->range.minimum;
            high = row->range.maximum;
        }
        if (value < low || value > high)
            return false;
        store(*row, value);
        return true;
    }
    std::optional<std::int32_t> number(std::string_view name) const override
    {
        const core::Control *row = core::findControl(name);
        if (row == nullptr)
            return std::nullopt;
        if (const auto *field = std::get_if<core::IntField>(&row->field))
            return record.**field;
        const auto found = m_numbers.find(std::string(name));
        return found == m_numbers.end() ? 0 : found->second;
    }
    bool selectOption(std::string_view group, std::int16_t index) override
    {
        const core::Control *row = core::findControl(group);
        if (row == nullptr || index < 0 || static_cast<std::size_t>(index) >= row->choices.size())
            return false;
        store(*row, index);
        return true;
    }
    void runOptionSwitch(std::string_view, std::int16_t) override {}
    std::optional<std::int16_t> selectedOption(std::string_view group) const override
    {
        const auto value = number(group);
        return value ? std::optional(static_cast<std::int16_t>(*value)) : std::nullopt;
    }
    void setLogoFontName(std::string_view faceName) override { record.logoFontName = faceName; }
    bool setLogoFontSize(std::int32_t points) override
    {
        if (points < 1)
            return false;
        record.logoFontSize = points;
        return true;
    }
    void setLogoFontBold(bool bold) override { record.logoBold = bold ? "1" : "0"; }
    void setLogoFontItalic(bool italic) override { record.logoItalic = italic ? "1" : "0"; }
    void setLogoColour(std::int32_t colour) override { record.logoColor = colour; }
    std::string logoFontName() const override { return record.logoFontName; }
    double logoFontSize() const override { return record.logoFontSize; }
    bool logoFontBold() const override { return record.logoBold == "1"; }
    bool logoFontItalic() const override { return record.logoItalic == "1"; }
    std::int32_t logoColour() const override { return record.logoColor; }
    void setFrameCount(std::int32_t seconds) override { record.totalTime = seconds; }
    std::int32_t frameCount() const override { return record.totalTime; }
    void showTimeWindow(std::int32_t, std::int32_t, std::int32_t) override {}

private:
    void store(const core::Control &row, std::int32_t value)
    {
        if (const auto *field = std::get_if<core::IntField>(&row.field))
            record.**field = value;
        else
            m_numbers[std::string(row.name)] = value;
    }

    std::map<std::string, std::string> m_texts;
    std::map<std::string, std::int32_t> m_numbers;
};

const core::Control *rowForOption(std::string_view option)
{
    for (const core::Control &row : core::kControls)
        if (!row.option.empty() && row.option == option)
            return &row;
    return nullptr;
}

const core::Control *rowForKey(std::string_view key)
{
    for (const core::Control &row : core::kControls)
        if (sameWord(row.key, key))
            return &row;
    return nullptr;
}

Options usage(std::string message)
{
    Options options;
    options.action = Options::Action::UsageError;
    options.error = std::move(message);
    return options;
}

} // namespace

std::string userText(const core::Control &row, std::string_view stored)
{
    switch (row.kind) {
    case core::ValueKind::ListIndex:
    case core::ValueKind::Option:
    case core::ValueKind::SwitchedOption: {
        const auto index = core::parseWhole(stored);
        const std::vector<std::string> words = choiceWords(row);
        if (index && *index >= 0 && static_cast<std::size_t>(*index) < words.size())
            return words[static_cast<std::size_t>(*index)];
        return std::string(stored);
    }
    case core::ValueKind::BarValue: {
        const auto value = core::parseWhole(stored);
        return value ? core::barLabelText(row, *value) : std::string(stored);
    }
    case core::ValueKind::CheckState:
    case core::ValueKind::FontBold:
    case core::ValueKind::FontItalic:
        return core::parseWhole(stored).value_or(0) != 0 ? "on" : "off";
    case core::ValueKind::FontColour: {
        const auto bgr = core::parseWhole(stored);
        if (!bgr)
            return std::string(stored);
        const auto value = static_cast<std::uint32_t>(*bgr);
        char text[8];
        std::snprintf(text, sizeof text, "#%02X%02X%02X", value & 0xFFu, (value >> 8) & 0xFFu, (value >> 16) & 0xFFu);
        return text;
    }
    default:
        return std::string(stored);
    }
}

std::optional<std::string> storedText(const core::Control &row, std::string_view value, std::string &error)
{
    const std::string name = "--" + std::string(row.option);
    switch (row.kind) {
    case core::ValueKind::ListIndex:
    case core::ValueKind::Option:
    case core::ValueKind::SwitchedOption: {
        const std::vector<std::string> words = choiceWords(row);
        for (std::size_t i = 0; i < words.size(); ++i) {
            const bool numeric = row.choices.empty();
            if (numeric ? core::parseNumber(value) == core::parseNumber(words[i]) : sameWord(value, words[i]))
                return std::to_string(i);
        }
        error = name + ": '" + std::string(value) + "' is not one of " + join(words);
        return std::nullopt;
    }
    case core::ValueKind::BarValue: {
        const auto number = core::parseNumber(value);
        const double scaled = number ? *number * (isTenths(row) ? 10.0 : 1.0) : 0.0;
        if (!number || std::abs(scaled - std::round(scaled)) > 1e-6 || scaled < row.range.minimum ||
            scaled > row.range.maximum) {
            error = name + ": '" + std::string(value) + "' is outside " + rangeText(row) +
                    (isTenths(row) ? " (steps of 0.1)" : " (whole numbers)");
            return std::nullopt;
        }
        return std::to_string(static_cast<std::int32_t>(std::lround(scaled)));
    }
    case core::ValueKind::CheckState:
    case core::ValueKind::FontBold:
    case core::ValueKind::FontItalic:
        if (value == "1" || value == "0")
            return std::string(value);
        error = name + " takes no value";
        return std::nullopt;
    case core::ValueKind::FontSize: {
        const auto points = core::parseWhole(value);
        if (!points || *points < 1 || *points > 2048) {
            error = name + ": '" + std::string(value) + "' is outside 1..2048";
            return std::nullopt;
        }
        return std::to_string(*points);
    }
    case core::ValueKind::FontColour: {
        // Typed as #RRGGBB; the file keeps 0x00BBGGRR.
        if (value.size() == 7 && value[0] == '#' &&
            std::all_of(value.begin() + 1, value.end(),
                        [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; })) {
            const unsigned long rgb = std::stoul(std::string(value.substr(1)), nullptr, 16);
            const unsigned long bgr = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
            return std::to_string(bgr);
        }
        error = name + ": '" + std::string(value) + "' is not a colour #RRGGBB";
        return std::nullopt;
    }
    case core::ValueKind::OutputFolder: {
        if (value.empty()) {
            error = name + " needs a folder";
            return std::nullopt;
        }
        std::error_code ignored;
        std::string folder = std::filesystem::absolute(std::filesystem::path(value), ignored).string();
        if (folder.back() != '/')
            folder += '/';
        return folder;
    }
    case core::ValueKind::Text:
        if (row.filePath && !value.empty()) {
            // The run may start elsewhere; the path must mean what the user meant here.
            std::error_code ignored;
            return std::filesystem::absolute(std::filesystem::path(value), ignored).lexically_normal().string();
        }
        if (isClockText(row)) {
            if (const auto seconds = clockSeconds(value); seconds && *seconds <= INT32_MAX)
                return std::to_string(*seconds);
        }
        if (isNumericText(row) && !core::parseWhole(value)) {
            error = name + ": '" + std::string(value) + "' is not a number (" + valueHint(row) + ")";
            return std::nullopt;
        }
        return std::string(value);
    case core::ValueKind::Folder:
    case core::ValueKind::FontName:
    case core::ValueKind::ClipLength:
        break;
    }
    return std::string(value);
}

Options parseOptions(const std::vector<std::string> &args)
{
    Options options;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (onlyFiles || arg.size() < 2 || arg[0] != '-') {
            options.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options.action = Options::Action::Help;
            return options;
        }
        if (arg == "--version") {
            options.action = Options::Action::Version;
            return options;
        }
        if (arg == "--check") {
            options.checkOnly = true;
            continue;
        }
        if (arg == "--json") {
            options.json = true;
            continue;
        }
        std::string name = arg == "-o" ? std::string("output-folder") : arg.substr(2);
        std::optional<std::string> inlineValue;
        if (const std::size_t equals = name.find('='); equals != std::string::npos && arg[1] == '-') {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        if (arg[1] != '-' && arg != "-o")
            return usage("unknown option " + arg + " (see --help)");
        const auto takeValue = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        if (name == "jobs") {
            const auto given = takeValue();
            const auto count = given ? core::parseNumber(*given) : std::nullopt;
            if (!count || *count != std::floor(*count) || *count < 1 || *count > kMaxJobs)
                return usage("--jobs: '" + given.value_or("") + "' is outside 1.." + std::to_string(kMaxJobs));
            options.jobs = static_cast<int>(*count);
            continue;
        }
        if (name == "preset") {
            const auto given = takeValue();
            if (!given || given->empty())
                return usage("--preset needs a preset's name or file");
            options.preset = *given;
            continue;
        }
        if (name == "set") {
            const auto pair = takeValue();
            if (!pair)
                return usage("--set needs KEY=VALUE");
            const std::size_t equals = pair->find('=');
            const core::Control *row = equals == std::string::npos ? nullptr : rowForKey(pair->substr(0, equals));
            if (row == nullptr)
                return usage("--set: '" + *pair + "' names no key of the settings file");
            options.values.push_back({row, pair->substr(equals + 1)});
            continue;
        }
        const bool negated = name.starts_with("no-");
        const core::Control *row = rowForOption(negated ? std::string_view(name).substr(3) : name);
        if (row == nullptr || (negated && !isFlag(*row)))
            return usage("unknown option --" + name + " (see --help)");
        std::string value;
        if (isFlag(*row)) {
            if (inlineValue)
                return usage("--" + name + " takes no value");
            value = negated ? "0" : "1";
        } else {
            const auto given = takeValue();
            if (!given)
                return usage("--" + name + " needs a value (" + valueHint(*row) + ")");
            value = *given;
        }
        std::string error;
        const auto stored = storedText(*row, value, error);
        if (!stored)
            return usage(error);
        options.values.push_back({row, *stored});
    }
    if (options.files.empty())
        return usage("no file given (see --help)");
    return options;
}

std::string helpText()
{
    std::string text = "Usage: velmora-cli [OPTIONS] FILE...\n"
                       "Converts each FILE to a .kvx, one after another, with the settings the window\n"
                       "last saved (Velmora.ini beside the program, or in ~/.config/Velmora/ when\n"
                       "installed) changed by the options.\n\n"
                       "  -h, --help               this text\n"
                       "      --version            the program's version\n"
                       "      --json               one JSON object per line on standard output\n"
                       "      --set KEY=VALUE      any key of the settings file, as the file holds it\n"
                       "      --jobs 1..8          files converted at the same time (default 1)\n"
                       "      --check              only check that each file can be converted\n"
                       "      --preset NAME|FILE   a preset from the Presets folder beside the settings\n"
                       "                           file, or a preset file; the options go over it\n"
                       "  -o, --output-folder DIR  where the .kvx files go (default: the settings file's)\n";
    for (const core::Control &row : core::kControls) {
        if (row.option.empty() || row.kind == core::ValueKind::OutputFolder)
            continue;
        std::string left = "      --" + std::string(row.option);
        if (isFlag(row))
            left += ", --no-" + std::string(row.option);
        else
            left += " " + valueHint(row);
        if (left.size() < 44)
            left.resize(44, ' ');
        else
            left += ' ';
        const std::string shown = userText(row, row.defaultText);
        text += left + "default " + (shown.empty() ? "none" : shown) + "\n";
    }
    text += "\nExit status: 0 every file converted, 1 a file failed or was skipped,\n"
            "2 usage error, 130 interrupted.\n";
    return text;
}

std::optional<std::vector<StoredValue>> withPreset(const std::string &presetsFolder, const std::string &nameOrPath,
                                                   const std::vector<StoredValue> &values,
                                                   std::vector<std::string> &notes, std::string &error)
{
    const std::string path = settings::findPreset(presetsFolder, nameOrPath);
    if (path.empty()) {
        std::string names;
        for (const std::string &name : settings::presetNames(presetsFolder))
            names += (names.empty() ? "" : ", ") + name;
        error = "--preset: no preset '" + nameOrPath + "' (in " + presetsFolder + ": " +
                (names.empty() ? std::string("none") : names) + ")";
        return std::nullopt;
    }
    const std::optional<settings::Preset> preset = settings::readPreset(path, error);
    if (!preset)
        return std::nullopt;
    std::vector<StoredValue> all;
    for (const settings::PresetValue &value : preset->values)
        all.push_back({value.row, value.text});
    all.insert(all.end(), values.begin(), values.end());
    for (const std::string &note : preset->notes)
        notes.push_back("preset " + path + ": " + note);
    return all;
}

std::optional<core::JobSettings> loadJobSettings(const std::string &settingsPath, std::string_view defaultOutput,
                                                 const std::vector<StoredValue> &values, std::string &error)
{
    settings::IniFile ini = settings::IniFile::open(settingsPath);
    for (const StoredValue &value : values) {
        if (!ini.write(value.row->section, value.row->key, value.text)) {
            error = "the value of " + std::string(value.row->key) + " cannot hold a line break";
            return std::nullopt;
        }
    }
    RecordTarget target;
    const settings::LoadReport report = settings::loadSettings(ini, target, defaultOutput);
    if (!report.complete()) {
        // The window stops loading at a value it refuses; a value the user
        // gave must not be dropped that way.
        const core::Control *stopped = report.stoppedAt;
        const bool given = std::any_of(values.begin(), values.end(), [&](const StoredValue &value) {
            return value.row->section == stopped->section && sameWord(value.row->key, stopped->key);
        });
        if (given) {
            error = "the value of " + std::string(stopped->key) + " is refused" +
                    (stopped->option.empty() ? std::string() : " (--" + std::string(stopped->option) + " " +
                                                                   valueHint(*stopped) + ")");
            return std::nullopt;
        }
    }
    return target.record;
}

} // namespace cli
