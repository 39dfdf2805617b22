// The built velmora-cli end to end: its exit statuses, a real conversion of
// good clips with bad files among them, and its stop on a signal.

#include "cli/cli_options.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <thread>

namespace {

namespace fs = std::filesystem;

// The exit status (-1: killed) and standard output of a run that has ended.
std::pair<int, std::string> runCli(const std::string &args)
{
    int raw = 0;
    std::string out = support::run(std::string(CLI_PATH) + " " + args, &raw);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out};
}

// The words for the shell, each quoted, after a space.
std::string quoted(const std::vector<fs::path> &words)
{
    std::string text;
    for (const fs::path &word : words)
        text += " '" + word.string() + "'";
    return text;
}

TEST(CliProgram, ExitStatusesOfUsageHelpVersionAndCheck)
{
    const auto folder = support::scratchFolder();
    const std::string clip = support::media("cli-one.mp4", support::testCard(160, 120, 15, 1.0) + support::kH264);
    const std::string check = " -o" + quoted({folder, clip});
    const std::vector<std::pair<std::string, int>> cases{
        {"--what a.mp4", cli::kExitUsage},
        {"--preset no-such-preset a.mp4", cli::kExitUsage},
        {"--help", cli::kExitConverted},
        {"--version", cli::kExitConverted},
        {"--check" + check, cli::kExitConverted},
        {"--check --start 5" + check, cli::kExitSomeFailed}, // the one-second clip has no fifth second
    };
    for (const auto &[args, status] : cases)
        EXPECT_EQ(runCli(args).first, status) << args;
    // The check converts nothing.
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST(CliProgram, OneOrTwoAtATimeConvertTheGoodFilesAlikeAndNameEachBadOne)
{
    const auto folder = support::scratchFolder();
    const std::string first = support::media("cli-one.mp4", support::testCard(160, 120, 15, 1.0) + support::kH264);
    // Another size, rate and codec: runs side by side that shared a file's values would show.
    const std::string second =
        support::media("cli-two.mkv", support::testCard(176, 144, 25, 2.0) + " -c:v mpeg4 -c:a mp2");
    const fs::path bad = folder / "broken.mp4";
    support::writeFile(bad, "this is no video at all\n");
    // Another file of the first's name, whose output would overwrite the first's.
    const fs::path again = folder / "other" / fs::path(first).filename();
    fs::create_directories(again.parent_path());
    fs::copy_file(first, again);
    const std::vector<fs::path> failing{bad, folder / "missing.mp4", folder, again};
    const std::string inputs = quoted({first, bad, folder / "missing.mp4", folder, again, second});

    std::map<std::string, std::string> outputs[2]; // file name -> bytes
    for (const int jobs : {1, 2}) {
        SCOPED_TRACE(jobs);
        const fs::path out = folder / std::to_string(jobs);
        fs::create_directories(out);
        const auto [status, json] = runCli("--json --jobs " + std::to_string(jobs) + " -o" + quoted({out}) + inputs);
        EXPECT_EQ(status, cli::kExitSomeFailed) << json;
        for (const std::string &clip : {first, second}) {
            const fs::path kvx = out / (fs::path(clip).stem().string() + ".kvx");
            EXPECT_NE(json.find("{\"event\":\"done\",\"file\":\"" + clip + "\",\"output\":\"" + kvx.string() + "\""),
                      std::string::npos)
                << json;
        }
        for (const fs::path &file : failing)
            EXPECT_NE(json.find("{\"event\":\"failed\",\"file\":\"" + file.string() + "\""), std::string::npos) << json;
        EXPECT_NE(json.find(bad.string() + "\",\"reason\":\"Script error"), std::string::npos) << json;
        EXPECT_NE(json.find(again.string() + "\",\"reason\":\"would write"), std::string::npos) << json;
        // Standard output holds JSON lines only.
        std::istringstream lines(json);
        for (std::string line; std::getline(lines, line);)
            EXPECT_TRUE(line.starts_with("{\"event\":") && line.ends_with("}")) << line;
        for (const auto &entry : fs::directory_iterator(out))
            outputs[jobs - 1][entry.path().filename().string()] = support::readFile(entry.path());
        EXPECT_EQ(outputs[jobs - 1].size(), 2u);
        for (const auto &[name, bytes] : outputs[jobs - 1])
            EXPECT_EQ(bytes.substr(0, 4), "KVX0") << name;
    }
    EXPECT_EQ(outputs[1], outputs[0]);
    EXPECT_FALSE(support::temporariesIn(fs::path(CLI_PATH).parent_path()));
}

// Runs [command], whose first line is its process id: the shell's, which
// hands it on by exec. Sends it [number] once [ready] holds (asked after each
// line, with the output so far), and gives its exit status and output.
std::pair<int, std::string> interrupt(const std::string &command, int number,
                                      const std::function<bool(pid_t, const std::string &)> &ready)
{
    FILE *out = popen(("echo $$; exec " + command).c_str(), "r");
    std::string seen;
    pid_t pid = 0;
    bool sent = false;
    for (int c; out != nullptr && (c = std::fgetc(out)) != EOF;) {
        seen += static_cast<char>(c);
        if (c == '\n' && pid == 0)
            pid = std::stoi(std::exchange(seen, ""));
        if (c == '\n' && pid > 0 && !sent && ready(pid, seen))
            sent = ::kill(pid, number) == 0;
    }
    const int raw = out == nullptr ? -1 : pclose(out);
    EXPECT_TRUE(sent) << seen;
    return {raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, seen};
}

TEST(CliProgram, AnInterruptDuringAPassStopsAtOnceKeepingEarlierOutputs)
{
    const auto folder = support::scratchFolder();
    const std::string shortClip = support::media("cli-one.mp4", support::testCard(160, 120, 15, 1.0) + support::kH264);
    const std::string longClip =
        support::media("cli-long.mp4", support::testCard(160, 120, 15, 900.0) + support::kH264);
    // Interrupted as soon as the long clip's first pass has begun.
    const auto [status, seen] =
        interrupt(std::string(CLI_PATH) + " --json -o" + quoted({folder, shortClip, longClip, shortClip + ".never"}),
                  SIGINT, [&](pid_t, const std::string &sofar) {
                      return sofar.find("\"started\",\"file\":\"" + longClip + "\"") != std::string::npos;
                  });
    EXPECT_EQ(status, cli::kExitInterrupted) << seen;
    EXPECT_TRUE(fs::exists(folder / (fs::path(shortClip).stem().string() + ".kvx")));
    // Nothing but the earlier output: no half-written .kvx, no temporary file.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1) << seen;
    EXPECT_FALSE(support::temporariesIn(fs::path(CLI_PATH).parent_path()));
    EXPECT_NE(seen.find("\"stopped\",\"file\":\"" + longClip + "\""), std::string::npos) << seen;
}

TEST(CliProgram, ATerminationDuringAProbeThatHangsStopsIt)
{
    const auto folder = support::scratchFolder();
    // A copy of the program looks beside itself for its helper and library:
    // here the fault library, which never answers the probe of this file.
    const fs::path program = folder / "program";
    fs::create_directories(program);
    fs::copy_file(CLI_PATH, program / "velmora-cli");
    fs::create_symlink(fs::path(CLI_PATH).parent_path() / "velmora-worker", program / "velmora-worker");
    fs::create_symlink(FAULT_LIBRARY_PATH, program / "libTarvikDll.so");
    const auto hanging = folder / "clip-hang-probe.mp4";
    support::writeFile(hanging, "the library never answers for this one\n");
    support::writeFile(folder / "next.mp4", "\n");

    // The helper starts with the first probe, and that one hangs.
    const auto [status, seen] = interrupt(
        (program / "velmora-cli").string() + " -o" + quoted({folder, hanging, folder / "next.mp4"}), SIGTERM,
        [](pid_t pid, const std::string &) {
            const std::string id = std::to_string(pid);
            while (support::readFile("/proc/" + id + "/task/" + id + "/children").empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return true;
        });
    EXPECT_EQ(status, cli::kExitInterrupted) << seen;
    // Stopped by the termination, not failed at the probe's deadline.
    EXPECT_NE(seen.find("stopped   " + hanging.string() + ": interrupted"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("skipped"), std::string::npos) << seen;
    EXPECT_FALSE(fs::exists(folder / "next.kvx"));
}

} // namespace
