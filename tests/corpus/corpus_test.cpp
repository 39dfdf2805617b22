// What the user gets for each input of the bad-input corpus (make_corpus.sh).
//
// Each case goes the way the program goes: the probe script written by the
// program's own script writer, Encode_GetFrame (0 means the file is not
// added), then the conversion script and both passes through the C interface
// of the built libTarvikDll.so. Each case runs in a child process watched by
// the parent, so a crash or a hang fails that case instead of the suite.
// The outcome is either a clean conversion, checked with ffprobe, or a
// failure at a stated step with a reason the user can act on.

#include "support/program_steps.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <fstream>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace {

// A case that neither ends nor crashes within this time counts as hung.
constexpr auto kWatchdog = std::chrono::seconds(60);

const fs::path &corpusDir()
{
    static const fs::path dir = fs::path(VELMORA_TEST_TMP) / "corpus";
    return dir;
}

// Generates the corpus once; ctest runs the cases as parallel processes, so
// the first one makes it under a lock and leaves a stamp for the others.
class CorpusEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        fs::create_directories(corpusDir().parent_path());
        const std::string lockPath = corpusDir().string() + ".lock";
        const int lock = open(lockPath.c_str(), O_CREAT | O_RDWR, 0644);
        ASSERT_GE(lock, 0);
        flock(lock, LOCK_EX);
        const fs::path stamp = corpusDir() / ".made";
        std::error_code ec;
        if (!fs::exists(stamp) || fs::last_write_time(stamp) < fs::last_write_time(CORPUS_MAKER, ec)) {
            fs::remove_all(corpusDir());
            int status = 0;
            support::run("sh '" CORPUS_MAKER "' '" + corpusDir().string() + "'", &status);
            if (status == 0)
                std::ofstream(stamp) << "made by make_corpus.sh\n";
            EXPECT_EQ(status, 0) << "make_corpus.sh failed";
        }
        flock(lock, LOCK_UN);
        close(lock);
    }
};

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(new CorpusEnvironment);

// How a case is scripted: the plain conversion, or with an introduction,
// subtitles or a separate sound file taken from the corpus.
enum class Form { Plain, IntroImage, IntroVideo, Subtitles, ExternalAudio };

// What the user gets.
enum class Outcome {
    Clean,          // both passes return 0 and the streams are what was asked
    NotAdded,       // Encode_GetFrame gives 0: the file is refused when added
    BeginFails,     // the video pass's Encode_Begin gives -1
    VideoPassFails, // the video pass starts but its Encode_End gives -1
    AudioPassFails, // the video pass is clean, the audio pass's Encode_End gives -1
};

struct Case
{
    std::string name;
    std::string input;  // in the corpus folder
    Outcome outcome = Outcome::Clean;
    std::string reason; // a fragment of Encode_GetLastError's text (failures)
    int height = 192;   // output height (clean), always 256 wide
    int frames = 0;     // expected frame count when it is known exactly (clean)
    int fpsIndex = 14;  // FRCombo: 14 is "15"
    int rateIndex = 4;  // ASRCombo: 4 is 32000
    Form form = Form::Plain;
    std::string extra;  // the introduction, subtitle or sound file (corpus folder)
    std::string note;   // a fragment of Encode_GetNotes' text after the audio pass (clean)
};

// gtest names the case instead of dumping its bytes.
void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

constexpr std::array<int, 7> kRates{8000, 11250, 16000, 22050, 32000, 44100, 48000};

// The facts a child reports, one "key=value" line each.
using Report = std::map<std::string, std::string>;

// The program's steps for one case, reporting into [report].
void runCase(const Case &c, const fs::path &app, std::ofstream &report)
{
    const auto put = [&report](const std::string &key, std::string value) {
        std::replace(value.begin(), value.end(), '\n', ' ');
        report << key << "=" << value << "\n" << std::flush;
    };
    const support::TarvikApi api = support::TarvikApi::load(TARVIK_LIBRARY_PATH);
    if (!api.loaded())
        return put("dlopen", dlerror());
    core::ScriptRequest job = support::plainJob((corpusDir() / c.input).string(), app.string());
    core::JobSettings &s = job.shown;
    s.frameRateIndex = c.fpsIndex;
    s.sampleRateIndex = c.rateIndex;
    const std::string extra = c.extra.empty() ? "" : (corpusDir() / c.extra).string();
    if (c.form == Form::IntroImage) {
        s.introType = 1;
        s.introImageFile = extra;
        s.introImageTime = "2";
    } else if (c.form == Form::IntroVideo) {
        s.introVideoFile = extra;
    } else if (c.form == Form::Subtitles) {
        s.subtitleFile = extra;
    } else if (c.form == Form::ExternalAudio) {
        s.audioFile = extra;
    }
    support::convertLikeTheProgram(api, job, put);
}

Report readReport(const fs::path &path)
{
    Report facts;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            facts[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return facts;
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

std::vector<std::string> listFolder(const fs::path &dir)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
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
    const fs::path reportPath = work / "report.txt";

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Spill files of the filters go to TMPDIR: a private one shows what
        // is left behind.
        setenv("TMPDIR", tmp.c_str(), 1);
        std::ofstream report(reportPath);
        runCase(c, app, report);
        report.close();
        _exit(0);
    }
    int status = 0;
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    const Report r = readReport(reportPath);
    ASSERT_TRUE(ended) << c.name << " hung after reporting " << r.size() << " facts";
    ASSERT_TRUE(WIFEXITED(status)) << c.name << " crashed with signal " << WTERMSIG(status);
    ASSERT_EQ(r.count("dlopen"), 0u) << r.at("dlopen");
    ASSERT_EQ(r.count("probeWriter") ? r.at("probeWriter") : "", "1") << "the probe script was not written";

    const auto fact = [&r](const std::string &key) { return r.count(key) ? r.at(key) : std::string("<none>"); };
    const auto says = [&c](const std::string &text) {
        return text.find(c.reason) != std::string::npos;
    };

    switch (c.outcome) {
    case Outcome::NotAdded:
        EXPECT_EQ(fact("getFrame"), "0");
        EXPECT_TRUE(says(fact("getFrameError"))) << fact("getFrameError");
        EXPECT_EQ(r.count("videoBegin"), 0u);
        break;
    case Outcome::BeginFails:
        EXPECT_NE(fact("getFrame"), "0") << fact("getFrameError");
        EXPECT_EQ(fact("videoBegin"), "-1");
        EXPECT_EQ(fact("frames"), "0"); // the run asks for it before testing Begin's result
        EXPECT_TRUE(says(fact("videoBeginError"))) << fact("videoBeginError");
        EXPECT_EQ(r.count("audioBegin"), 0u);
        break;
    case Outcome::VideoPassFails:
        EXPECT_NE(fact("getFrame"), "0") << fact("getFrameError");
        EXPECT_EQ(fact("videoBegin"), "0") << fact("videoBeginError");
        EXPECT_EQ(fact("videoEnd"), "-1");
        EXPECT_TRUE(says(fact("videoEndError"))) << fact("videoEndError");
        EXPECT_EQ(r.count("audioBegin"), 0u);
        break;
    case Outcome::AudioPassFails:
        EXPECT_NE(fact("getFrame"), "0") << fact("getFrameError");
        EXPECT_EQ(fact("videoEnd"), "0") << fact("videoEndError");
        EXPECT_EQ(fact("audioBegin"), "0") << fact("audioBeginError");
        EXPECT_EQ(fact("audioEnd"), "-1");
        EXPECT_TRUE(says(fact("audioEndError"))) << fact("audioEndError");
        break;
    case Outcome::Clean: {
        ASSERT_NE(fact("getFrame"), "0") << fact("getFrameError");
        EXPECT_EQ(fact("videoBegin"), "0") << fact("videoBeginError");
        EXPECT_EQ(fact("videoEnd"), "0") << fact("videoEndError");
        EXPECT_EQ(fact("audioBegin"), "0") << fact("audioBeginError");
        EXPECT_EQ(fact("audioEnd"), "0") << fact("audioEndError");
        const std::string frames = fact("frames");
        if (c.frames > 0) {
            EXPECT_EQ(frames, std::to_string(c.frames));
        }
        auto v = support::probe((app / "temp.m1v").string(), "v:0", "codec_name,width,height,nb_read_frames");
        EXPECT_EQ(v, (std::map<std::string, std::string>{{"codec_name", "mpeg1video"}, {"width", "256"},
                                                         {"height", std::to_string(c.height)}, {"nb_read_frames", frames}}));
        auto a = support::probe((app / "temp.mp2").string(), "a:0", "codec_name,sample_rate,channels");
        EXPECT_EQ(a, (std::map<std::string, std::string>{
                         {"codec_name", "mp2"}, {"channels", "2"},
                         {"sample_rate", std::to_string(kRates[static_cast<std::size_t>(c.rateIndex)])}}));
        if (!c.note.empty()) {
            EXPECT_NE(fact("audioNotes").find(c.note), std::string::npos) << fact("audioNotes");
            // The sound after the damage keeps its place: had the broken
            // stretch been dropped instead of made silent, the tone would
            // end early and the last second would be padding.
            EXPECT_GT(meanLevel(support::run("ffmpeg -v error -sseof -1.5 -i '" + (app / "temp.mp2").string()
                                             + "' -t 1 -ac 1 -f s16le -")),
                      1000);
        }
        break;
    }
    }

    // Nothing left behind but the files the conversion run deletes itself
    // (the probe script is already gone), and nothing in the temporary folder.
    for (const std::string &name : listFolder(app))
        EXPECT_TRUE(name == "temp.avs" || name == "temp.m1v" || name == "temp.mp2") << "left behind: " << name;
    EXPECT_TRUE(listFolder(tmp).empty()) << "left in the temporary folder: " << listFolder(tmp).front();
    if (!HasFailure())
        fs::remove_all(work);
}

Case clean(std::string name, std::string input, int frames, int height = 192)
{
    Case c;
    c.name = std::move(name);
    c.input = std::move(input);
    c.frames = frames;
    c.height = height;
    return c;
}

Case failing(std::string name, std::string input, Outcome outcome, std::string reason)
{
    Case c;
    c.name = std::move(name);
    c.input = std::move(input);
    c.outcome = outcome;
    c.reason = std::move(reason);
    return c;
}

Case withRates(Case c, int fpsIndex, int rateIndex)
{
    c.fpsIndex = fpsIndex;
    c.rateIndex = rateIndex;
    return c;
}

Case withNote(Case c, std::string note)
{
    c.note = std::move(note);
    return c;
}

Case withFile(Case c, Form form, std::string extra)
{
    c.form = form;
    c.extra = std::move(extra);
    return c;
}

const std::string kOddName = "odd folder \u00fc/-dash \u00fcn\u00ef 'single' \"double\" name.mp4";

INSTANTIATE_TEST_SUITE_P(
    BadInputs, Corpus,
    ::testing::Values(
        // Not a video at all: refused when added, naming the reason.
        failing("Empty", "empty.avi", Outcome::NotAdded, "is empty"),
        failing("RandomBytes", "random.avi", Outcome::NotAdded, "cannot read"),
        failing("TextFile", "text.mp4", Outcome::NotAdded, "cannot read"),
        failing("AudioOnly", "audio_only.m4a", Outcome::NotAdded, "has no video stream"),
        // Truncated: without its index the file cannot be read at all; with
        // an intact index that promises 4 s, the pass fails instead of
        // freezing the second half.
        failing("TruncatedWithoutIndex", "trunc_noindex.mp4", Outcome::NotAdded, "cannot read"),
        failing("TruncatedWithIndexMp4", "trunc_index.mp4", Outcome::VideoPassFails,
                "trunc_index.mp4\" is damaged: its video ends at 00:00:01 although it claims to last 00:00:04"),
        // (Matroska's 4.023 s are 61 frames at 15 fps: 5 s as the list shows it.)
        failing("TruncatedWithIndexMkv", "trunc_index.mkv", Outcome::VideoPassFails,
                "trunc_index.mkv\" is damaged: its video ends at 00:00:02 although it claims to last 00:00:05"),
        // A separate sound file cut off the same way: the sound pass fails
        // instead of filling the rest with silence.
        withFile(failing("TruncatedSoundFile", "no_audio_4s.mp4", Outcome::AudioPassFails,
                         "trunc_sound.mp3\" is damaged: its sound ends at 00:00:02 although it claims to last 00:00:09"),
                 Form::ExternalAudio, "trunc_sound.mp3"),
        // Damaged packets are skipped; a file where nothing decodes fails.
        clean("CorruptMiddle", "corrupt_middle.avi", 61),
        // Garbage in the middle: the broken stretch of the sound is silence
        // of its length, and the note says where it is.
        withNote(clean("GarbageInTheMiddle", "garbage_middle.mp4", 180),
                 "garbage_middle.mp4\" is damaged between 00:00:03 and 00:00:09; that stretch is silent"),
        // No stated length: the pictures are counted, 4 s at 15 fps.
        clean("RawH264Stream", "raw.h264", 60, 192),
        failing("CorruptEverywhere", "corrupt_all.mp4", Outcome::VideoPassFails,
                "contains no picture that can be decoded"),
        // Missing or tiny streams.
        clean("NoAudio", "no_audio.mp4", 30),
        clean("OneFrame", "one_frame.mp4", 1),
        clean("ShorterThanASecond", "short.mp4", 9),
        // Sizes: the script's height rule 256*H/W, made even.
        clean("Tiny2x2", "tiny_2x2.mp4", 15, 256),
        clean("Odd17x13", "odd_17x13.avi", 15, 194),
        clean("VeryWide", "wide_2000x100.mp4", 15, 12),
        failing("VeryTall", "tall_100x2000.mp4", Outcome::NotAdded, "256x5120 pixels, too tall for MPEG-1"),
        failing("SoWideNothingIsLeft", "wide_2560x8.mp4", Outcome::NotAdded, "crop it to at most 1024 pixels wide"),
        // Variable frame rate onto 10 fps: ceil(2.933 s * 10) frames.
        withRates(clean("VariableFrameRate", "vfr.mkv", 30), 9, 4),
        // Stored 160x96 sideways: shown upright as 96x160, so 256x426.
        clean("RotatedPhoneClip", "rotated.mp4", 30, 426),
        // Stereo at the chosen rate whatever the source has.
        withRates(clean("Surround51", "surround51.mp4", 30), 14, 5),
        withRates(clean("Mono8kHz", "mono8k.avi", 30), 14, 3),
        clean("AwkwardPath", kOddName, 60),
        // Introduction and subtitle files that are not what they claim.
        withFile(failing("IntroImageNotAnImage", "no_audio.mp4", Outcome::BeginFails, "intro_not_image.jpg"),
                 Form::IntroImage, "intro_not_image.jpg"),
        withFile(failing("IntroVideoRandomBytes", "no_audio.mp4", Outcome::BeginFails, "random.avi"),
                 Form::IntroVideo, "random.avi"),
        withFile(clean("SubtitlesIn8BitEncoding", "no_audio.mp4", 30), Form::Subtitles, "subs_cp1252.srt"),
        // Subtitles are part of the probe script too: refused when added.
        withFile(failing("SubtitlesNotASubtitleFile", "no_audio.mp4", Outcome::NotAdded,
                         "subs_not_subtitles.srt\" holds no subtitles"),
                 Form::Subtitles, "subs_not_subtitles.srt")),
    [](const auto &param) { return param.param.name; });

} // namespace
