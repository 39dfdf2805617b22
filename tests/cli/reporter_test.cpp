// The command line's report on a terminal, read back as the terminal shows
// it: the lines of the files' starts and ends stay, and below them one line
// per running file is redrawn in place until the final table takes its place.

#include "cli/reporter.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

namespace {

// The screen a terminal shows for [bytes], with the cursor movements the
// report uses (the lines are long enough never to wrap).
std::vector<std::string> screen(const std::string &bytes)
{
    std::vector<std::string> lines(1);
    std::size_t row = 0;
    std::size_t col = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\n') {
            if (++row == lines.size())
                lines.emplace_back();
            col = 0;
        } else if (c == '\r') {
            col = 0;
        } else if (c == '\033') {
            // Only "n lines up" and "clear to the end of the screen" are used.
            const std::size_t end = bytes.find_first_of("AJ", i);
            if (bytes[end] == 'A') {
                const std::size_t up = std::stoul(bytes.substr(i + 2, end - i - 2));
                EXPECT_LE(up, row) << "above the screen";
                row -= std::min(up, row);
            } else {
                lines[row].resize(std::min(col, lines[row].size()));
                lines.resize(row + 1);
            }
            i = end;
        } else {
            if (lines[row].size() <= col)
                lines[row].resize(col + 1, ' ');
            lines[row][col++] = c;
        }
    }
    if (lines.back().empty())
        lines.pop_back();
    return lines;
}

cli::FileResult file(const std::string &name, cli::FileResult::State state = cli::FileResult::State::Failed)
{
    cli::FileResult result;
    result.file = name;
    result.state = state;
    result.output = "/out/" + name + ".kvx";
    result.reason = "broken";
    return result;
}

struct Step
{
    std::function<void(cli::Reporter &)> event;
    std::vector<std::string> shown; // the screen after it
};

TEST(CliReporter, OnATerminalEachRunningFileHasALineUpdatedInPlace)
{
    std::ostringstream out, err;
    cli::Reporter reporter(false, true, 60, out, err);
    const std::string a = "started   a.mp4", b = "started   b.mp4";
    const std::string aDone = "done      a.mp4 -> /out/a.mp4.kvx (0 bytes)";
    const std::string aPass = "a.mp4  pass 2 5% 00:00:09 left", bPass = "b.mp4  pass 1 30% 00:01:00 left";
    const std::string longName = "a-much-longer-name-than-the-terminal-is-wide-so-it-is-cut.mp4";
    const std::vector<Step> steps{
        {[](auto &r) { r.started(file("a.mp4")); }, {a, "a.mp4  starting"}},
        {[](auto &r) { r.started(file("b.mp4")); }, {a, b, "a.mp4  starting", "b.mp4  starting"}},
        {[](auto &r) { r.progress(file("b.mp4"), 1, 30, "00:01:00"); }, {a, b, "a.mp4  starting", bPass}},
        {[](auto &r) { r.progress(file("a.mp4"), 2, 5, "00:00:09"); }, {a, b, aPass, bPass}},
        {[](auto &r) { r.note("a note on standard error"); }, {a, b, aPass, bPass}},
        {[](auto &r) { r.ended(file("a.mp4", cli::FileResult::State::Converted)); }, {a, b, aDone, bPass}},
        // The lines of events keep their length; the running files' are cut to the width.
        {[&](auto &r) { r.started(file(longName)); },
         {a, b, aDone, "started   " + longName, bPass, "...ame-than-the-terminal-is-wide-so-it-is-cut.mp4  starting"}},
        {[](auto &r) { r.tableStream() << "the table\n"; }, {a, b, aDone, "started   " + longName, "the table"}},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        steps[i].event(reporter);
        EXPECT_EQ(screen(out.str()), steps[i].shown) << "after step " << i;
    }
    EXPECT_EQ(err.str(), "a note on standard error\n");
}

TEST(CliReporter, NotOnATerminalEachEventIsALineOfItsOwn)
{
    std::ostringstream out, err;
    cli::Reporter reporter(false, false, 0, out, err);
    reporter.started(file("a.mp4"));
    reporter.progress(file("a.mp4"), 1, 30, "00:01:00");
    reporter.progress(file("a.mp4"), 1, 60, "00:00:30");
    reporter.ended(file("a.mp4"));
    EXPECT_EQ(out.str(), "started   a.mp4\n"
                         "progress  a.mp4 pass 1 30% 00:01:00 left\n"
                         "progress  a.mp4 pass 1 60% 00:00:30 left\n"
                         "failed    a.mp4: broken\n");
}

} // namespace
