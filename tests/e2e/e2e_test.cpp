// The whole program: the real window (offscreen) over the real encoder
// library, converting clips made with the ffmpeg command line. The happy
// path of two clips with their own settings, and outputs that cannot be
// written, where the user must learn where and why.

#include "convert/run_log.h"
#include "kvx_reader.h"
#include "ui/dll_encoder.h"
#include "ui/window_fixture.h"

#include <QCheckBox>

#include <array>
#include <cstring>
#include <functional>
#include <set>
#include <span>
#include <utility>

namespace {

namespace fs = std::filesystem;

// Every name in [folder], hidden ones included, except the run's log, which
// stays and is read where it matters.
std::set<std::string> namesIn(const fs::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder)) {
        if (entry.path().filename() != core::kLogFileName)
            names.insert(entry.path().filename().string());
    }
    return names;
}

kvx::Header headerOf(const std::string &bytes)
{
    return kvx::decodeHeader(std::span<const std::uint8_t, kvx::kHeaderBytes>(
        reinterpret_cast<const std::uint8_t *>(bytes.data()), kvx::kHeaderBytes));
}

// A .kvx whose header agrees with its length and carries both streams.
::testing::AssertionResult isCompleteKvx(const fs::path &file)
{
    const std::string bytes = support::readFile(file);
    if (bytes.size() <= kvx::kHeaderBytes)
        return ::testing::AssertionFailure() << file << " has " << bytes.size() << " bytes";
    const kvx::Header header = headerOf(bytes);
    if (const auto problems = kvx::layoutProblems(header, bytes.size()); !problems.empty())
        return ::testing::AssertionFailure() << file << ": " << problems.front();
    if (header.audioLength == 0 || header.videoLength == 0)
        return ::testing::AssertionFailure() << file << " lacks a stream";
    return ::testing::AssertionSuccess();
}

// Forwards every call to the real binding, with hooks before a pass begins
// and after it ended. Passes count from 0: job 1 video, job 1 audio, ...
class StagedEncoder final : public core::Encoder
{
public:
    explicit StagedEncoder(core::Encoder &real) : m_real(real) {}
    std::function<void(int pass)> beforeBegin, afterEnd;

    std::int32_t begin(const std::string &script, const std::string &out, std::int32_t v, std::int32_t a, std::int32_t r,
                       std::int32_t videoPass, std::int32_t mode) override
    {
        if (beforeBegin)
            beforeBegin(m_passes);
        ++m_passes;
        m_open = true;
        return m_real.begin(script, out, v, a, r, videoPass, mode);
    }
    std::int32_t frame() override { return m_real.frame(); }
    std::int32_t encoding() override { return m_real.encoding(); }
    std::int32_t leftTime() override { return m_real.leftTime(); }
    std::int32_t end() override
    {
        const std::int32_t result = m_real.end();
        if (std::exchange(m_open, false) && afterEnd) // once per begun pass
            afterEnd(m_passes - 1);
        return result;
    }
    std::int32_t getFrame(const std::string &script) override { return m_real.getFrame(script); }
    std::string lastError() override { return m_real.lastError(); }

private:
    core::Encoder &m_real;
    int m_passes = 0;
    bool m_open = false;
};

class EndToEnd : public WindowTest
{
protected:
    EndToEnd()
    {
        fs::create_symlink(TARVIK_LIBRARY_PATH, program / "libTarvikDll.so");
        window = open(&staged);
    }
    ~EndToEnd() override { window.reset(); } // before the library it uses

    // Made once for all tests, under the name the test gives it.
    fs::path clip(const std::string &name, const std::string &inputs)
    {
        fs::copy_file(support::media(name, inputs), media / name);
        return media / name;
    }
    void addJob(const fs::path &input, const fs::path &folder)
    {
        const int before = window->jobs().count();
        window->addVideoFiles({qs(input.string())});
        ASSERT_EQ(window->jobs().count(), before + 1) << input << " was refused";
        edit("OutputText")->setText(qs(folder.string() + "/"));
    }
    // Quitting leaves nothing temporary beside the settings file.
    void quit()
    {
        click("cmdExit");
        ASSERT_TRUE(window->closing());
        EXPECT_EQ(namesIn(program), (std::set<std::string>{"Velmora.ini", "libTarvikDll.so"}));
    }

    std::vector<std::string> libraryReports;
    ui::DllEncoder real{qs(program.string()), [this](const std::string &m) { libraryReports.push_back(m); }};
    StagedEncoder staged{real};
};

TEST_F(EndToEnd, TwoClipsWithTheirOwnSettingsBecomeTwoPlayableFiles)
{
    addJob(clip("alpha.mp4", "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=frequency=440:duration=2 "
                             "-c:v mpeg4 -c:a aac -shortest"),
           output);
    child<QComboBox>("FRCombo")->setCurrentIndex(9);  // "10"
    child<QComboBox>("ASRCombo")->setCurrentIndex(4); // "32000"
    edit("TextLogo")->setText(QStringLiteral("Velmora"));
    child<QCheckBox>("CheckReverse")->setChecked(true);
    // The second job starts from the first one's values, shown in the panel.
    addJob(clip("beta.avi", "-f lavfi -i testsrc=size=640x360:rate=25:duration=3 -c:v mpeg4 -an"), output);
    child<QComboBox>("FRCombo")->setCurrentIndex(14); // "15"
    child<QComboBox>("ASRCombo")->setCurrentIndex(3); // "22050"
    edit("TextLogo")->clear();
    child<QCheckBox>("CheckReverse")->setChecked(false);
    EXPECT_EQ(std::pair(window->jobs().settingsAt(0).totalTime, window->jobs().settingsAt(1).totalTime), std::pair(2, 3));

    click("cmdStart");

    EXPECT_EQ(prompter.boxes(), std::vector<std::string>{"Encode End!"});
    EXPECT_TRUE(libraryReports.empty());
    EXPECT_EQ(namesIn(output), (std::set<std::string>{"alpha.kvx", "beta.kvx"}));
    EXPECT_EQ(namesIn(program), std::set<std::string>{"libTarvikDll.so"});
    for (const auto &[name, frames, rate, fps] : {std::tuple{"alpha", 20u, 32000u, 10u}, {"beta", 45u, 22050u, 15u}}) {
        SCOPED_TRACE(name);
        const std::string bytes = support::readFile(output / (std::string(name) + ".kvx"));
        ASSERT_TRUE(isCompleteKvx(output / (std::string(name) + ".kvx")));
        const kvx::Header header = headerOf(bytes);
        EXPECT_EQ(std::tuple(header.frameCount, header.sampleRateHz, header.frameRateX256), std::tuple(frames, rate, fps * 256));
        support::writeFile(root / "video.m1v", bytes.substr(header.videoOffset, header.videoLength));
        support::writeFile(root / "audio.mp2", bytes.substr(header.audioOffset, header.audioLength));
        auto video = support::probe((root / "video.m1v").string(), "v:0", "codec_name,width,nb_read_frames", "mpegvideo");
        EXPECT_EQ(video, (std::map<std::string, std::string>{{"codec_name", "mpeg1video"}, {"width", "256"},
                                                             {"nb_read_frames", std::to_string(frames)}}));
        auto audio = support::probe((root / "audio.mp2").string(), "a:0", "codec_name,sample_rate", "mp3");
        EXPECT_EQ(audio, (std::map<std::string, std::string>{{"codec_name", "mp2"}, {"sample_rate", std::to_string(rate)}}));
    }
    quit();
}

enum class Fault { FolderMissing, KvxPastDiskLimit, StreamPastDiskLimit };

class OutputFaults : public EndToEnd, public ::testing::WithParamInterface<Fault>
{
};

// Two jobs; the second meets the fault. One box names the path to act on
// and the reason; job 1 keeps its file, job 2 leaves nothing half-written,
// and the window is ready for the next batch.
TEST_P(OutputFaults, TheUserLearnsWhereAndWhyAndNothingHalfWrittenStays)
{
    const std::string inputs = "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                               "-c:v mpeg4 -c:a mp2";
    support::FileSizeLimit limit;
    fs::path secondFolder = output;
    fs::path named = output / "beta.kvx";
    const char *reason = std::strerror(EFBIG);
    switch (GetParam()) {
    case Fault::FolderMissing: // found before the first pass: the user starts the other job
        secondFolder = named = output / "missing";
        named /= "beta.kvx";
        reason = std::strerror(ENOENT);
        prompter.askAnswers = {true};
        break;
    case Fault::KvxPastDiskLimit: // above either stream of job 2, below the file joining them
        staged.afterEnd = [&](int pass) {
            if (pass == 3)
                limit.apply(kvx::kHeaderBytes + std::max(fs::file_size(program / "temp.mp2"), fs::file_size(program / "temp.m1v")) +
                            std::min(fs::file_size(program / "temp.mp2"), fs::file_size(program / "temp.m1v")) / 2);
        };
        break;
    case Fault::StreamPastDiskLimit: // the library's video stream does not fit
        named = program / "temp.m1v";
        staged.beforeBegin = [&](int pass) {
            if (pass == 2)
                limit.apply(4096);
        };
        break;
    }
    addJob(clip("alpha.avi", inputs), output);
    addJob(clip("beta.avi", inputs), secondFolder);

    click("cmdStart");
    limit.lift();

    EXPECT_EQ(prompter.questions.size(), GetParam() == Fault::FolderMissing ? 1u : 0u);
    const std::vector<std::string> shown = prompter.boxes();
    ASSERT_EQ(shown.size(), 1u) << ::testing::PrintToString(shown);
    EXPECT_NE(shown[0].find(named.string()), std::string::npos) << shown[0] << "\n(should name " << named << ")";
    EXPECT_NE(shown[0].find(reason), std::string::npos) << shown[0];
    EXPECT_TRUE(libraryReports.empty());
    EXPECT_TRUE(isCompleteKvx(output / "alpha.kvx"));
    EXPECT_EQ(namesIn(output), std::set<std::string>{"alpha.kvx"});
    EXPECT_EQ(namesIn(program), std::set<std::string>{"libTarvikDll.so"});
    EXPECT_FALSE(child("cmdStart")->isHidden());
    EXPECT_TRUE(child("cmdOpenVideo")->isEnabled());
    EXPECT_FALSE(window->converting() || window->stopRequested());
    quit();
}

INSTANTIATE_TEST_SUITE_P(Output, OutputFaults,
                         ::testing::Values(Fault::FolderMissing, Fault::KvxPastDiskLimit, Fault::StreamPastDiskLimit),
                         [](const auto &fault) {
                             return std::string(std::array{"FolderMissing", "KvxPastDiskLimit", "StreamPastDiskLimit"}[int(fault.param)]);
                         });

} // namespace
