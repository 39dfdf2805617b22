// What the user gets for each input of the bad-input corpus (make_corpus.sh).
//
// Each case goes the way the program goes: the probe script written by the
// program's own script writer, Encode_GetFrame (0 means the file is not
// added), then the conversion script and both passes through the C interface
// of the built libTarvikDll.so. Each case runs in a child process watched by
// the parent, so a crash or a hang fails that case instead of the suite.
// The outcome is either a clean conversion, checked with ffprobe, or a
// failure at a stated step with a reason the user can act on.

#include "script/script_writer.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A case that neither ends nor crashes within this time counts as hung.
constexpr auto kWatchdog = std::chrono::seconds(60);

const fs::path &corpusDir()
{
    static const fs::path dir = fs::path(VELMORA_TEST_TMP) / "corpus";
    return dir;
}

// Runs argv without a shell (so no name is ever split or read as an option by
// one) and returns its stdout; exitCode gets the exit status, -1 when it did
// not exit normally.
std::string runProgram(const std::vector<std::string> &argv, int *exitCode = nullptr)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDERR_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    std::array<char, 4096> buf{};
    for (ssize_t n; (n = read(fds[0], buf.data(), buf.size())) > 0;)
        out.append(buf.data(), static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (exitCode)
        *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
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
            runProgram({"sh", CORPUS_MAKER, corpusDir().string()}, &status);
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
};

// gtest names the case instead of dumping its bytes.
void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

constexpr std::array<int, 7> kRates{8000, 11250, 16000, 22050, 32000, 44100, 48000};

// The facts a child reports, one "key=value" line each.
using Report = std::map<std::string, std::string>;

class Child
{
public:
    using Begin = int32_t (*)(const char *, const char *, int32_t, int32_t, int32_t, int32_t, int32_t);
    using NoArgs = int32_t (*)();
    using GetFrame = int32_t (*)(const char *);
    using LastError = const char *(*)();

    Child(const Case &c, const fs::path &app, std::ofstream &report) : m_case(c), m_app(app), m_report(report) {}

    // The program's steps for one file; never returns early with an open pass.
    void run()
    {
        void *lib = dlopen(TARVIK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            put("dlopen", dlerror());
            return;
        }
        m_begin = reinterpret_cast<Begin>(dlsym(lib, "Encode_Begin"));
        m_frame = reinterpret_cast<NoArgs>(dlsym(lib, "Encode_Frame"));
        m_encoding = reinterpret_cast<NoArgs>(dlsym(lib, "Encode_Encoding"));
        m_end = reinterpret_cast<NoArgs>(dlsym(lib, "Encode_End"));
        m_getFrame = reinterpret_cast<GetFrame>(dlsym(lib, "Encode_GetFrame"));
        m_lastError = reinterpret_cast<LastError>(dlsym(lib, "Encode_GetLastError"));

        // Adding the file: the probe script, its length, then the script goes.
        const core::ScriptResult probe = core::writeScript(request(0, 0));
        put("probeWriter", std::to_string(probe.result));
        if (probe.result != 1)
            return;
        const int32_t length = m_getFrame(scriptPath().c_str());
        put("getFrame", std::to_string(length));
        put("getFrameError", m_lastError());
        fs::remove(scriptPath());
        if (length == 0)
            return;

        // Converting it, from 0 to its whole length.
        const core::ScriptResult conversion = core::writeScript(request(1, length));
        put("writer", std::to_string(conversion.result));
        if (conversion.result != 1)
            return;
        const core::RunValues &v = conversion.run;
        if (!pass("video", v, 1))
            return;
        pass("audio", v, 0);
    }

private:
    core::ScriptRequest request(int32_t mode, int32_t length) const
    {
        core::ScriptRequest r;
        r.mode = mode;
        r.videoPath = (corpusDir() / m_case.input).string();
        r.appFolder = m_app.string() + "/";
        r.scriptPath = scriptPath();
        r.frameCount = length;
        r.logoFontSize = 12.0;
        core::JobSettings &s = r.shown;
        s.frameRateIndex = m_case.fpsIndex;
        s.videoBitrate = "256";
        s.audioBitrateIndex = 4; // 128 kbit/s
        s.sampleRateIndex = m_case.rateIndex;
        s.encodeModeIndex = 2; // Fast Speed keeps the suite quick
        s.startTime = "0";
        s.endTime = std::to_string(length);
        s.totalTime = length;
        s.saturation = 10;
        s.contrast = 10;
        s.volume = 100;
        const std::string extra = m_case.extra.empty() ? "" : (corpusDir() / m_case.extra).string();
        if (m_case.form == Form::IntroImage) {
            s.introType = 1;
            s.introImageFile = extra;
            s.introImageTime = "2";
            s.introFadeTime = "1";
        } else if (m_case.form == Form::IntroVideo) {
            s.introType = 0;
            s.introVideoFile = extra;
            s.introFadeTime = "1";
        } else if (m_case.form == Form::Subtitles) {
            s.subtitleFile = extra;
        } else if (m_case.form == Form::ExternalAudio) {
            s.audioFile = extra;
        }
        return r;
    }

    std::string scriptPath() const { return (m_app / "temp.avs").string(); }

    // One pass as the conversion run drives it; true when it completed.
    bool pass(const std::string &which, const core::RunValues &v, int32_t videoPass)
    {
        const std::string out = (m_app / (videoPass ? "temp.m1v" : "temp.mp2")).string();
        const int32_t begun = m_begin(scriptPath().c_str(), out.c_str(), v.videoBitrate, v.audioBitrate, v.sampleRate,
                                      videoPass, 2);
        if (videoPass)
            put("frames", std::to_string(m_frame()));
        put(which + "Begin", std::to_string(begun));
        put(which + "BeginError", m_lastError());
        if (begun == -1) {
            m_end();
            return false;
        }
        while (m_encoding() < 100)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const int32_t ended = m_end();
        put(which + "End", std::to_string(ended));
        put(which + "EndError", m_lastError());
        return ended == 0;
    }

    void put(const std::string &key, std::string value)
    {
        std::replace(value.begin(), value.end(), '\n', ' ');
        m_report << key << "=" << value << "\n" << std::flush;
    }

    const Case &m_case;
    fs::path m_app;
    std::ofstream &m_report;
    Begin m_begin = nullptr;
    NoArgs m_frame = nullptr, m_encoding = nullptr, m_end = nullptr;
    GetFrame m_getFrame = nullptr;
    LastError m_lastError = nullptr;
};

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

// key=value facts of the first stream of path.
Report probeStream(const fs::path &path, const std::string &select, const std::string &entries)
{
    Report facts;
    std::istringstream lines(runProgram({"ffprobe", "-v", "error", "-count_frames", "-select_streams", select,
                                         "-show_entries", "stream=" + entries, "-of", "default=noprint_wrappers=1",
                                         path.string()}));
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos && !facts.count(line.substr(0, eq)))
            facts[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return facts;
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
        Child(c, app, report).run();
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
        const Report v = probeStream(app / "temp.m1v", "v:0", "codec_name,width,height,nb_read_frames");
        EXPECT_EQ(v.count("codec_name") ? v.at("codec_name") : "", "mpeg1video");
        EXPECT_EQ(v.count("width") ? v.at("width") : "", "256");
        EXPECT_EQ(v.count("height") ? v.at("height") : "", std::to_string(c.height));
        EXPECT_EQ(v.count("nb_read_frames") ? v.at("nb_read_frames") : "", frames);
        const Report a = probeStream(app / "temp.mp2", "a:0", "codec_name,sample_rate,channels");
        EXPECT_EQ(a.count("codec_name") ? a.at("codec_name") : "", "mp2");
        EXPECT_EQ(a.count("channels") ? a.at("channels") : "", "2");
        EXPECT_EQ(a.count("sample_rate") ? a.at("sample_rate") : "",
                  std::to_string(kRates[static_cast<std::size_t>(c.rateIndex)]));
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
        failing("SoWideNothingIsLeft", "wide_2560x8.mp4", Outcome::NotAdded, "at least 2 pixels"),
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
