// The built velmora-cli end to end: its exit statuses, and a real conversion
// of good clips with a bad file among them.

#include "cli/cli_options.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

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

} // namespace
