// The window hands its run the sleep lock main gives it: held while the
// batch converts, let go however it ends, and a lock that cannot be had
// logged once while the batch converts anyway.

#include "window_fixture.h"

#include "convert/keep_awake.h"

#include <QMetaObject>

namespace {

class FakeKeepAwake final : public core::KeepAwake
{
public:
    std::string refusal; // acquire()'s answer
    bool held = false;
    int acquired = 0;
    std::string why;

    std::string acquire(const std::string &reason) override
    {
        ++acquired, why = reason;
        held = refusal.empty();
        return refusal;
    }
    void release() override { held = false; }
};

class KeepAwakeWindow : public WindowTest
{
protected:
    KeepAwakeWindow() { window->setKeepAwake(&lock); }
    ~KeepAwakeWindow() override { window.reset(); } // the lock outlives the window, as in main

    FakeKeepAwake lock;
};

TEST_F(KeepAwakeWindow, HeldThroughTheBatchAndLetGoAtItsEnd)
{
    addVideos(2);
    std::vector<bool> held;
    encoder.onPoll = [&](int, int poll) {
        if (poll == 0)
            held.push_back(lock.held);
    };
    runBatch();
    EXPECT_EQ(held, std::vector<bool>(4, true)); // two passes per video
    EXPECT_EQ(lock.acquired, 1);
    EXPECT_EQ(lock.why, "Converting 2 videos");
    EXPECT_FALSE(lock.held);
}

TEST_F(KeepAwakeWindow, ClosingTheWindowMidBatchLetsItGo)
{
    addVideos(2);
    encoder.onPoll = [&](int pass, int poll) {
        if (pass == 1 && poll == 0)
            QMetaObject::invokeMethod(window.get(), [this] { window->close(); }, Qt::QueuedConnection);
    };
    runBatch();
    EXPECT_TRUE(window->closing());
    EXPECT_EQ(lock.acquired, 1);
    EXPECT_FALSE(lock.held);
}

TEST_F(KeepAwakeWindow, ALockThatCannotBeHadIsLoggedOnceAndTheBatchConverts)
{
    lock.refusal = "logind is not running on the system bus";
    addVideos(2);
    runBatch();
    EXPECT_TRUE(support::fs::exists(output / "v000.kvx"));
    EXPECT_TRUE(support::fs::exists(output / "v001.kvx"));
    window->runLog().flush();
    const std::string log = support::readFile(window->runLog().path());
    const std::string line = std::string(core::kMaySleepText) + lock.refusal;
    const auto first = log.find(line);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(line, first + 1), std::string::npos) << log;
}

} // namespace
