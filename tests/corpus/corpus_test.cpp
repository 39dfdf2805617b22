// What the user gets for each input of the bad-input corpus (make_corpus.sh).
//
// Each case goes the way the program goes: the probe script written by the
// program's own script writer, Encode_GetFrame (0 means the file is not
// added), then the conversion script and both passes through the C interface
// of the built libTarvikDll.so. ctest runs each case as a process of its own
// with a time limit, so a crash or a hang fails that case alone. The outcome
// is either a clean conversion, checked with ffprobe, or a failure at a
// stated step with a reason the user can act on.

#include "jobs/controls.h"
#include "support/program_steps.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

// Made by the corpus fixture (tests/corpus/CMakeLists.txt) before any case runs.
const fs::path &corpusDir()
{
    static const fs::path dir = fs::path(VELMORA_TEST_TMP) / "corpus";
    return dir;
}

// The program's steps in order, each with what it gives when it fails; an
// outcome of cases.txt names the step that fails (Clean: none).
constexpr std::array<std::pair<const char *, const char *>, 5> kSteps{
    {{"getFrame", "0"}, {"videoBegin", "-1"}, {"videoEnd", "-1"}, {"audioBegin", "-1"}, {"audioEnd", "-1"}}};
const std::map<std::string, std::size_t> kFailingStep{
    {"NotAdded", 0}, {"BeginFails", 1}, {"VideoPassFails", 2}, {"AudioPassFails", 4}, {"Clean", kSteps.size()}};

// One line of tests/data/corpus/cases.txt, which says what each field means.
struct Case
{
    std::string name, input;
    std::size_t failsAt = kSteps.size();
    std::map<std::string, std::string> with; // the line's key=value fields
    std::string get(const std::string &key, const std::string &otherwise = "") const
    {
        return with.count(key) ? with.at(key) : otherwise;
    }
};

// gtest names the case instead of dumping its bytes.
void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

// Mean absolute value of 16-bit little-endian samples.
double meanLevel(const std::string &pcm)
{
    double sum = 0;
    const std::size_t n = pcm.size() / 2;
    for (std::size_t i = 0; i < n; ++i)
        sum += std::abs(static_cast<std::int16_t>(static_cast<unsigned char>(pcm[2 * i]) |
                                                  static_cast<unsigned char>(pcm[2 * i + 1]) << 8));
    return n ? sum / static_cast<double>(n) : 0.0;
}

class Corpus : public ::testing::TestWithParam<Case>
{
};

TEST_P(Corpus, NeitherCrashesNorHangsAndSaysWhatTheUserGets)
{
    const Case &c = GetParam();
    ASSERT_TRUE(fs::exists(corpusDir() / c.input)) << c.input << " was not generated";
    // The program's folder has a space and a non-ASCII letter in it: every
    // path the library sees (script, streams) goes through that.
    const fs::path work = fs::path(VELMORA_TEST_TMP) / "corpus-run" / c.name;
    const fs::path app = work / "Velmora ü";
    const fs::path tmp = work / "tmp";
    fs::remove_all(work);
    fs::create_directories(app);
    fs::create_directories(tmp);
    // Spill files of the filters go to TMPDIR: a private one shows what is
    // left behind.
    setenv("TMPDIR", tmp.c_str(), 1);
    const support::TarvikApi api = support::TarvikApi::load(TARVIK_LIBRARY_PATH);
    ASSERT_TRUE(api.loaded()) << dlerror();
    core::ScriptRequest job = support::plainJob((corpusDir() / c.input).string(), app.string());
    core::JobSettings &s = job.shown;
    s.frameRateIndex = std::stoi(c.get("fps", "14"));
    s.sampleRateIndex = std::stoi(c.get("rate", "4"));
    const auto file = [&c](const std::string &key) { return c.with.count(key) ? (corpusDir() / c.with.at(key)).string() : ""; };
    if (c.with.count("intro-image")) {
        s.introType = 1;
        s.introImageFile = file("intro-image");
        s.introImageTime = "2";
    }
    s.introVideoFile = file("intro-video");
    s.subtitleFile = file("subtitles");
    s.audioFile = file("sound");
    std::map<std::string, std::string> r; // what each step reported
    support::convertLikeTheProgram(api, job, [&r](const std::string &key, const std::string &value) { r[key] = value; });
    ASSERT_EQ(r.count("probeWriter") ? r.at("probeWriter") : "", "1") << "the probe script was not written";

    const auto fact = [&r](const std::string &key) { return r.count(key) ? r.at(key) : std::string("<none>"); };
    for (std::size_t i = 0; i < kSteps.size(); ++i) {
        const std::string step = kSteps[i].first, failure = kSteps[i].second, error = fact(step + "Error");
        if (i < c.failsAt) {
            ASSERT_TRUE(i == 0 ? r.count(step) && fact(step) != failure : fact(step) == "0") << step << ": " << error;
        } else if (i == c.failsAt) {
            EXPECT_EQ(fact(step), failure) << step;
            EXPECT_NE(error.find(c.get("reason")), std::string::npos) << step << ": " << error;
        } else {
            EXPECT_EQ(r.count(step), 0u) << step << " ran after the failure";
        }
    }
    if (c.failsAt == 1) {
        EXPECT_EQ(fact("frames"), "0"); // the run asks for it before testing Begin's result
    }
    if (c.failsAt == kSteps.size()) {
        const std::string frames = fact("frames");
        if (c.with.count("frames")) {
            EXPECT_EQ(frames, c.get("frames"));
        }
        auto v = support::probe((app / "temp.m1v").string(), "v:0", "codec_name,width,height,nb_read_frames");
        EXPECT_EQ(v, (std::map<std::string, std::string>{{"codec_name", "mpeg1video"}, {"width", "256"},
                                                         {"height", c.get("height", "192")}, {"nb_read_frames", frames}}));
        auto a = support::probe((app / "temp.mp2").string(), "a:0", "codec_name,sample_rate,channels");
        EXPECT_EQ(a, (std::map<std::string, std::string>{
                         {"codec_name", "mp2"}, {"channels", "2"},
                         {"sample_rate", std::string(core::kSampleRateItems.at(std::stoul(c.get("rate", "4"))))}}));
        if (c.with.count("note")) {
            EXPECT_NE(fact("audioNotes").find(c.get("note")), std::string::npos) << fact("audioNotes");
            // The sound after the damage keeps its place: had the broken
            // stretch been dropped instead of made silent, the tone would
            // end early and the last second would be padding.
            EXPECT_GT(meanLevel(support::run("ffmpeg -v error -sseof -1.5 -i '" + (app / "temp.mp2").string()
                                             + "' -t 1 -ac 1 -f s16le -")),
                      1000);
        }
    }

    // Nothing left behind but the files the conversion run deletes itself
    // (the probe script is already gone), and nothing in the temporary folder.
    for (const auto &entry : fs::directory_iterator(app)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "temp.avs" || name == "temp.m1v" || name == "temp.mp2") << "left behind: " << name;
    }
    for (const auto &entry : fs::directory_iterator(tmp))
        ADD_FAILURE() << "left in the temporary folder: " << entry.path().filename();
    if (!HasFailure())
        fs::remove_all(work);
}

std::vector<Case> cases()
{
    std::vector<Case> all;
    std::ifstream in(std::string(VELMORA_TEST_DATA) + "/corpus/cases.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line.starts_with("#"))
            continue;
        const std::vector<std::string> fields = support::fields(line);
        Case c{.name = fields.at(0), .input = fields.at(1), .failsAt = kFailingStep.at(fields.at(2)), .with = {}};
        for (std::size_t i = 3; i < fields.size(); ++i)
            c.with[fields[i].substr(0, fields[i].find('='))] = fields[i].substr(fields[i].find('=') + 1);
        all.push_back(c);
    }
    EXPECT_GT(all.size(), 20u) << "tests/data/corpus/cases.txt was not read";
    return all;
}

INSTANTIATE_TEST_SUITE_P(BadInputs, Corpus, ::testing::ValuesIn(cases()),
                         [](const auto &param) { return param.param.name; });

} // namespace
