// The list kept in "Velmora.list" while it is not empty, and the question at
// the next start when the program did not end normally.

#include "window_fixture.h"

#include "settings/saved_list.h"

#include <QScrollBar>

#include <algorithm>

namespace {

class RestoreTest : public WindowTest
{
protected:
    support::fs::path listFile() const { return program / std::string(settings::kSavedListFileName); }
    bool saved(const std::string &part) const { return support::readFile(listFile()).find(part) != std::string::npos; }
    const support::fs::path firstKvx = output / "v000.kvx";

    // Three jobs: the first done, the second converting, the third waiting,
    // the second with its own hue; then the window goes without closing, as
    // in a crash.
    void crashDuringTheSecond()
    {
        addVideos(3);
        window->selectJob(1);
        bar("HScrollHue")->setValue(-120);
        support::writeFile(firstKvx, "the first job's output");
        window->showJobState(0, core::JobStatus::done(22, 60));
        window->showJobState(1, core::JobStatus::converting(1));
        window->showJobState(2, core::JobStatus::waiting());
        waitUntil([this] { return saved("state=converting") && saved("HScrollHue=-120"); });
        window.reset();
    }
};

TEST_F(RestoreTest, TheQuestionAfterACrashContinuesRestoresOrDiscards)
{
    using S = core::JobState;
    // The button, then the states once the window has settled.
    const std::pair<int, std::vector<S>> answers[] = {
        {0, {S::Done, S::Done, S::Done}}, {1, {S::Done, S::Interrupted, S::Waiting}}, {2, {}}};
    for (const auto &[button, states] : answers) {
        SCOPED_TRACE(button);
        const bool converts = button == 0;
        window = open();
        edit("OutputText")->setText(qs(output.string() + "/"));
        crashDuringTheSecond();
        const auto before = support::fs::last_write_time(firstKvx);
        prompter.threeAnswers = {button};
        prompter.threeButtons.clear();
        encoder.passesBegun = 0;

        window = open();
        EXPECT_TRUE(prompter.threeButtons.empty()) << "asked while the window was being made";
        waitUntil([this] { return !prompter.threeButtons.empty(); });
        waitUntil([this] { return !window->converting(); });
        EXPECT_TRUE(std::any_of(prompter.questions.begin(), prompter.questions.end(), [](const support::Message &m) {
            return m.text == "The last list of 3 videos was not closed properly: 1 converted, 2 not yet. "
                             "Continue converting the 2 videos?";
        }));
        EXPECT_EQ(prompter.threeButtons.back(),
                  (QStringList{QStringLiteral("Continue"), QStringLiteral("Restore the list"),
                               QStringLiteral("Discard")}));
        std::vector<S> shown;
        for (int i = 0; i < window->jobs().count(); ++i)
            shown.push_back(window->jobState(i));
        EXPECT_EQ(shown, states);
        EXPECT_EQ(encoder.passesBegun, converts ? 4 : 0);
        // The done job's output is never written again.
        EXPECT_EQ(support::readFile(firstKvx), "the first job's output");
        EXPECT_EQ(support::fs::last_write_time(firstKvx), before);
        if (button == 2) {
            EXPECT_FALSE(support::fs::exists(listFile()));
        } else {
            EXPECT_EQ(record(1).hue, -120);
            EXPECT_EQ(titles(), (QStringList{QStringLiteral("v000.avi"), QStringLiteral("v001.avi"),
                                             QStringLiteral("v002.avi")}));
            // Kept again from here on.
            waitUntil([&] { return saved(converts ? "state=done" : "state=interrupted"); });
        }
        window->close();
        prompter.questions.clear();
    }
}

// (That a Quit leaves no list is checked end to end, over the real helpers.)
TEST_F(RestoreTest, AnEmptiedListLeavesNoList)
{
    addVideos(1);
    waitUntil([this] { return support::fs::exists(listFile()); });
    window->selectJob(0);
    window->removeSelectedJob();
    waitUntil([this] { return !support::fs::exists(listFile()); });
}

} // namespace
