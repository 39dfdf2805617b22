// The worker process and both clients over it, against a library that crashes,
// exits, hangs or babbles on demand (tests/support/fault_library.cpp).

#include "helper/helper_channel.h"
#include "helper/helper_encoder.h"
#include "helper/poll_loop.h"
#include "helper/protocol.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <thread>

#include <poll.h>
#include <sys/wait.h>

using namespace std::chrono_literals;

namespace {

// A script naming an input after [fault], as the script writer would, in
// the running test's folder.
std::string script(const std::string &fault)
{
    const auto *test = testing::UnitTest::GetInstance()->current_test_info();
    const auto folder = std::filesystem::path(VELMORA_TEST_TMP) / "helper" / test->name();
    std::filesystem::create_directories(folder);
    const auto path = folder / (fault + ".avs");
    support::writeFile(path, "DirectShowSource(\"/clips/" + fault + ".mp4\")\n");
    return path.string();
}

core::PassArgs pass(const std::string &scriptPath, int videoPass)
{
    return {scriptPath, scriptPath + ".out", 1000, 128, 44100, videoPass, 2};
}

// Everything a channel told, in order.
struct Recorder
{
    std::vector<std::string> events;
    std::vector<int> percents;
    std::string lost;

    core::EncoderChannel::Listener listener()
    {
        return {[this](int result, int frames, const std::string &error) {
                    events.push_back("opened " + std::to_string(result) + " " + std::to_string(frames) + " " + error);
                },
                [this](int percent, int) { percents.push_back(percent); },
                [this](int result, const std::string &error, const std::string &) {
                    events.push_back("closed " + std::to_string(result) + " " + error);
                },
                [this](const std::string &what) {
                    lost = what;
                    events.push_back("lost");
                }};
    }
};

bool running(pid_t pid)
{
    const std::string stat = support::readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z' && stat[close + 2] != 'X';
}

} // namespace

TEST(Protocol, WholeMessagesOnlyAndNothingAfterGarbage)
{
    const helper::Message picture{helper::Kind::Picture, {0, 2, -7}, {std::string("\0\xff\n", 3), "why"}};
    const std::string frame = helper::encode(picture) + helper::encode({helper::Kind::Alive, {}, {}});
    helper::Decoder decoder;
    for (std::size_t i = 0; i + 1 < frame.size() - 5; ++i) {
        decoder.feed(&frame[i], 1);
        ASSERT_FALSE(decoder.next()) << "a message from " << i + 1 << " bytes";
    }
    decoder.feed(&frame[frame.size() - 6], 6);
    const auto got = decoder.next();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->numbers, picture.numbers);
    EXPECT_EQ(got->texts, picture.texts);
    EXPECT_EQ(decoder.next()->kind, helper::Kind::Alive);
    EXPECT_FALSE(decoder.broken());

    const std::string cases[] = {
        std::string("\xff\xff\xff\x7f", 4),              // a length over the bound
        std::string("\x01\0\0\0\x40", 5),               // unknown kind
        std::string("\0\0\0\0", 4),                     // no kind
        std::string("\x06\0\0\0\x84\x01\0\0\0\0", 10),  // Progress short of a field
        std::string("\x09\0\0\0\x85\0\0\0\0\x09\0\0\0", 13), // Length's text longer than the frame
        std::string("\x02\0\0\0\x83\0", 6),             // Alive with a byte left over
    };
    for (const auto &bytes : cases) {
        helper::Decoder bad;
        bad.feed(bytes.data(), bytes.size());
        const std::string more = helper::encode({helper::Kind::Alive, {}, {}});
        bad.feed(more.data(), more.size());
        EXPECT_FALSE(bad.next());
        EXPECT_TRUE(bad.broken()) << testing::PrintToString(bytes);
    }
}

TEST(HelperChannel, FailsThePassOnAFaultAndServesTheNextWithAFreshWorker)
{
    helper::PollLoop loop;
    helper::HelperChannel channel(loop, WORKER_PATH, FAULT_LIBRARY_PATH, {2s, 1500ms});
    Recorder seen;
    channel.setListener(seen.listener());
    const auto wholePass = [&](const std::string &scriptPath, int videoPass) {
        seen = {};
        channel.open(pass(scriptPath, videoPass));
        ASSERT_TRUE(loop.runUntil([&] { return !seen.percents.empty() && seen.percents.back() >= 100; }, 5s));
        channel.close(2s);
        ASSERT_TRUE(loop.runUntil([&] { return seen.events.size() == 2; }, 5s));
        EXPECT_EQ(seen.events, (std::vector<std::string>{"opened 0 30 ", "closed 0 "}));
        EXPECT_EQ(seen.percents, (std::vector<int>{25, 50, 75, 100}));
    };
    // Faults come in the video pass only: the audio pass of the same script runs whole.
    wholePass(script("crash-video"), 0);

    struct Case
    {
        const char *fault;
        bool closeAtOnce; // close right after opened, bounded
        const char *what;
    };
    const Case cases[] = {
        {"crash-video", false, "segmentation fault"},
        {"exit-video", false, "it exited with status 3"},
        {"hang-video", false, "it stopped answering"},
        {"hang-video", true, "it stopped answering"},
        {"garbage-video", false, "it sent a damaged message"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fault + std::string(c.closeAtOnce ? " closed" : ""));
        seen = {};
        channel.open(pass(script(c.fault), 1));
        if (c.closeAtOnce) {
            ASSERT_TRUE(loop.runUntil([&] { return !seen.events.empty(); }, 5s));
            channel.close(300ms);
        }
        ASSERT_TRUE(loop.runUntil([&] { return !seen.lost.empty(); }, 5s));
        EXPECT_EQ(seen.lost, c.what);
        loop.runUntil([] { return false; }, 100ms);
        EXPECT_EQ(seen.events.back(), "lost") << "nothing comes after a loss";
        wholePass(script("healthy"), 1); // on a fresh worker
    }
}

TEST(HelperChannel, ShutdownOfAHungPassReturnsWithinItsBoundAndTellsNothing)
{
    helper::PollLoop loop;
    Recorder seen;
    {
        helper::HelperChannel channel(loop, WORKER_PATH, FAULT_LIBRARY_PATH, {2s, 1s});
        channel.setListener(seen.listener());
        channel.open(pass(script("hang-video"), 1));
        ASSERT_TRUE(loop.runUntil([&] { return !seen.events.empty(); }, 5s));
        const auto start = std::chrono::steady_clock::now();
        channel.shutdown(300ms);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        loop.runUntil([] { return false; }, 1500ms); // past the silence bound
    }
    EXPECT_EQ(seen.events, std::vector<std::string>{"opened 0 30 "});
}

TEST(HelperChannel, AMissingWorkerFileFailsTheOpenWithTheSentence)
{
    helper::PollLoop loop;
    helper::HelperChannel channel(loop, "/nonexistent/velmora-worker", FAULT_LIBRARY_PATH);
    Recorder seen;
    channel.setListener(seen.listener());
    channel.open(pass(script("healthy"), 1));
    ASSERT_TRUE(loop.runUntil([&] { return !seen.events.empty(); }, 2s));
    EXPECT_EQ(seen.events[0], "opened -1 0 The helper program \"/nonexistent/velmora-worker\" is missing or cannot be "
                              "run (No such file or directory). Build the program again with ./scripts/build.sh.");
}

TEST(HelperEncoder, ProbesFailOnAFaultAndRecoverWithAFreshWorker)
{
    struct Case
    {
        const char *fault;
        std::int32_t seconds;
        const char *error;
    };
    const Case cases[] = {
        {"healthy", 5, ""},
        {"crash-probe", 0, "The encoder stopped unexpectedly (segmentation fault)."},
        {"hang-probe", 0, "The encoder stopped unexpectedly (it stopped answering)."},
    };
    helper::HelperEncoder encoder(WORKER_PATH, FAULT_LIBRARY_PATH, {1s, 1s, 1s});
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fault);
        EXPECT_EQ(encoder.getFrame(script(c.fault)), c.seconds);
        EXPECT_EQ(encoder.lastError(), c.error);
        EXPECT_EQ(encoder.getFrame(script("healthy")), 5);
    }

    helper::HelperEncoder unloadable(WORKER_PATH, "/nonexistent/libTarvikDll.so");
    EXPECT_EQ(unloadable.getFrame(script("healthy")), 0);
    EXPECT_EQ(unloadable.lastError().rfind("The encoder library \"/nonexistent/libTarvikDll.so\" cannot be loaded: ", 0),
              0u) << unloadable.lastError();

    helper::HelperEncoder missing("/nonexistent/velmora-worker", FAULT_LIBRARY_PATH);
    EXPECT_EQ(missing.begin(script("healthy"), "/tmp/x", 1, 1, 1, 1, 1), -1);
    EXPECT_EQ(missing.lastError(), helper::helperProgramProblem("/nonexistent/velmora-worker"));
}

TEST(HelperEncoder, BlockingPassesAndPreviews)
{
    helper::HelperEncoder encoder(WORKER_PATH, FAULT_LIBRARY_PATH);
    EXPECT_EQ(encoder.end(), 0) << "no pass, no worker needed";
    const std::string healthy = script("healthy");
    ASSERT_EQ(encoder.begin(healthy, healthy + ".out", 1000, 128, 44100, 1, 2), 0);
    EXPECT_EQ(encoder.frame(), 30);
    std::vector<int> seen;
    for (int i = 0; i < 500 && (seen.empty() || seen.back() < 100); ++i, ::usleep(10000)) {
        if (const int percent = encoder.encoding(); seen.empty() || percent != seen.back())
            seen.push_back(percent);
    }
    EXPECT_EQ(seen, (std::vector<int>{25, 50, 75, 100}));
    EXPECT_EQ(encoder.leftTime(), 3);
    EXPECT_EQ(encoder.end(), 0);

    std::string error;
    EXPECT_EQ(encoder.previewFrames(healthy, error), 10);
    std::vector<std::uint8_t> rgb;
    std::int32_t width = 0;
    std::int32_t height = 0;
    ASSERT_EQ(encoder.preview(healthy, 3, rgb, width, height, error), 0) << error;
    EXPECT_EQ(rgb, (std::vector<std::uint8_t>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(encoder.preview(healthy, 10, rgb, width, height, error), -1);

    const std::string crashing = script("crash-video");
    ASSERT_EQ(encoder.begin(crashing, crashing + ".out", 1000, 128, 44100, 1, 2), 0);
    EXPECT_EQ(encoder.encoding(), 100);
    EXPECT_EQ(encoder.lastError(), "The encoder stopped unexpectedly (segmentation fault).");
    EXPECT_EQ(encoder.end(), -1) << "a lost pass did not complete";
    EXPECT_EQ(encoder.previewFrames(healthy, error), 10) << "a fresh worker";
}

TEST(HelperEncoder, AbortCutsAHungCallShortFromAnotherThread)
{
    helper::HelperEncoder encoder(WORKER_PATH, FAULT_LIBRARY_PATH);
    std::jthread aborter([&] {
        ::usleep(200000);
        encoder.abort();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(encoder.getFrame(script("hang-probe")), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(encoder.lastError(), "The encoder call was cut short.");
    EXPECT_EQ(encoder.getFrame(script("healthy")), 5);
}

// Killed while its worker is stuck inside the library, as a crashed window
// would be: the hardest moment for a worker to notice its program has gone.
TEST(HelperProcess, TheWorkerDiesWithItsParent)
{
    const std::string stuck = script("hang-video");
    int told[2];
    ASSERT_EQ(::pipe(told), 0);
    const pid_t parent = ::fork();
    if (parent == 0) {
        helper::HelperProcess worker;
        std::string error;
        std::optional<helper::Message> opened;
        if (worker.start(WORKER_PATH, FAULT_LIBRARY_PATH, error))
            worker.send({helper::Kind::Begin, {256, 128, 32000, 1, 1}, {stuck, stuck + ".m1v"}});
        for (int i = 0; i < 200 && !opened && worker.fd() >= 0; ++i) {
            pollfd in{worker.fd(), POLLIN, 0};
            ::poll(&in, 1, 50);
            worker.read();
            opened = worker.next();
        }
        const pid_t pid = opened && opened->kind == helper::Kind::Opened ? worker.pid() : 0;
        if (::write(told[1], &pid, sizeof pid) != ssize_t(sizeof pid))
            ::_exit(1);
        for (;;)
            ::pause();
    }
    ::close(told[1]);
    pid_t worker = 0;
    const bool toldPid = ::read(told[0], &worker, sizeof worker) == ssize_t(sizeof worker);
    ::close(told[0]);
    const bool wasRunning = toldPid && worker > 0 && running(worker);
    ::kill(parent, SIGKILL);
    ::waitpid(parent, nullptr, 0);
    ASSERT_TRUE(wasRunning) << "the stand-in parent never had its worker stuck in a pass";
    for (int i = 0; i < 40 && running(worker); ++i)
        ::usleep(50000);
    EXPECT_FALSE(running(worker));
}
