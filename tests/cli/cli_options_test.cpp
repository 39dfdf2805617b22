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
using Kind = core::ValueKind;

// A value a row's option takes and what its field then holds; a value it
// refuses (empty: none) and what the message must name.
struct Values
{
    std::vector<std::string> good; // after the option's name
    std::string field;
    std::string bad = {}, named = {};
};

// The good one is the last item or the top of the range: far from every
// default, so a value that lands in the wrong field or is off by one shows.
Values valuesFor(const core::Control &row)
{
    const bool number = core::parseNumber(row.defaultText).has_value();
    switch (row.kind) {
    case Kind::ListIndex:
    case Kind::Option:
    case Kind::SwitchedOption: {
        const bool words = !row.choices.empty();
        const auto last = static_cast<std::int32_t>((words ? row.choices : row.items).size()) - 1;
        return {{words ? std::string(row.choices.back()) : std::to_string(*core::itemNumber(row.items, last))},
                std::to_string(last), "999", words ? std::string(row.choices[0]) : "|"};
    }
    case Kind::BarValue: {
        const std::int32_t top = row.range.maximum;
        const bool tenths = row.labelRule == core::LabelRule::Tenths;
        return {{tenths ? std::to_string(top / 10) + "." + std::to_string(top % 10) : std::to_string(top)},
                std::to_string(top), std::to_string(top + 1),
                ".." + (tenths ? core::tenthsLabelText(top) : std::to_string(top))};
    }
    case Kind::CheckState:
    case Kind::FontBold:
    case Kind::FontItalic:
        return {{}, "1"};
    case Kind::FontSize:
        return {{"31"}, "31", "0", "1..2048"};
    case Kind::FontColour:
        return {{"#102030"}, std::to_string(0x302010), "red", "#RRGGBB"};
    case Kind::OutputFolder:
        return {{"/tmp/out"}, "/tmp/out/"};
    default:
        if (row.filePath)
            return {{"/some/file"}, "/some/file"};
        return number ? Values{{"7"}, "7", "ten", "not a number"} : Values{{"some text"}, "some text"};
    }
}

std::string fieldText(const core::JobSettings &record, const core::Control &row)
{
    if (const auto *text = std::get_if<core::TextField>(&row.field))
        return record.**text;
    return std::to_string(record.*std::get<core::IntField>(row.field));
}

core::JobSettings load(const std::vector<cli::StoredValue> &values, const std::string &settingsPath = "/nonexistent")
{
    std::string error;
    const auto record = cli::loadJobSettings(settingsPath, "/home/user/", values, error);
    EXPECT_TRUE(record.has_value()) << error;
    return record.value_or(core::JobSettings{});
}

TEST(CliOptions, EveryRowWithAFieldHasAnOptionThatTakesAGoodValueAndRefusesABadOne)
{
    const std::string help = cli::helpText();
    std::set<std::string_view> names;
    for (const core::Control &row : core::kControls) {
        // Every field a job keeps has an option, but the clip length the probe measures.
        if (row.option.empty()) {
            EXPECT_TRUE(std::holds_alternative<std::monostate>(row.field) || row.kind == Kind::ClipLength) << row.key;
            continue;
        }
        const std::string name = "--" + std::string(row.option);
        SCOPED_TRACE(name);
        EXPECT_TRUE(names.insert(row.option).second);
        EXPECT_NE(help.find(name), std::string::npos);
        const Values values = valuesFor(row);
        std::vector<std::string> args{name};
        args.insert(args.end(), values.good.begin(), values.good.end());
        args.push_back("clip.mp4");
        const Options options = cli::parseOptions(args);
        ASSERT_EQ(options.action, Options::Action::Convert) << options.error;
        EXPECT_EQ(options.files, std::vector<std::string>{"clip.mp4"});
        EXPECT_EQ(fieldText(load(options.values), row), values.field);
        if (values.bad.empty())
            continue;
        const Options refused = cli::parseOptions({name, values.bad, "clip.mp4"});
        EXPECT_EQ(refused.action, Options::Action::UsageError);
        EXPECT_NE(refused.error.find(values.named), std::string::npos) << refused.error;
        EXPECT_NE(refused.error.find(name), std::string::npos) << refused.error;
    }
    EXPECT_NE(help.find("--mode high|normal|fast"), std::string::npos);
    EXPECT_NE(help.find("--hue -180..180"), std::string::npos);
}

// What a user types after a file name, the action, and either a part of the
// error or the row's key and what its field then holds.
struct Typed
{
    std::vector<std::string> args;
    Options::Action action;
    std::string errorOrKey, field = {};
};

TEST(CliOptions, ValuesAndMistakesAsUsersTypeThem)
{
    using A = Options::Action;
    const std::string here = std::filesystem::current_path().string();
    const std::string up = std::filesystem::current_path().parent_path().string();
    const std::vector<Typed> cases{
        {{"--audio", "music/a.mp3"}, A::Convert, "AudioFileText", here + "/music/a.mp3"},
        {{"--subtitles=./a.srt"}, A::Convert, "SubFileText", here + "/a.srt"},
        {{"--intro-video", "../intro.mp4"}, A::Convert, "TextIntVideo", up + "/intro.mp4"},
        {{"--audio", ""}, A::Convert, "AudioFileText", ""},
        {{"-o", "kvx"}, A::Convert, "OutputText", here + "/kvx/"},
        {{"--logo-text", "a/b"}, A::Convert, "TextLogo", "a/b"},
        {{"--start", "00:01:30"}, A::Convert, "TextStartTime", "90"},
        {{"--delay", "-0.5"}, A::Convert, "HScrollDel", "-5"},
        {{"--frame-rate", "05"}, A::Convert, "FRCombo", "4"},
        {{"--mode", "FAST"}, A::Convert, "ModeCombo", "2"},
        {{"--channel", "left"}, A::Convert, "OptionCha", "1"},
        {{"--reverse", "--no-reverse"}, A::Convert, "CheckReverse", "0"},
        {{"--set", "vbrtext=900"}, A::Convert, "VBRText", "900"},
        {{"--jobs", "8"}, A::Convert, ""},
        {{"--", "--hue"}, A::Convert, ""},
        {{"--help", "--bogus"}, A::Help, ""},
        {{"--version"}, A::Version, ""},
        {{"--bogus"}, A::UsageError, "unknown option --bogus"},
        {{"-x"}, A::UsageError, "unknown option -x"},
        {{"--no-hue"}, A::UsageError, "unknown option"},
        {{"--mode"}, A::UsageError, "needs a value (high|normal|fast)"},
        {{"--preset"}, A::UsageError, "--preset needs"},
        {{"--reverse=1"}, A::UsageError, "takes no value"},
        {{"--saturation", "0.15"}, A::UsageError, "0..10"},
        {{"--delay", "abc"}, A::UsageError, "-10..10"},
        {{"--set", "NoSuchKey=1"}, A::UsageError, "NoSuchKey"},
        {{"--start", "1:xx"}, A::UsageError, "not a number"},
        {{"--jobs", "0"}, A::UsageError, "1..8"},
        {{"--jobs", "1.5"}, A::UsageError, "1..8"},
        {{"--jobs=9"}, A::UsageError, "1..8"},
    };
    for (const Typed &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        std::vector<std::string> args{"a.mp4"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Options options = cli::parseOptions(args);
        ASSERT_EQ(options.action, c.action) << options.error;
        if (c.action == A::UsageError) {
            EXPECT_NE(options.error.find(c.errorOrKey), std::string::npos) << options.error;
        } else if (!c.errorOrKey.empty()) {
            EXPECT_EQ(fieldText(load(options.values), *core::findControl(c.errorOrKey)), c.field);
        }
    }
    EXPECT_NE(cli::parseOptions({"--json"}).error.find("no file"), std::string::npos);
}

TEST(CliOptions, OptionsGoOverAPresetThatGoesOverTheSettingsFile)
{
    const auto folder = support::scratchFolder();
    const auto settingsPath = (folder / "Velmora.ini").string();
    const auto presets = (folder / "Presets").string();
    support::writeFile(settingsPath, "[Parameter]\nFRCombo=3\nVBRText=512\n[Color Setting]\nHScrollHue=40\n"
                                     "[Output Directory]\nOutputText=/from/file/\n");
    std::filesystem::create_directories(presets);
    support::writeFile(presets + "/web.ini",
                       "[Parameter]\nFRCombo=5\n[Color Setting]\nHScrollHue=10\n[Time Control]\nTextStartTime=9\n");
    const Options options = cli::parseOptions({"--preset", "web", "--hue", "30", "a.mp4"});
    ASSERT_EQ(options.action, Options::Action::Convert) << options.error;
    std::vector<std::string> notes;
    std::string error;
    const auto values = cli::withPreset(presets, options.preset, options.values, notes, error);
    ASSERT_TRUE(values) << error;
    const core::JobSettings record = load(*values, settingsPath);
    EXPECT_EQ(record.frameRateIndex, 5);
    EXPECT_EQ(record.videoBitrate, "512");
    EXPECT_EQ(record.hue, 30);
    EXPECT_EQ(record.outputDir, "/from/file/");
    // A preset holds no time window.
    EXPECT_EQ(record.startTime, "0");
    ASSERT_EQ(notes.size(), 1u) << testing::PrintToString(notes);
    EXPECT_NE(notes[0].find("web.ini: [Time Control] TextStartTime"), std::string::npos) << notes[0];
    EXPECT_EQ(load({}).outputDir, "/home/user/");

    support::writeFile(presets + "/tv.ini", "");
    EXPECT_FALSE(cli::withPreset(presets, "radio", {}, notes, error));
    EXPECT_NE(error.find("no preset 'radio' (in " + presets + ": tv, web)"), std::string::npos) << error;
    // A value the file's rules refuse is a usage error, not dropped.
    EXPECT_FALSE(cli::loadJobSettings(settingsPath, "/", cli::parseOptions({"--set", "HScrollHue=900", "a"}).values,
                                      error));
    EXPECT_NE(error.find("-180..180"), std::string::npos) << error;
}

} // namespace
