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
    std::vector<core::JobState> states() const
    {
        std::vector<core::JobState> all;
        for (int i = 0; i < window->jobs().count(); ++i)
            all.push_back(window->jobState(i));
        return all;
    }
    support::fs::path kvx(int i) const { return output / ("v00" + std::to_string(i) + ".kvx"); }

    // Three jobs: the first done, the second converting, the third waiting,
    // the second with its own hue; then the window goes without closing, as
    // in a crash.
    void crashDuringTheSecond()
    {
        addVideos(3);
        window->selectJob(1);
        bar("HScrollHue")->setValue(-120);
        support::writeFile(kvx(0), "the first job's output");
        window->showJobState(0, core::JobStatus::done(22, 60));
        window->showJobState(1, core::JobStatus::converting(1));
        window->showJobState(2, core::JobStatus::waiting());
        waitUntil([this] { return saved("state=converting") && saved("HScrollHue=-120"); });
        window.reset();
    }
};

struct Answer
{
    int button;
    bool converts;
    std::vector<core::JobState> states; // once the window has settled
};

TEST_F(RestoreTest, TheQuestionAfterACrashContinuesRestoresOrDiscards)
{
    using S = core::JobState;
    const std::vector<Answer> answers{
        {0, true, {S::Done, S::Done, S::Done}},
        {1, false, {S::Done, S::Interrupted, S::Waiting}},
        {2, false, {}},
    };
    for (const Answer &answer : answers) {
        SCOPED_TRACE(answer.button);
        window = open();
        edit("OutputText")->setText(qs(output.string() + "/"));
        crashDuringTheSecond();
        const auto before = support::fs::last_write_time(kvx(0));
        prompter.threeAnswers = {answer.button};
        prompter.threeButtons.clear();
        encoder.passesBegun = 0;

        window = open();
        EXPECT_TRUE(prompter.threeButtons.empty()) << "asked while the window was being made";
        waitUntil([this] { return !prompter.threeButtons.empty(); });
        waitUntil([this] { return !window->converting(); });
        const auto asked = std::find_if(prompter.questions.begin(), prompter.questions.end(),
                                        [](const support::Message &m) { return m.text.startsWith("The last list"); });
        ASSERT_NE(asked, prompter.questions.end());
        EXPECT_EQ(asked->text.toStdString(),
                  "The last list of 3 videos was not closed properly: 1 converted, 2 not yet. "
                  "Continue converting the 2 videos?");
        EXPECT_EQ(prompter.threeButtons.back(),
                  (QStringList{QStringLiteral("Continue"), QStringLiteral("Restore the list"),
                               QStringLiteral("Discard")}));
        EXPECT_EQ(states(), answer.states);
        EXPECT_EQ(encoder.passesBegun, answer.converts ? 4 : 0);
        // The done job's output is never written again.
        EXPECT_EQ(support::readFile(kvx(0)), "the first job's output");
        EXPECT_EQ(support::fs::last_write_time(kvx(0)), before);
        if (answer.button == 2) {
            EXPECT_FALSE(support::fs::exists(listFile()));
        } else {
            EXPECT_EQ(record(1).hue, -120);
            EXPECT_EQ(titles(), (QStringList{QStringLiteral("v000.avi"), QStringLiteral("v001.avi"),
                                             QStringLiteral("v002.avi")}));
            // Kept again from here on.
            waitUntil([&] { return saved(answer.converts ? "state=done" : "state=interrupted"); });
        }
        window->close();
        prompter.questions.clear();
    }
}

TEST_F(RestoreTest, QuitAndAnEmptiedListLeaveNoList)
{
    addVideos(1);
    waitUntil([this] { return support::fs::exists(listFile()); });
    window->selectJob(0);
    window->removeSelectedJob();
    waitUntil([this] { return !support::fs::exists(listFile()); });

    addVideos(2);
    waitUntil([this] { return support::fs::exists(listFile()); });
    window->close();
    EXPECT_FALSE(support::fs::exists(listFile()));
    window = open();
    EXPECT_EQ(window->jobs().count(), 0);
}

} // namespace
