// The script writer: its scripts against the golden files under
// tests/data/scripts (which the engine's tests run too), its refusals, and
// its quoting read back by the engine's own script reader.

#include "jobs/controls.h"
#include "script/script_writer.h"
#include "support/scratch.h"

#include "script/script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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

    // Applies "key=value | ..." in the settings file's keys, mode=N, frames=N and
    // fontsize=F (the font size as shown).
    void change(core::ScriptRequest &request, const std::string &changes)
    {
        for (const std::string &field : support::fields(changes)) {
            const std::string key = field.substr(0, field.find('=')), value = field.substr(key.size() + 1);
            if (key == "mode" || key == "frames") {
                (key == "mode" ? request.mode : request.frameCount) = std::stoi(value);
                continue;
            }
            if (key == "fontsize") {
                request.logoFontSize = std::stod(value);
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

    const fs::path m_dir = support::scratchFolder();
    std::vector<std::pair<std::string, std::string>> m_paths;
};

// The cases of tests/data/scripts/writer_cases.txt, which says what each
// field means.
TEST_F(ScriptWriter, AnswersEachCaseOfItsTable)
{
    std::istringstream in(support::readFile(std::string(VELMORA_TEST_DATA) + "/scripts/writer_cases.txt"));
    int cases = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line.starts_with("#"))
            continue;
        SCOPED_TRACE(line);
        ++cases;
        const auto arrow = line.find(" => ");
        ASSERT_NE(arrow, std::string::npos);
        core::ScriptRequest request = plainJob();
        change(request, line.substr(0, arrow));
        support::writeFile(request.scriptPath, "stale");
        const core::ScriptResult result = core::writeScript(request);
        const std::map<std::string, std::int32_t> run{{"encoder", result.run.videoBitrate}, {"fps", result.run.frameRate},
                                                      {"audio", result.run.audioBitrate}, {"rate", result.run.sampleRate}};
        ScriptWarning refused = ScriptWarning::None;
        for (const std::string &fact : support::fields(line.substr(arrow + 4))) {
            const std::string what = fact.substr(0, fact.find(' '));
            const std::string value = fact.size() > what.size() ? fact.substr(what.size() + 1) : "";
            if (what == "refused") {
                refused = value == "TimeControl" ? ScriptWarning::TimeControl : ScriptWarning::Parameter;
            } else if (what == "lines" || what == "holds") {
                std::string lines = value.empty() ? "" : value + "\n";
                for (auto at = lines.find("; "); at != std::string::npos; at = lines.find("; "))
                    lines.replace(at, 2, "\n");
                if (what == "lines")
                    EXPECT_EQ(filterLines(request), lines);
                else
                    EXPECT_NE(written(request).find("\n" + lines), std::string::npos) << written(request);
            } else if (what == "golden") {
                EXPECT_EQ(written(request), golden(value));
            } else {
                EXPECT_EQ(run.at(what), std::stoi(value)) << what;
            }
        }
        EXPECT_EQ(std::pair(result.result, result.warning), std::pair(refused == ScriptWarning::None ? 1 : 0, refused));
        EXPECT_EQ(fs::exists(request.scriptPath), refused == ScriptWarning::None);
    }
    EXPECT_GT(cases, 40);
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
