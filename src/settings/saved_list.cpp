#include "settings/saved_list.h"

#include "convert/output_path.h"
#include "jobs/controls.h"
#include "jobs/number_text.h"
#include "settings/ini_file.h"
#include "settings/presets.h"

#include <array>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <utility>

namespace settings {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMagic = "velmora-list ";

constexpr std::array<std::pair<core::JobState, std::string_view>, 7> kStateWords{{
    {core::JobState::None, "none"},
    {core::JobState::Waiting, "waiting"},
    {core::JobState::Converting, "converting"},
    {core::JobState::Done, "done"},
    {core::JobState::Failed, "failed"},
    {core::JobState::Stopped, "stopped"},
    {core::JobState::Interrupted, "interrupted"},
}};

std::string_view stateWord(core::JobState state)
{
    for (const auto &[each, word] : kStateWords)
        if (each == state)
            return word;
    return "none";
}

std::optional<core::JobState> stateOf(std::string_view word)
{
    for (const auto &[state, each] : kStateWords)
        if (each == word)
            return state;
    return std::nullopt;
}

std::string escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string unescaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

template <typename T>
std::optional<T> number(std::string_view text)
{
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool isFile(const std::string &path)
{
    std::error_code ignored;
    return fs::is_regular_file(path, ignored);
}

// Closes a descriptor on every path out.
// One entry as it is read, until its "end".
struct Reading
{
    core::JobEntry entry;
    std::string state = "none";
    std::string size;
    std::string seconds;
    std::string reason;
};

void setField(core::JobSettings &settings, const core::Control &row, const std::string &text, std::string &note)
{
    if (const auto *field = std::get_if<core::TextField>(&row.field)) {
        settings.**field = text;
        return;
    }
    const auto *field = std::get_if<core::IntField>(&row.field);
    if (field == nullptr)
        return;
    // checkedValue() leaves the clip length as written; it must still be a number.
    const auto whole = core::parseWhole(text);
    if (!whole) {
        note = keyName(row) + "=" + text + ": not a whole number, the default " + std::string(row.defaultText) +
               " taken";
        settings.**field = core::parseWhole(row.defaultText).value_or(0);
        return;
    }
    settings.**field = *whole;
}

// "[section] key=value" into the entry's settings by the settings file's rules.
void readSetting(std::string_view line, core::JobSettings &settings, std::vector<std::string> &notes)
{
    const std::size_t close = line.find("] ");
    const std::size_t equals = line.find('=', close == std::string_view::npos ? 0 : close);
    if (close == std::string_view::npos || equals == std::string_view::npos) {
        notes.push_back("\"" + std::string(line.substr(0, 60)) + "\": not understood, passed over");
        return;
    }
    const std::string_view section = line.substr(1, close - 1);
    const std::string_view key = line.substr(close + 2, equals - close - 2);
    const core::Control *row = settingRow(section, key);
    if (row == nullptr || std::holds_alternative<std::monostate>(row->field)) {
        notes.push_back("[" + std::string(section) + "] " + std::string(key) + ": not a job's setting, passed over");
        return;
    }
    std::string note;
    if (const auto text = checkedValue(*row, unescaped(line.substr(equals + 1)), note))
        setField(settings, *row, *text, note);
    if (!note.empty())
        notes.push_back(std::move(note));
}

// The finished entry's state; false when it is to be left out.
bool finish(Reading &reading, std::vector<std::string> &notes)
{
    core::JobEntry &entry = reading.entry;
    if (entry.fullPath.empty()) {
        notes.push_back("an entry without its source file left out");
        return false;
    }
    if (entry.title.empty())
        entry.title = core::fileTitle(entry.fullPath);
    const std::string &name = entry.title;
    if (!isFile(entry.fullPath)) {
        notes.push_back(name + " left out: " + entry.fullPath + " no longer exists");
        return false;
    }

    const auto state = stateOf(reading.state);
    if (!state)
        notes.push_back(name + ": state \"" + reading.state + "\" not understood, none taken");
    switch (state.value_or(core::JobState::None)) {
    case core::JobState::None:
        entry.status = {};
        break;
    case core::JobState::Waiting:
        entry.status = core::JobStatus::waiting();
        break;
    case core::JobState::Converting:
    case core::JobState::Interrupted:
        // The program ended under it: it starts again from its beginning.
        entry.status = core::JobStatus::interrupted();
        break;
    case core::JobState::Done:
        // Nothing to keep when the output went away since.
        if (isFile(core::outputPathFor(entry.title, entry.settings.outputDir)))
            entry.status = core::JobStatus::done(number<std::int64_t>(reading.size).value_or(0),
                                                 number<std::int32_t>(reading.seconds).value_or(0));
        else
            entry.status = core::JobStatus::waiting();
        break;
    case core::JobState::Failed:
        entry.status = core::JobStatus::failed(reading.reason);
        break;
    case core::JobState::Stopped:
        entry.status = core::JobStatus::stopped();
        break;
    }
    return true;
}

} // namespace

std::string savedListText(const core::JobList &jobs)
{
    std::string text = std::string(kMagic) + std::to_string(kSavedListVersion) + "\n";
    for (const core::JobEntry &entry : jobs.entries()) {
        text += "job\nsource=" + escaped(entry.fullPath) + "\ntitle=" + escaped(entry.title) + "\n";
        text += "state=" + std::string(stateWord(entry.status.state)) + "\n";
        if (entry.status.state == core::JobState::Done)
            text += "size=" + std::to_string(entry.status.outputBytes) + "\nseconds=" +
                    std::to_string(entry.status.lengthSec) + "\n";
        if (!entry.status.reason.empty())
            text += "reason=" + escaped(entry.status.reason) + "\n";
        for (const core::Control &row : core::kControls)
            if (!std::holds_alternative<std::monostate>(row.field))
                text += keyName(row) + "=" + escaped(fieldText(entry.settings, row)) + "\n";
        text += "end\n";
    }
    return text;
}

bool writeSavedList(const std::string &path, const core::JobList &jobs)
{
    return replaceFileWhole(path, savedListText(jobs));
}

std::string RestoredList::notesLine() const
{
    std::string line;
    for (const std::string &note : notes)
        line += (line.empty() ? "" : "; ") + note;
    return line.empty() ? line : std::string(kSavedListFileName) + ": " + line;
}

RestoredList readSavedListText(std::string_view text)
{
    RestoredList restored;
    std::vector<std::string> &notes = restored.notes;
    if (text.empty()) {
        notes.push_back("empty, nothing restored");
        return restored;
    }
    const std::size_t firstEnd = text.find('\n');
    const std::string_view first = text.substr(0, firstEnd);
    const auto version = first.starts_with(kMagic) ? number<int>(first.substr(kMagic.size())) : std::nullopt;
    if (!version) {
        notes.push_back("not a saved list, nothing restored");
        return restored;
    }
    if (*version > kSavedListVersion)
        notes.push_back("written by a newer version (" + std::to_string(*version) + "), read as far as understood");

    std::optional<Reading> reading;
    bool full = false;
    std::size_t pos = firstEnd == std::string_view::npos ? text.size() : firstEnd + 1;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        // A last line without its line feed was cut off mid-write.
        const bool cut = end == std::string_view::npos;
        if (cut)
            end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (cut)
            break;
        if (line == "job") {
            if (reading)
                notes.push_back((reading->entry.title.empty() ? "an entry" : reading->entry.title) +
                                " left out: cut short");
            reading.emplace();
            continue;
        }
        if (!reading)
            continue;
        if (line == "end") {
            if (restored.jobs.isFull()) {
                full = true;
            } else if (finish(*reading, notes)) {
                restored.jobs.append(std::move(reading->entry));
            }
            reading.reset();
            continue;
        }
        if (line.starts_with('[')) {
            readSetting(line, reading->entry.settings, notes);
            continue;
        }
        const std::size_t equals = line.find('=');
        const std::string_view key = line.substr(0, equals);
        const std::string value = equals == std::string_view::npos ? std::string() : unescaped(line.substr(equals + 1));
        if (key == "source")
            reading->entry.fullPath = value;
        else if (key == "title")
            reading->entry.title = value;
        else if (key == "state")
            reading->state = value;
        else if (key == "size")
            reading->size = value;
        else if (key == "seconds")
            reading->seconds = value;
        else if (key == "reason")
            reading->reason = value;
        // Anything else is a later version's; passed over.
    }
    if (reading)
        notes.push_back((reading->entry.title.empty() ? "the last entry" : reading->entry.title) +
                        " left out: the file ends inside it");
    if (full)
        notes.push_back("more than " + std::to_string(core::JobList::kMaxJobs) + " entries, the rest left out");
    return restored;
}

RestoredList readSavedList(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        RestoredList restored;
        restored.notes.push_back("cannot be read, nothing restored");
        return restored;
    }
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    return readSavedListText(text);
}

} // namespace settings
