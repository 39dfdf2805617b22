// The script writer: its scripts against the golden files under
// tests/data/scripts (which the engine's tests run too), its refusals, and
// its quoting read back by the engine's own script reader.

#include "jobs/controls.h"
#include "script/script_writer.h"
#include "support/scratch.h"

#include "script/script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using core::ScriptWarning;

class ScriptWriter : public ::testing::Test
{
public:
    // The golden files' paths stand for files in the scratch folder.
    std::string real(const std::string &golden)
    {
        std::string rest = golden.substr(3); // after "C:\"
        std::replace(rest.begin(), rest.end(), '\\', '/');
        const fs::path path = m_dir / rest;
        fs::create_directories(path.parent_path());
        if (!rest.ends_with("/"))
            support::writeFile(path, "x");
        m_paths.emplace_back(golden, path.string());
        return path.string();
    }

    // The plain job of plain.avs.
    core::ScriptRequest plainJob()
    {
        core::ScriptRequest r;
        r.mode = 1;
        r.videoPath = real("C:\\Videos\\clip.avi");
        r.appFolder = real("C:\\Conv\\");
        r.scriptPath = r.appFolder + "temp.avs";
        r.frameCount = 120;
        r.logoFontSize = 12.0;
        core::JobSettings &s = r.shown;
        s.startTime = "0";
        s.endTime = "120";
        s.saturation = 10; // the window's defaults 15 and 50 would add filter lines
        s.sharpness = 0;
        s.logoFontName = "Arial";
        return r;
    }

    // What the writer wrote, its paths put back as the golden files spell
    // them; every line must end in CR LF.
    std::string written(const core::ScriptRequest &request)
    {
        const core::ScriptResult result = core::writeScript(request);
        EXPECT_EQ(std::pair(result.result, result.warning), std::pair(1, ScriptWarning::None));
        std::string text = support::readFile(request.scriptPath);
        for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
            EXPECT_EQ(text[at - 1], '\r') << text;
            text.erase(at - 1, 1);
        }
        for (const auto &[golden, path] : m_paths)
            for (auto at = text.find(path); at != std::string::npos; at = text.find(path, at + golden.size()))
                text.replace(at, path.size(), golden);
        return text;
    }

    static std::string golden(const std::string &name)
    {
        std::istringstream in(support::readFile(std::string(VELMORA_TEST_DATA) + "/scripts/" + name));
        std::string text;
        for (std::string line; std::getline(in, line);)
            if (!line.starts_with("#"))
                text += line + "\n";
        return text;
    }

    // The lines after the trimming line.
    std::string filterLines(const core::ScriptRequest &request)
    {
        const std::string text = written(request);
        return text.substr(text.find('\n', text.find("Trim(c,")) + 1);
    }

    const fs::path m_dir = support::scratchFolder();
    std::vector<std::pair<std::string, std::string>> m_paths;
};

// Each golden file's job is the plain one with the changes of its "# job:"
// lines, in the settings file's keys.
TEST_F(ScriptWriter, WritesTheGoldenScriptsAndTheRunValues)
{
    for (const char *file : {"plain.avs", "probe.avs", "intro_video.avs", "intro_image.avs", "everything.avs"}) {
        SCOPED_TRACE(file);
        core::ScriptRequest request = plainJob();
        std::istringstream in(support::readFile(std::string(VELMORA_TEST_DATA) + "/scripts/" + file));
        for (std::string line; std::getline(in, line);) {
            if (!line.starts_with("# job: "))
                continue;
            line += " | ";
            for (std::size_t from = 7, bar; (bar = line.find(" | ", from)) != std::string::npos; from = bar + 3) {
                const std::string change = line.substr(from, bar - from);
                const std::string key = change.substr(0, change.find('=')), value = change.substr(key.size() + 1);
                if (key == "mode") {
                    request.mode = std::stoi(value);
                    continue;
                }
                const auto row = std::find_if(core::kControls.begin(), core::kControls.end(),
                                              [&](const core::Control &c) { return c.key == key; });
                ASSERT_NE(row, core::kControls.end()) << key;
                if (const auto *text = std::get_if<core::TextField>(&row->field))
                    request.shown.*(*text) = value.starts_with("C:\\") ? real(value) : value;
                else
                    request.shown.*std::get<core::IntField>(row->field) = std::stoi(value);
            }
        }
        EXPECT_EQ(written(request), golden(file));
        const core::RunValues run = core::writeScript(request).run;
        // 256 kbit/s x 25 / 15 fps for the encoder, 128 kbit/s, 32000 Hz.
        EXPECT_EQ(std::tuple(run.frameRate, run.videoBitrate, run.audioBitrate, run.sampleRate),
                  std::tuple(15, 427, 128, 32000));
    }
}

// Whatever the mode other than 1 and the introduction, the probe script is
// the whole clip without it.
TEST_F(ScriptWriter, TheProbeNeverHoldsTheIntroduction)
{
    for (std::int32_t mode : {0, 2, -1})
        for (std::int32_t type : {0, 1}) {
            core::ScriptRequest request = plainJob();
            request.mode = mode;
            request.shown.introType = type;
            request.shown.introVideoFile = real("C:\\Intro\\intro.avi");
            request.shown.introImageFile = real("C:\\Intro\\card.jpg");
            request.shown.startTime = "5";
            EXPECT_EQ(written(request), golden("probe.avs")) << mode << " " << type;
        }
}

// Files count only when they exist as plain files, and the introduction
// only of the chosen type.
TEST_F(ScriptWriter, OptionalFilesCountOnlyAsExistingPlainFilesOfTheChosenType)
{
    fs::create_directories(m_dir / "folder.mp3");
    const std::string present[] = {real("C:\\Intro\\card.jpg"), real("C:\\Intro\\intro.avi")};
    for (const std::string &absent : {(m_dir / "missing.mp3").string(), (m_dir / "folder.mp3").string()}) {
        for (std::int32_t type : {0, 1}) {
            core::ScriptRequest request = plainJob();
            request.shown.audioFile = request.shown.subtitleFile = absent;
            request.shown.introType = type;
            (type == 0 ? request.shown.introVideoFile : request.shown.introImageFile) = absent;
            (type == 0 ? request.shown.introImageFile : request.shown.introVideoFile) = present[type];
            EXPECT_EQ(written(request), golden("plain.avs")) << absent << " " << type;
        }
    }
}

struct FilterCase
{
    std::int32_t core::JobSettings::*field;
    std::int32_t value;
    const char *lines;
};

TEST_F(ScriptWriter, FilterLinesOnlyAwayFromTheNeutralValues)
{
    using J = core::JobSettings;
    const FilterCase cases[] = {
        {&J::hue, 0, ""},
        {&J::saturation, 15, "Tweak(0,1.5,0,1)\n"},
        {&J::contrast, 0, "Tweak(0,1,0,0)\n"},
        {&J::hue, -180, "Tweak(-180,1,0,1)\n"},
        {&J::brightness, 255, "Tweak(0,1,255,1)\n"},
        {&J::sharpness, -158, "Sharpen(-1.58)\n"},
        {&J::sharpness, 100, "Sharpen(1)\n"},
        {&J::sharpness, 7, "Sharpen(0.07)\n"},
        {&J::volume, 0, "Amplify(0)\n"},
        {&J::volume, 1000, "Amplify(10)\n"},
        {&J::audioDelay, -100, "DelayAudio(-10)\n"},
        {&J::audioDelay, 3, "DelayAudio(0.3)\n"},
        {&J::channelMode, 1, "GetChannel(1,1)\n"},
        {&J::channelMode, 2, "GetChannel(2,2)\n"},
    };
    for (const FilterCase &c : cases) {
        core::ScriptRequest request = plainJob();
        request.shown.*c.field = c.value;
        EXPECT_EQ(filterLines(request), c.lines) << c.value;
    }
    // Subtitles come after every filter.
    core::ScriptRequest request = plainJob();
    request.shown.channelMode = 2;
    request.shown.subtitleFile = real("C:\\Videos\\clip.srt");
    EXPECT_EQ(filterLines(request), "GetChannel(2,2)\nTextSub(subfile)\n");
}

TEST_F(ScriptWriter, TheLogoLineNeedsLogoTextAndCarriesTheFontSizeAsShown)
{
    core::ScriptRequest request = plainJob();
    request.shown.logoX = "10";
    request.shown.logoColor = 255;
    EXPECT_EQ(written(request), golden("plain.avs"));
    request.shown.logoText = "Hi";
    request.shown.logoY = "20";
    request.shown.logoStart = "1";
    request.shown.logoEnd = "2";
    request.shown.logoColor = 0x00336699;
    request.logoFontSize = 10.5;
    EXPECT_NE(written(request).find("a1 = BicubicResize(a0,256,256*Height(a)/Width(a))\n"
                                    "aa = Subtitle(a1,\"Hi\",10,20,1*15,2*15,\"Arial\",10.5,10053171)\n"),
              std::string::npos);
}

struct TimeCase
{
    const char *start;
    const char *end;
    std::int32_t frameCount;
    ScriptWarning warning;
};

// The old script goes first, also when the writer then refuses; the run
// values are set before the check.
TEST_F(ScriptWriter, TheTimeCheckRefusesBadWindows)
{
    const TimeCase cases[] = {
        {"30", "20", 120, ScriptWarning::TimeControl}, {"-1", "20", 120, ScriptWarning::TimeControl},
        {"121", "200", 120, ScriptWarning::TimeControl}, {"1", "5", 0, ScriptWarning::TimeControl},
        {"-0.6", "10", 120, ScriptWarning::TimeControl}, {"abc", "20", 120, ScriptWarning::Parameter},
        {"0", "xyz", 120, ScriptWarning::Parameter},     {"", "20", 120, ScriptWarning::Parameter},
        // The end is not compared with the clip's length.
        {"0", "500", 120, ScriptWarning::None},          {"120", "120", 120, ScriptWarning::None},
        {" 5 ", "6.5", 120, ScriptWarning::None},        {"-0.4", "10", 120, ScriptWarning::None},
    };
    for (const TimeCase &c : cases) {
        core::ScriptRequest request = plainJob();
        request.shown.startTime = c.start;
        request.shown.endTime = c.end;
        request.frameCount = c.frameCount;
        support::writeFile(request.scriptPath, "stale");
        const core::ScriptResult result = core::writeScript(request);
        EXPECT_EQ(std::pair(result.result, result.warning), std::pair(c.warning == ScriptWarning::None ? 1 : 0, c.warning))
            << c.start << " .. " << c.end;
        EXPECT_EQ(fs::exists(request.scriptPath), c.warning == ScriptWarning::None);
        EXPECT_EQ(result.run.videoBitrate, 427);
    }
    core::ScriptRequest empty = plainJob();
    empty.frameCount = 0;
    empty.shown.endTime = "0";
    EXPECT_NE(written(empty).find("Trim(c,0,0)"), std::string::npos);
}

struct BitrateCase
{
    std::int32_t frameRateIndex;
    const char *kbps;
    std::optional<std::int32_t> encoderValue;
};

// kbit/s x 25 / fps to the nearest, halves to even; nothing wraps in 32 bits.
TEST_F(ScriptWriter, TheEncoderGetsTheVideoRateForTheStreamsLabel)
{
    const BitrateCase cases[] = {
        {14, "256", 427}, {1, "1", 12}, {1, "3", 38}, {1, "-1", -12}, {19, "-100", -125}, {14, " 256.4 ", 427},
        {0, "85899345", 2147483625}, {0, "85899346", std::nullopt}, {0, "-85899346", std::nullopt},
        {14, "", std::nullopt}, {14, "fast", std::nullopt},
    };
    for (const BitrateCase &c : cases) {
        core::ScriptRequest request = plainJob();
        request.shown.frameRateIndex = c.frameRateIndex;
        request.shown.videoBitrate = c.kbps;
        const core::ScriptResult result = core::writeScript(request);
        EXPECT_EQ(result.run.frameRate, c.frameRateIndex + 1);
        EXPECT_EQ(result.run.videoBitrate, c.encoderValue.value_or(0)) << c.kbps;
        EXPECT_EQ(result.warning, c.encoderValue ? ScriptWarning::None : ScriptWarning::Parameter) << c.kbps;
    }
    // The items are the numbers handed over; an index without an item refuses.
    core::ScriptRequest request = plainJob();
    request.shown.audioBitrateIndex = 10;
    request.shown.sampleRateIndex = 1;
    const core::RunValues run = core::writeScript(request).run;
    EXPECT_EQ(std::pair(run.audioBitrate, run.sampleRate), std::pair(448, 11250));
    for (auto index : {&core::JobSettings::frameRateIndex, &core::JobSettings::audioBitrateIndex,
                       &core::JobSettings::sampleRateIndex})
        for (std::int32_t bad : {-1, 20}) {
            request = plainJob();
            request.shown.*index = bad;
            EXPECT_EQ(core::writeScript(request).warning, ScriptWarning::Parameter) << bad;
            EXPECT_FALSE(fs::exists(request.scriptPath));
        }
}

TEST_F(ScriptWriter, RefusesAMissingInputAndAnUnwritableScript)
{
    fs::create_directories(m_dir / "folder.avi");
    for (const std::string &video : {std::string(), (m_dir / "missing.avi").string(), (m_dir / "folder.avi").string()}) {
        core::ScriptRequest request = plainJob();
        request.videoPath = video;
        EXPECT_EQ(core::writeScript(request).warning, ScriptWarning::NoInputVideo) << video;
        EXPECT_FALSE(fs::exists(request.scriptPath));
    }
    core::ScriptRequest request = plainJob();
    request.scriptPath = (m_dir / "no such folder" / "temp.avs").string();
    EXPECT_EQ(core::writeScript(request).warning, ScriptWarning::Parameter);
    // A folder in the script's place is neither deleted nor written into.
    request.scriptPath = (m_dir / "busy.avs").string();
    fs::create_directories(m_dir / "busy.avs" / "inside");
    EXPECT_EQ(core::writeScript(request).warning, ScriptWarning::Parameter);
    EXPECT_TRUE(fs::is_directory(m_dir / "busy.avs" / "inside"));

    EXPECT_STREQ(core::scriptWarningText(ScriptWarning::TimeControl), "Time Control setting Error!");
    EXPECT_STREQ(core::scriptWarningText(ScriptWarning::NoInputVideo),
                 "No Input Video File to convert! Please add Input Video File!");
    EXPECT_STREQ(core::scriptWarningText(ScriptWarning::Parameter), "Parameter Error! Please correct it and try again!");
}

// Every text, quotes and all, reads back unchanged through the engine's reader.
TEST(ScriptString, EveryTextReadsBackUnchanged)
{
    EXPECT_EQ(core::scriptString("C:\\Videos\\clip.avi"), "\"C:\\Videos\\clip.avi\"");
    EXPECT_EQ(core::scriptString("say \"hi\" now"), "\"\"\"say \"hi\" now\"\"\"");
    for (const char *text : {"", "plain", "a\"b", "\"", "\"\"", "\"\"\"", "\"\"\"\"", "ab\"", "ab\"\"", "ab\"\"\"",
                             "\"ab", "\"\"ab", "\"\"\"ab", "a\"\"b", "a\"\"\"b", "a\"\"\"\"b\"c", "x\"\"\"y\"\"\"z",
                             "5\" screen"}) {
        const std::string literal = core::scriptString(text);
        EXPECT_EQ(engine::script::evaluateScript(literal, {}, {}), engine::script::Value(std::string(text))) << literal;
    }
}

TEST(LogoColour, SwapsRedAndBlueAndIgnoresTheTopByte)
{
    for (const auto &[stored, script] : {std::pair{0, 0}, {255, 16711680}, {65280, 65280}, {0x00123456, 0x00563412},
                                         {static_cast<std::int32_t>(0xFF0000FFu), 16711680}})
        EXPECT_EQ(core::logoColorRgb(stored), script) << stored;
}

} // namespace
