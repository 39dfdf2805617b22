// The saved job list: what is written reads back the same, and a damaged,
// cut, foreign or newer file restores what it can, with a note for the rest.

#include "settings/saved_list.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

struct Files
{
    fs::path folder = support::scratchFolder();
    std::string a = (folder / "a.avi").string();
    std::string b = (folder / "b=c.avi").string(); // a separator a reader must not cut at
    std::string gone = (folder / "gone.avi").string();
    std::string out = (folder / "out").string() + "/";

    Files()
    {
        support::writeFile(a, "");
        support::writeFile(b, "");
        fs::create_directories(out);
        support::writeFile(out + "a.kvx", "kvx");
    }
};

core::JobEntry entry(const std::string &path, core::JobStatus status, const std::string &out)
{
    core::JobEntry job{core::fileTitle(path), path, {}, std::move(status)};
    job.settings.outputDir = out;
    return job;
}

// One entry of the file as text, settings given as "[section] key=value" lines.
std::string job(const std::string &path, const std::string &state, const std::string &lines = {},
                bool ended = true)
{
    return "job\nsource=" + path + "\nstate=" + state + "\n" + lines + (ended ? "end\n" : "");
}

TEST(SavedList, ReadsBackWhatWasWritten)
{
    const Files files;
    core::JobList list;
    core::JobEntry done = entry(files.a, core::JobStatus::done(123456789012, 61), files.out);
    done.settings.hue = -170;
    done.settings.encodeModeIndex = 2;
    done.settings.logoText = "line one\nline \\two\r";
    done.settings.totalTime = 4000;
    done.settings.logoFontName = "DejaVu Sans";
    list.append(done);
    list.append(entry(files.b, core::JobStatus::failed("disk full\nfree some"), files.out));
    list.append(entry(files.b, core::JobStatus::stopped(), files.out));
    list.append(entry(files.a, core::JobStatus::waiting(), files.out));
    list.append(entry(files.a, {}, files.out));

    const fs::path path = files.folder / std::string(settings::kSavedListFileName);
    ASSERT_TRUE(settings::writeSavedList(path.string(), list));
    const settings::RestoredList restored = settings::readSavedList(path.string());
    EXPECT_EQ(restored.jobs, list);
    EXPECT_EQ(restored.notes, std::vector<std::string>{});
    EXPECT_EQ(restored.notesLine(), "");
    // Only the list itself is left in the folder: no temporary name behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(files.folder), {}), 4);
    // A folder that is gone is not made again.
    EXPECT_FALSE(settings::writeSavedList((files.folder / "gone/Velmora.list").string(), list));
    EXPECT_FALSE(fs::exists(files.folder / "gone"));
}

struct DamageCase
{
    const char *what;
    std::string text;
    std::vector<std::string> titles;    // restored, in order
    std::vector<core::JobState> states; // the same order
    std::vector<std::string> notes;     // text found in each note, in order
};

TEST(SavedList, DamagedFilesRestoreWhatCanBeRead)
{
    const Files files;
    const std::string head = "velmora-list 1\n";
    const std::string out = "[Output Directory] OutputText=" + files.out + "\n";
    using S = core::JobState;
    std::string tooMany = head;
    for (int i = 0; i < core::JobList::kMaxJobs + 2; ++i)
        tooMany += job(files.a, "waiting");
    const std::vector<DamageCase> cases{
        {"empty", "", {}, {}, {"empty"}},
        {"foreign", "[Parameter]\nFRCombo=3\n", {}, {}, {"not a saved list"}},
        {"no version", "velmora-list x\n" + job(files.a, "none"), {}, {}, {"not a saved list"}},
        {"binary", std::string("\x7f" "ELF\0\1\2", 7), {}, {}, {"not a saved list"}},
        {"converting comes back interrupted", head + job(files.a, "converting"), {"a.avi"}, {S::Interrupted}, {}},
        {"done with its output", head + job(files.a, "done", out), {"a.avi"}, {S::Done}, {}},
        {"done without its output", head + job(files.b, "done", out), {"b=c.avi"}, {S::Waiting}, {}},
        {"source gone", head + job(files.gone, "waiting") + job(files.a, "failed"),
         {"a.avi"}, {S::Failed}, {"gone.avi left out: " + files.gone + " no longer exists"}},
        {"cut inside an entry", head + job(files.a, "done", out) + job(files.b, "waiting", "", false),
         {"a.avi"}, {S::Done}, {"the file ends inside it"}},
        {"cut inside a line", head + job(files.a, "waiting") + "job\nsource=" + files.b.substr(0, 5),
         {"a.avi"}, {S::Waiting}, {"the file ends inside it"}},
        {"an entry without its end", head + job(files.a, "waiting", "", false) + job(files.b, "stopped"),
         {"b=c.avi"}, {S::Stopped}, {"cut short"}},
        {"no source", head + "job\ntitle=x.avi\nend\n", {}, {}, {"without its source"}},
        {"newer version", "velmora-list 7\n" + job(files.a, "waiting", "colour=blue\n[Future] Knob=3\n"),
         {"a.avi"}, {S::Waiting}, {"newer version (7)", "[Future] Knob: not a job's setting"}},
        {"unknown state", head + job(files.a, "paused"), {"a.avi"}, {S::None}, {"state \"paused\""}},
        {"more than a full list", tooMany, std::vector<std::string>(core::JobList::kMaxJobs, "a.avi"),
         std::vector<S>(core::JobList::kMaxJobs, S::Waiting), {"more than 100"}},
        {"values by the settings file's rules",
         head + job(files.a, "none",
                    "[color setting] hscrollhue=900\n[Parameter] ModeCombo=9\n[Parameter] FRCombo=3\n"
                    "[Time Control] TotalTime=ten\n"
                    "[Others] ShutDownCheck=1\ngarbage\n[broken\n"),
         {"a.avi"}, {S::None},
         {"HScrollHue=900: outside -180..180, 180 taken", "ModeCombo=9: outside -1..2, the default 1",
          "TotalTime=ten: not a whole number, the default 0", "ShutDownCheck: not a job's setting",
          "\"[broken\": not understood"}},
    };
    for (const DamageCase &c : cases) {
        SCOPED_TRACE(c.what);
        const settings::RestoredList restored = settings::readSavedListText(c.text);
        std::vector<std::string> titles;
        std::vector<core::JobState> states;
        for (const core::JobEntry &job : restored.jobs.entries()) {
            titles.push_back(job.title);
            states.push_back(job.status.state);
        }
        EXPECT_EQ(titles, c.titles);
        EXPECT_EQ(states, c.states);
        ASSERT_EQ(restored.notes.size(), c.notes.size()) << restored.notesLine();
        for (std::size_t i = 0; i < c.notes.size(); ++i)
            EXPECT_NE(restored.notes[i].find(c.notes[i]), std::string::npos) << restored.notes[i];
    }
    // The last case's clamped and given values land in the job; the rest keep the defaults.
    const core::JobSettings read = settings::readSavedListText(cases.back().text).jobs.at(0).settings;
    EXPECT_EQ(std::tuple(read.hue, read.frameRateIndex, read.volume), std::tuple(180, 3, core::JobSettings().volume));
}

} // namespace
