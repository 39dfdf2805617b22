// The built velmora-cli end to end: its exit statuses, and a real conversion
// of good clips with a bad file among them.

#include "cli/cli_options.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

struct Outcome
{
    int status = -1;
    std::string out;
};

Outcome runCli(const std::string &args)
{
    Outcome outcome;
    int raw = 0;
    outcome.out = support::run(std::string(CLI_PATH) + " " + args, &raw);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return outcome;
}

struct StatusCase
{
    std::string args;
    int status;
};

TEST(CliProgram, ExitStatusesOfUsageAndMissingInput)
{
    const auto folder = support::scratchFolder();
    const std::string out = " -o '" + folder.string() + "'";
    const std::vector<StatusCase> cases{
        {"", cli::kExitUsage},
        {"--hue 500 a.mp4", cli::kExitUsage},
        {"--what a.mp4", cli::kExitUsage},
        {"--preset no-such-preset a.mp4", cli::kExitUsage},
        {"--help", cli::kExitConverted},
        {"--version", cli::kExitConverted},
        {out + " '" + (folder / "missing.mp4").string() + "'", cli::kExitSomeFailed},
        {out + " '" + folder.string() + "'", cli::kExitSomeFailed},
    };
    for (const StatusCase &c : cases)
        EXPECT_EQ(runCli(c.args).status, c.status) << c.args;
}

TEST(CliProgram, ConvertsTheGoodClipsAndNamesTheBadOneWithItsReason)
{
    const auto folder = support::scratchFolder();
    const std::string card = support::testCard(160, 120, 15, 1.0);
    const std::string first = support::media("cli-one.mp4", card + support::kH264);
    const std::string second = support::media("cli-two.mkv", card + " -c:v mpeg4 -c:a mp2");
    const auto bad = folder / "broken.mp4";
    support::writeFile(bad, "this is no video at all\n");

    const Outcome run = runCli("--json -o '" + folder.string() + "' '" + first + "' '" + bad.string() + "' '" +
                               second + "'");
    EXPECT_EQ(run.status, cli::kExitSomeFailed) << run.out;
    for (const std::string &clip : {first, second}) {
        const auto kvx = folder / (std::filesystem::path(clip).stem().string() + ".kvx");
        ASSERT_TRUE(std::filesystem::exists(kvx)) << run.out;
        EXPECT_EQ(support::readFile(kvx).substr(0, 4), "KVX0");
        EXPECT_NE(run.out.find("{\"event\":\"done\",\"file\":\"" + clip + "\",\"output\":\"" + kvx.string() + "\""),
                  std::string::npos)
            << run.out;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "broken.kvx"));
    EXPECT_NE(run.out.find("{\"event\":\"failed\",\"file\":\"" + bad.string() + "\",\"reason\":\"Script error"),
              std::string::npos)
        << run.out;
    // Standard output holds JSON lines only.
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(line.starts_with("{\"event\":") && line.ends_with("}")) << line;
    EXPECT_FALSE(support::temporariesIn(std::filesystem::path(CLI_PATH).parent_path()));
}

TEST(CliProgram, TwoAtATimeGiveTheSameOutputsAsOneAtATime)
{
    const auto folder = support::scratchFolder();
    const std::string card = support::testCard(160, 120, 15, 1.0);
    const std::vector<std::string> clips{support::media("cli-one.mp4", card + support::kH264),
                                         support::media("cli-two.mkv", card + " -c:v mpeg4 -c:a mp2"),
                                         support::media("cli-three.mp4", support::testCard(176, 144, 25, 2.0) +
                                                                             support::kH264)};
    std::string inputs;
    for (const std::string &clip : clips)
        inputs += " '" + clip + "'";
    std::map<std::string, std::map<std::string, std::string>> outputs; // jobs -> file -> bytes
    for (const std::string jobs : {"1", "2", "3"}) {
        const auto out = folder / jobs;
        std::filesystem::create_directories(out);
        const Outcome run = runCli("--jobs " + jobs + " -o '" + out.string() + "'" + inputs);
        EXPECT_EQ(run.status, cli::kExitConverted) << run.out;
        for (const auto &entry : std::filesystem::directory_iterator(out))
            outputs[jobs][entry.path().filename().string()] = support::readFile(entry.path());
    }
    EXPECT_EQ(outputs["1"].size(), clips.size());
    EXPECT_EQ(outputs["2"], outputs["1"]);
    EXPECT_EQ(outputs["3"], outputs["1"]);
}

TEST(CliProgram, CheckOnlyConvertsNothingAndSaysWhetherEachFileCouldBe)
{
    const auto folder = support::scratchFolder();
    const std::string clip = support::media("cli-one.mp4", support::testCard(160, 120, 15, 1.0) + support::kH264);
    const std::vector<StatusCase> cases{
        {"--check -o '" + folder.string() + "' '" + clip + "'", cli::kExitConverted},
        {"--check -o '" + (folder / "missing").string() + "' '" + clip + "'", cli::kExitSomeFailed},
        {"--check --start 5 -o '" + folder.string() + "' '" + clip + "'", cli::kExitSomeFailed},
    };
    for (const StatusCase &c : cases) {
        const Outcome run = runCli(c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.out;
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST(CliProgram, TwoInputsForOneOutputConvertTheFirstOnly)
{
    const auto folder = support::scratchFolder();
    const std::string clip = support::media("cli-one.mp4", support::testCard(160, 120, 15, 1.0) + support::kH264);
    std::filesystem::create_directories(folder / "other");
    const auto same = folder / "other" / (std::filesystem::path(clip).stem().string() + ".mp4");
    std::filesystem::copy_file(clip, same);

    const Outcome run = runCli("-o '" + folder.string() + "' '" + clip + "' '" + same.string() + "'");
    EXPECT_EQ(run.status, cli::kExitSomeFailed) << run.out;
    EXPECT_NE(run.out.find("again"), std::string::npos) << run.out;
}

// A running velmora-cli whose standard output is read line by line.
class Running
{
public:
    explicit Running(const std::vector<std::string> &args, const std::string &program = CLI_PATH)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        m_out = fdopen(fds[0], "r");
    }
    ~Running()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            waitStatus();
        }
        if (m_out != nullptr)
            std::fclose(m_out);
    }
    Running(const Running &) = delete;
    Running &operator=(const Running &) = delete;

    // The next line; empty at the end.
    std::string line()
    {
        std::string text;
        for (int c; m_out != nullptr && (c = std::fgetc(m_out)) != EOF;) {
            text += static_cast<char>(c);
            if (c == '\n')
                break;
        }
        return text;
    }
    void signal(int number) { ::kill(m_pid, number); }
    // Whether the program has started a process of its own (its first helper).
    bool hasChild() const
    {
        const std::string pid = std::to_string(m_pid);
        return !support::readFile("/proc/" + pid + "/task/" + pid + "/children").empty();
    }
    int waitStatus()
    {
        int raw = 0;
        if (m_pid <= 0 || ::waitpid(m_pid, &raw, 0) != m_pid)
            return -1;
        m_pid = -1;
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

private:
    pid_t m_pid = -1;
    FILE *m_out = nullptr;
};

TEST(CliProgram, AnInterruptDuringAPassStopsAtOnceKeepingEarlierOutputs)
{
    const auto folder = support::scratchFolder();
    const std::string shortClip =
        support::media("cli-one.mp4", support::testCard(160, 120, 15, 1.0) + support::kH264);
    const std::string longClip =
        support::media("cli-long.mp4", support::testCard(160, 120, 15, 900.0) + support::kH264);

    for (const int number : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(number);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        Running cli({"--json", "-o", folder.string(), shortClip, longClip, shortClip + ".never"});
        // Interrupted as soon as the long clip's first pass has begun.
        std::string seen;
        for (std::string line = cli.line(); !line.empty(); line = cli.line()) {
            seen += line;
            if (line.find("\"started\",\"file\":\"" + longClip + "\"") != std::string::npos) {
                cli.signal(number);
                break;
            }
        }
        while (true) {
            const std::string line = cli.line();
            if (line.empty())
                break;
            seen += line;
        }
        EXPECT_EQ(cli.waitStatus(), cli::kExitInterrupted) << seen;
        EXPECT_TRUE(std::filesystem::exists(folder / (std::filesystem::path(shortClip).stem().string() + ".kvx")));
        // Nothing but the earlier output: no half-written .kvx, no temporary file.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << seen;
        EXPECT_FALSE(support::temporariesIn(std::filesystem::path(CLI_PATH).parent_path()));
        EXPECT_NE(seen.find("\"stopped\",\"file\":\"" + longClip + "\""), std::string::npos) << seen;
    }
}

// A program folder whose encoder library is the fault library: the copy's own
// folder is where it looks for its helper and library.
std::string faultyProgram(const std::filesystem::path &folder)
{
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    fs::copy_file(CLI_PATH, folder / "velmora-cli");
    fs::create_symlink(fs::path(CLI_PATH).parent_path() / "velmora-worker", folder / "velmora-worker");
    fs::create_symlink(FAULT_LIBRARY_PATH, folder / "libTarvikDll.so");
    return (folder / "velmora-cli").string();
}

TEST(CliProgram, AnInterruptDuringAProbeThatHangsStopsIt)
{
    const auto folder = support::scratchFolder();
    const std::string program = faultyProgram(folder / "program");
    const auto hanging = folder / "clip-hang-probe.mp4";
    const auto next = folder / "next.mp4";
    support::writeFile(hanging, "the library never answers for this one\n");
    support::writeFile(next, "\n");

    for (const int number : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(number);
        Running cli({"-o", folder.string(), hanging.string(), next.string()}, program);
        // The helper starts with the first probe, and that one hangs.
        while (!cli.hasChild())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        cli.signal(number);
        std::string seen;
        for (std::string line = cli.line(); !line.empty(); line = cli.line())
            seen += line;
        EXPECT_EQ(cli.waitStatus(), cli::kExitInterrupted) << seen;
        // Stopped by the interrupt, not failed at the probe's deadline.
        EXPECT_NE(seen.find("stopped   " + hanging.string() + ": interrupted"), std::string::npos) << seen;
        EXPECT_EQ(seen.find("skipped"), std::string::npos) << seen;
        EXPECT_FALSE(std::filesystem::exists(folder / "next.kvx"));
    }
}

} // namespace
