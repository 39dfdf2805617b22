// The program killed during the second of three jobs: the next start's
// Continue converts jobs 2 and 3 and leaves job 1's output as it was.

#include "kvx_reader.h"
#include "settings/saved_list.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <span>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char **environ;

namespace {

namespace fs = std::filesystem;

// The driver with its standard output going to [out].
pid_t spawn(const std::vector<std::string> &args, const fs::path &out)
{
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

::testing::AssertionResult isCompleteKvx(const fs::path &file)
{
    const std::string bytes = support::readFile(file);
    if (bytes.size() <= kvx::kHeaderBytes)
        return ::testing::AssertionFailure() << file << " has " << bytes.size() << " bytes";
    const kvx::Header header = kvx::decodeHeader(std::span<const std::uint8_t, kvx::kHeaderBytes>(
        reinterpret_cast<const std::uint8_t *>(bytes.data()), kvx::kHeaderBytes));
    if (const auto problems = kvx::layoutProblems(header, bytes.size()); !problems.empty())
        return ::testing::AssertionFailure() << file << ": " << problems.front();
    return ::testing::AssertionSuccess();
}

timespec modified(const fs::path &file)
{
    struct stat info {};
    ::stat(file.c_str(), &info);
    return info.st_mtim;
}

TEST(KilledProgram, ContinueConvertsTheRestAndLeavesTheDoneOutputAlone)
{
    const fs::path root = support::scratchFolder();
    const fs::path program = root / "program", media = root / "media", output = root / "out";
    for (const fs::path &folder : {program, media, output})
        fs::create_directories(folder);
    fs::create_symlink(FAULT_LIBRARY_PATH, program / "libTarvikDll.so");
    std::vector<std::string> args{LIST_DRIVER_PATH, program.string(), output.string() + "/", VELMORA_WORKER_PATH,
                                  (program / "libTarvikDll.so").string()};
    // The second job's video pass hangs, which holds the batch there.
    for (const char *name : {"one.avi", "two-hang-video.avi", "three.avi"}) {
        support::writeFile(media / name, "");
        args.push_back((media / name).string());
    }
    const fs::path list = program / std::string(settings::kSavedListFileName);

    const pid_t first = spawn(args, root / "first.txt");
    ASSERT_GT(first, 0);
    bool underWay = false;
    for (int i = 0; i < 1200 && !underWay; ++i) {
        const std::string saved = support::readFile(list);
        underWay = saved.find("state=done") != std::string::npos &&
                   saved.find("state=converting") != std::string::npos;
        if (!underWay)
            ::usleep(50000);
    }
    ::kill(first, SIGKILL);
    ::waitpid(first, nullptr, 0);
    ASSERT_TRUE(underWay) << "the batch never reached the second job:\n" << support::readFile(list);

    const fs::path done = output / "one.kvx";
    const std::string bytes = support::readFile(done);
    const timespec stamp = modified(done);
    ASSERT_FALSE(fs::exists(output / "two-hang-video.kvx"));

    // The next start converts what is left, with no hang this time.
    ::setenv("VELMORA_FAULT_NO_HANG", "1", 1);
    const pid_t second = spawn({args.begin(), args.begin() + 5}, root / "second.txt");
    ::unsetenv("VELMORA_FAULT_NO_HANG");
    ASSERT_GT(second, 0);
    int status = 0;
    ::waitpid(second, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // Asked once; every job done in the end (3: JobState::Done).
    EXPECT_EQ(support::readFile(root / "second.txt"),
              "asked: The last list of 3 videos was not closed properly: 1 converted, 2 not yet. "
              "Continue converting the 2 videos?\njob 1: 3\njob 2: 3\njob 3: 3\n");
    EXPECT_EQ(support::readFile(done), bytes);
    EXPECT_EQ(std::pair(modified(done).tv_sec, modified(done).tv_nsec), std::pair(stamp.tv_sec, stamp.tv_nsec));
    for (const char *name : {"one.kvx", "two-hang-video.kvx", "three.kvx"})
        EXPECT_TRUE(isCompleteKvx(output / name));
    // A normal quit after the batch leaves no list behind.
    EXPECT_FALSE(fs::exists(list));
}

} // namespace
