// The script files under tests/data/lang and tests/data/scripts, run as
// tests. A file is a list of sections separated by blank lines; a line that
// ends in a comment "# => VALUE" or "# error N: TEXT" is a check: the section
// from its first line down to that line runs as one script, whose value must
// print as VALUE, or which must fail in line N (counted from the section's
// first line) with a message holding TEXT. Values print as 3, 3.5, true,
// "text", and a clip as "clip WxH N frames, S samples R Hz C ch".
//
// The scripts run against the engine's real functions with fake sources and
// the helpers of support/script_table.h.

#include "support/script_table.h"

#include "script/script.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using engine::ClipPtr;
using engine::script::Value;

const engine::script::FunctionTable &table()
{
    static const engine::script::FunctionTable t = support::scriptTableWithFakeSources(support::scriptTestHelpers());
    return t;
}

std::string show(const Value &value)
{
    if (const auto *clip = std::get_if<ClipPtr>(&value)) {
        const engine::VideoInfo &vi = (*clip)->info();
        const auto n = [](auto v) { return std::to_string(v); };
        return "clip " + (vi.hasVideo ? n(vi.width) + "x" + n(vi.height) + " " + n(vi.frameCount) + " frames" : "no video")
               + ", "
               + (vi.hasAudio ? n(vi.sampleCount) + " samples " + n(vi.sampleRate) + " Hz " + n(vi.channels) + " ch"
                              : "no audio");
    }
    if (const auto *d = std::get_if<double>(&value)) {
        char text[32];
        std::snprintf(text, sizeof text, "%.7g", *d);
        const std::string s = text;
        return s.find_first_of(".en") == std::string::npos ? s + ".0" : s;
    }
    if (const auto *text = std::get_if<std::string>(&value))
        return "\"" + *text + "\"";
    if (const auto *b = std::get_if<bool>(&value))
        return *b ? "true" : "false";
    if (const auto *i = std::get_if<std::int32_t>(&value))
        return std::to_string(*i);
    return "undefined";
}

struct Check
{
    std::string where;  // file:line, for the test's name and messages
    std::string script; // the section down to the check's line
    std::string value;  // expected print, or
    int errorLine = 0;  // the expected error's line and text
    std::string error;
};

std::string trimmed(const std::string &s)
{
    const auto first = s.find_first_not_of(" \t");
    return first == std::string::npos ? "" : s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::vector<Check> allChecks()
{
    std::vector<fs::path> files;
    for (const char *folder : {"lang", "scripts"})
        for (const auto &entry : fs::directory_iterator(fs::path(VELMORA_TEST_DATA) / folder))
            if (entry.path().extension() == ".avs")
                files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<Check> checks;
    for (const fs::path &file : files) {
        std::ifstream in(file);
        std::string section;
        int number = 0;
        for (std::string line; std::getline(in, line);) {
            ++number;
            section = trimmed(line).empty() ? "" : section + line + "\n";
            Check c;
            c.where = file.stem().string() + "_" + std::to_string(number), c.script = section;
            if (const auto at = line.rfind("# => "); at != std::string::npos) {
                c.value = trimmed(line.substr(at + 5));
            } else if (const auto err = line.rfind("# error "); err != std::string::npos) {
                const std::string rest = line.substr(err + 8);
                c.errorLine = std::stoi(rest);
                c.error = trimmed(rest.substr(rest.find(':') + 1));
            } else {
                continue;
            }
            checks.push_back(c);
        }
    }
    return checks;
}

class ScriptFiles : public ::testing::TestWithParam<Check>
{
};

TEST_P(ScriptFiles, GiveTheValueOrErrorWrittenBesideThem)
{
    const Check &c = GetParam();
    engine::script::EvalContext context;
    context.scriptFolder = std::string(VELMORA_TEST_TMP) + "/";
    try {
        const std::string value = show(engine::script::evaluateScript(c.script, table(), context));
        EXPECT_TRUE(c.error.empty()) << "no error; the value is " << value << "\n" << c.script;
        if (c.error.empty()) {
            EXPECT_EQ(value, c.value) << c.script;
        }
    } catch (const engine::script::ScriptError &e) {
        const std::string what = e.what();
        ASSERT_FALSE(c.error.empty()) << what << "\n" << c.script;
        EXPECT_EQ(e.line(), c.errorLine) << what;
        EXPECT_EQ(what.rfind("Script error in line " + std::to_string(c.errorLine) + ": ", 0), 0u) << what;
        EXPECT_NE(what.find(c.error), std::string::npos) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(Data, ScriptFiles, ::testing::ValuesIn(allChecks()),
                         [](const auto &test) { return test.param.where; });

} // namespace
