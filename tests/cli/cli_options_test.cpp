// The command line's options against the control table: every row with an
// option takes a good value into its field and refuses a bad one with its
// range or items in the message.

#include "cli/cli_options.h"
#include "jobs/number_text.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using cli::Options;

// A value the row's option takes, and what the record's field then holds.
struct Good
{
    std::vector<std::string> args; // after the option's name
    std::string field;             // the field's value as text
};

// The last item or the top of the range: far from every default, so a value
// that lands in the wrong field or is taken off by one shows.
Good goodValue(const core::Control &row)
{
    switch (row.kind) {
    case core::ValueKind::ListIndex:
    case core::ValueKind::Option:
    case core::ValueKind::SwitchedOption: {
        const auto last = static_cast<std::int32_t>((row.choices.empty() ? row.items : row.choices).size()) - 1;
        const std::string typed = row.choices.empty() ? std::to_string(*core::itemNumber(row.items, last))
                                                      : std::string(row.choices.back());
        return {{typed}, std::to_string(last)};
    }
    case core::ValueKind::BarValue: {
        const std::int32_t top = row.range.maximum;
        const bool tenths = row.labelRule == core::LabelRule::Tenths;
        return {{tenths ? std::to_string(top / 10) + "." + std::to_string(top % 10) : std::to_string(top)},
                std::to_string(top)};
    }
    case core::ValueKind::CheckState:
    case core::ValueKind::FontBold:
    case core::ValueKind::FontItalic:
        return {{}, "1"};
    case core::ValueKind::FontSize:
        return {{"31"}, "31"};
    case core::ValueKind::FontColour:
        return {{"#102030"}, std::to_string(0x302010)};
    case core::ValueKind::OutputFolder:
        return {{"/tmp/out"}, "/tmp/out/"};
    default:
        break;
    }
    if (row.filePath)
        return {{"/some/file"}, "/some/file"};
    const bool numeric = core::parseNumber(row.defaultText).has_value();
    return numeric ? Good{{"7"}, "7"} : Good{{"some text"}, "some text"};
}

// A value the row's option refuses, and what its message must name.
std::optional<std::pair<std::string, std::string>> badValue(const core::Control &row)
{
    switch (row.kind) {
    case core::ValueKind::ListIndex:
    case core::ValueKind::Option:
    case core::ValueKind::SwitchedOption:
        return std::pair{std::string("999"), row.choices.empty() ? std::string("|") : std::string(row.choices[0])};
    case core::ValueKind::BarValue: {
        const bool tenths = row.labelRule == core::LabelRule::Tenths;
        const std::string top = tenths ? core::tenthsLabelText(row.range.maximum) : std::to_string(row.range.maximum);
        return std::pair{std::to_string(row.range.maximum + 1), ".." + top};
    }
    case core::ValueKind::FontSize:
        return std::pair{std::string("0"), std::string("1..2048")};
    case core::ValueKind::FontColour:
        return std::pair{std::string("red"), std::string("#RRGGBB")};
    case core::ValueKind::Text:
        if (core::parseNumber(row.defaultText))
            return std::pair{std::string("ten"), std::string("not a number")};
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

std::string fieldText(const core::JobSettings &record, const core::Control &row)
{
    if (const auto *text = std::get_if<core::TextField>(&row.field))
        return record.**text;
    return std::to_string(record.*std::get<core::IntField>(row.field));
}

std::vector<const core::Control *> optionRows()
{
    std::vector<const core::Control *> rows;
    for (const core::Control &row : core::kControls)
        if (!row.option.empty())
            rows.push_back(&row);
    return rows;
}

core::JobSettings load(const Options &options, const std::string &settingsPath = "/nonexistent/Velmora.ini")
{
    std::string error;
    const auto record = cli::loadJobSettings(settingsPath, "/home/user/", options.values, error);
    EXPECT_TRUE(record.has_value()) << error;
    return record.value_or(core::JobSettings{});
}

TEST(CliOptions, EveryUserSettingHasAnOptionOfItsOwn)
{
    std::set<std::string_view> names;
    for (const core::Control *row : optionRows()) {
        EXPECT_TRUE(names.insert(row->option).second) << row->option;
        EXPECT_FALSE(std::holds_alternative<std::monostate>(row->field)) << row->option;
    }
    // Every field a job keeps, but the clip length the probe measures.
    for (const core::Control &row : core::kControls) {
        if (!std::holds_alternative<std::monostate>(row.field) && row.kind != core::ValueKind::ClipLength) {
            EXPECT_FALSE(row.option.empty()) << row.key;
        }
    }
}

TEST(CliOptions, EachRowTakesItsValueIntoItsField)
{
    for (const core::Control *row : optionRows()) {
        SCOPED_TRACE(std::string(row->option));
        const Good good = goodValue(*row);
        std::vector<std::string> args{"--" + std::string(row->option)};
        args.insert(args.end(), good.args.begin(), good.args.end());
        args.push_back("clip.mp4");
        const Options options = cli::parseOptions(args);
        ASSERT_EQ(options.action, Options::Action::Convert) << options.error;
        EXPECT_EQ(options.files, std::vector<std::string>{"clip.mp4"});
        EXPECT_EQ(fieldText(load(options), *row), good.field);
    }
}

TEST(CliOptions, EachRowRefusesAValueOutsideItsRangeNamingTheRange)
{
    for (const core::Control *row : optionRows()) {
        const auto bad = badValue(*row);
        if (!bad)
            continue;
        SCOPED_TRACE(std::string(row->option));
        const Options options = cli::parseOptions({"--" + std::string(row->option), bad->first, "clip.mp4"});
        EXPECT_EQ(options.action, Options::Action::UsageError);
        EXPECT_NE(options.error.find(bad->second), std::string::npos) << options.error;
        EXPECT_NE(options.error.find(row->option), std::string::npos) << options.error;
    }
}

TEST(CliOptions, HelpListsEveryOptionWithItsDefault)
{
    const std::string help = cli::helpText();
    for (const core::Control *row : optionRows()) {
        const std::string name = "--" + std::string(row->option);
        ASSERT_NE(help.find(name), std::string::npos) << name;
    }
    EXPECT_NE(help.find("--mode high|normal|fast"), std::string::npos);
    EXPECT_NE(help.find("--hue -180..180"), std::string::npos);
}

struct UsageCase
{
    std::vector<std::string> args;
    Options::Action action;
    std::string message; // part of the error
};

TEST(CliOptions, UsageOutcomes)
{
    const std::vector<UsageCase> cases{
        {{}, Options::Action::UsageError, "no file"},
        {{"--json"}, Options::Action::UsageError, "no file"},
        {{"--bogus", "a.mp4"}, Options::Action::UsageError, "unknown option --bogus"},
        {{"-x", "a.mp4"}, Options::Action::UsageError, "unknown option -x"},
        {{"--no-hue", "a.mp4"}, Options::Action::UsageError, "unknown option"},
        {{"a.mp4", "--mode"}, Options::Action::UsageError, "needs a value (high|normal|fast)"},
        {{"--reverse=1", "a.mp4"}, Options::Action::UsageError, "takes no value"},
        {{"--saturation", "0.15", "a.mp4"}, Options::Action::UsageError, "0..10"},
        {{"--delay", "abc", "a.mp4"}, Options::Action::UsageError, "-10..10"},
        {{"--set", "NoSuchKey=1", "a.mp4"}, Options::Action::UsageError, "NoSuchKey"},
        {{"--set", "novalue", "a.mp4"}, Options::Action::UsageError, "novalue"},
        {{"--start", "1:xx", "a.mp4"}, Options::Action::UsageError, "not a number"},
        {{"--jobs", "0", "a.mp4"}, Options::Action::UsageError, "1..8"},
        {{"--jobs", "1.5", "a.mp4"}, Options::Action::UsageError, "1..8"},
        {{"--jobs=9", "a.mp4"}, Options::Action::UsageError, "1..8"},
        {{"--jobs", "8", "a.mp4"}, Options::Action::Convert, ""},
        {{"a.mp4", "--preset"}, Options::Action::UsageError, "--preset needs"},
        {{"--help", "--bogus"}, Options::Action::Help, ""},
        {{"--version"}, Options::Action::Version, ""},
        {{"--", "--hue"}, Options::Action::Convert, ""},
    };
    for (const UsageCase &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Options options = cli::parseOptions(c.args);
        EXPECT_EQ(options.action, c.action);
        EXPECT_NE(options.error.find(c.message), std::string::npos) << options.error;
    }
}

// What a user types against what the record then holds.
struct Typed
{
    std::vector<std::string> args;
    std::string key;   // the row's key
    std::string field; // the field as text
};

TEST(CliOptions, ValuesAsUsersTypeThem)
{
    const std::string here = std::filesystem::current_path().string();
    const std::string up = std::filesystem::current_path().parent_path().string();
    const std::vector<Typed> cases{
        {{"--audio", "music/a.mp3"}, "AudioFileText", here + "/music/a.mp3"},
        {{"--subtitles=./a.srt"}, "SubFileText", here + "/a.srt"},
        {{"--intro-video", "../intro.mp4"}, "TextIntVideo", up + "/intro.mp4"},
        {{"--intro-image", "/srv/logo.png"}, "TextIntImage", "/srv/logo.png"},
        {{"--audio", ""}, "AudioFileText", ""},
        {{"-o", "kvx"}, "OutputText", here + "/kvx/"},
        {{"--logo-text", "a/b"}, "TextLogo", "a/b"},
        {{"--start", "00:01:30"}, "TextStartTime", "90"},
        {{"--end", "1:00:00"}, "TextEndTime", "3600"},
        {{"--delay", "-0.5"}, "HScrollDel", "-5"},
        {{"--saturation=2.5"}, "HScrollSat", "25"},
        {{"--frame-rate", "05"}, "FRCombo", "4"},
        {{"--sample-rate", "44100"}, "ASRCombo", "5"},
        {{"--mode", "FAST"}, "ModeCombo", "2"},
        {{"--channel", "left"}, "OptionCha", "1"},
        {{"--reverse", "--no-reverse"}, "CheckReverse", "0"},
        {{"-o", "/srv/out"}, "OutputText", "/srv/out/"},
        {{"--set", "vbrtext=900"}, "VBRText", "900"},
        {{"--set", "HScrollHue=-20", "--hue", "30"}, "HScrollHue", "30"},
    };
    for (const Typed &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        std::vector<std::string> args = c.args;
        args.push_back("a.mp4");
        const Options options = cli::parseOptions(args);
        ASSERT_EQ(options.action, Options::Action::Convert) << options.error;
        const core::Control *row = nullptr;
        for (const core::Control &candidate : core::kControls)
            if (candidate.key == c.key)
                row = &candidate;
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(fieldText(load(options), *row), c.field);
    }
}

TEST(CliOptions, OptionsGoOverTheSettingsFileAndTheRestComesFromIt)
{
    const auto folder = support::scratchFolder();
    const auto path = (folder / "Velmora.ini").string();
    support::writeFile(path, "[Parameter]\nFRCombo=3\nVBRText=512\n[Color Setting]\nHScrollHue=40\n"
                             "[Output Directory]\nOutputText=/from/file/\n");
    const Options options = cli::parseOptions({"--frame-rate", "10", "a.mp4"});
    const core::JobSettings record = load(options, path);
    EXPECT_EQ(record.frameRateIndex, 9);
    EXPECT_EQ(record.videoBitrate, "512");
    EXPECT_EQ(record.hue, 40);
    EXPECT_EQ(record.outputDir, "/from/file/");
    EXPECT_EQ(load(cli::parseOptions({"a.mp4"})).outputDir, "/home/user/");
}

TEST(CliOptions, APresetGoesOverTheSettingsFileAndTheOptionsOverThePreset)
{
    const auto folder = support::scratchFolder();
    const auto settingsPath = (folder / "Velmora.ini").string();
    support::writeFile(settingsPath, "[Parameter]\nFRCombo=3\nVBRText=512\n[Color Setting]\nHScrollHue=40\n");
    std::filesystem::create_directories(folder / "Presets");
    support::writeFile(folder / "Presets" / "web.ini", "[Parameter]\nFRCombo=5\n[Color Setting]\nHScrollHue=10\n"
                                                         "HScrollBri=999\n[Time Control]\nTextStartTime=9\n");
    const Options options = cli::parseOptions({"--preset", "web", "--hue", "30", "a.mp4"});
    ASSERT_EQ(options.action, Options::Action::Convert) << options.error;
    std::vector<std::string> notes;
    std::string error;
    const auto values = cli::withPreset((folder / "Presets").string(), options.preset, options.values, notes, error);
    ASSERT_TRUE(values) << error;
    Options layered;
    layered.values = *values;
    const core::JobSettings record = load(layered, settingsPath);
    EXPECT_EQ(record.frameRateIndex, 5);
    EXPECT_EQ(record.videoBitrate, "512");
    EXPECT_EQ(record.hue, 30);
    EXPECT_EQ(record.brightness, 255);
    EXPECT_EQ(record.startTime, "0");
    ASSERT_EQ(notes.size(), 2u) << testing::PrintToString(notes);
    EXPECT_NE(notes[0].find("web.ini: [Time Control] TextStartTime"), std::string::npos) << notes[0];

    support::writeFile(folder / "Presets" / "tv.ini", "");
    EXPECT_FALSE(cli::withPreset((folder / "Presets").string(), "radio", {}, notes, error));
    EXPECT_NE(error.find("no preset 'radio' (in " + (folder / "Presets").string() + ": tv, web)"), std::string::npos)
        << error;
}

TEST(CliOptions, AValueTheFileRulesRefuseIsAUsageErrorNotDropped)
{
    const Options options = cli::parseOptions({"--set", "HScrollHue=900", "a.mp4"});
    ASSERT_EQ(options.action, Options::Action::Convert);
    std::string error;
    EXPECT_FALSE(cli::loadJobSettings("/nonexistent/Velmora.ini", "/", options.values, error));
    EXPECT_NE(error.find("-180..180"), std::string::npos) << error;
}

} // namespace
