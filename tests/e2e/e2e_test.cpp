// The whole program: the real window (offscreen) over the real encoder
// library, converting clips made with the ffmpeg command line. The happy
// path of two clips with their own settings, and outputs that cannot be
// written, where the user must learn where and why; a batch of three whose
// middle job fails.

#include "convert/batch_texts.h"
#include "convert/run_log.h"
#include "kvx_reader.h"
#include "settings/ini_file.h"
#include "support/fake_encoder.h"
#include "support/fake_prompter.h"
#include "support/scratch.h"
#include "ui/dll_encoder.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <gtest/gtest.h>

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

class EndToEnd : public ::testing::Test
{
protected:
    EndToEnd()
    {
        for (const fs::path &folder : {program, media, out})
            fs::create_directories(folder);
        fs::create_symlink(TARVIK_LIBRARY_PATH, program / "libTarvikDll.so");
        window = std::make_unique<ui::Form1>(staged, prompter, powerOff, QString::fromStdString(program.string()));
    }

    fs::path clip(const std::string &name, const std::string &inputs)
    {
        int status = 0;
        support::run("ffmpeg -nostdin -v error -y " + inputs + " '" + (media / name).string() + "'", &status);
        EXPECT_EQ(status, 0) << name;
        return media / name;
    }
    void addJob(const fs::path &input, const fs::path &folder)
    {
        const int before = window->jobs().count();
        window->addVideoFiles({QString::fromStdString(input.string())});
        ASSERT_EQ(window->jobs().count(), before + 1) << input << " was refused";
        child<QLineEdit>("OutputText")->setText(QString::fromStdString(folder.string() + "/"));
    }
    template <typename W = QAbstractButton>
    W *child(const char *name) const
    {
        return window->findChild<W *>(QString::fromLatin1(name));
    }
    // Quitting saves every key and leaves nothing temporary beside the file.
    void quit()
    {
        child("cmdExit")->click();
        ASSERT_TRUE(window->closing());
        EXPECT_EQ(namesIn(program), (std::set<std::string>{"Velmora.ini", "libTarvikDll.so"}));
        const settings::IniFile ini = settings::IniFile::open((program / "Velmora.ini").string());
        for (const core::Control &key : core::kControls)
            EXPECT_NE(ini.read(key.section, key.key, "\x01"), "\x01") << key.key;
    }

    const fs::path root = support::scratchFolder();
    const fs::path program = root / "program", media = root / "media", out = root / "out";
    std::vector<std::string> libraryReports;
    ui::DllEncoder real{QString::fromStdString(program.string()), [this](const std::string &m) { libraryReports.push_back(m); }};
    StagedEncoder staged{real};
    support::FakePrompter prompter;
    support::FakePowerOff powerOff;
    std::unique_ptr<ui::Form1> window;
};

TEST_F(EndToEnd, TwoClipsWithTheirOwnSettingsBecomeTwoPlayableFiles)
{
    addJob(clip("alpha.mp4", "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=frequency=440:duration=2 "
                             "-c:v mpeg4 -c:a aac -shortest"),
           out);
    child<QComboBox>("FRCombo")->setCurrentIndex(9);  // "10"
    child<QComboBox>("ASRCombo")->setCurrentIndex(4); // "32000"
    child<QLineEdit>("TextLogo")->setText(QStringLiteral("Velmora"));
    child<QCheckBox>("CheckReverse")->setChecked(true);
    // The second job starts from the first one's values, shown in the panel.
    addJob(clip("beta.avi", "-f lavfi -i testsrc=size=640x360:rate=25:duration=3 -c:v mpeg4 -an"), out);
    child<QComboBox>("FRCombo")->setCurrentIndex(14); // "15"
    child<QComboBox>("ASRCombo")->setCurrentIndex(3); // "22050"
    child<QLineEdit>("TextLogo")->clear();
    child<QCheckBox>("CheckReverse")->setChecked(false);
    EXPECT_EQ(std::pair(window->jobs().settingsAt(0).totalTime, window->jobs().settingsAt(1).totalTime), std::pair(2, 3));

    child("cmdStart")->click();

    EXPECT_EQ(prompter.boxes(), std::vector<std::string>{"Encode End!"});
    EXPECT_TRUE(libraryReports.empty());
    EXPECT_EQ(namesIn(out), (std::set<std::string>{"alpha.kvx", "beta.kvx"}));
    EXPECT_EQ(namesIn(program), std::set<std::string>{"libTarvikDll.so"});
    for (const auto &[name, frames, rate, fps] : {std::tuple{"alpha", 20u, 32000u, 10u}, {"beta", 45u, 22050u, 15u}}) {
        SCOPED_TRACE(name);
        const std::string bytes = support::readFile(out / (std::string(name) + ".kvx"));
        ASSERT_TRUE(isCompleteKvx(out / (std::string(name) + ".kvx")));
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

// Three jobs whose middle one's output folder turns read-only while the
// first converts (after the check passed): the first and third .kvx appear,
// and the list, the end message and the log say what became of each job.
TEST_F(EndToEnd, ABatchGoesOnPastAFailedJobAndSaysWhatHappened)
{
    const fs::path locked = out / "locked";
    fs::create_directory(locked);
    const std::string inputs = "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                               "-c:v mpeg4 -c:a mp2";
    for (const std::string name : {"alpha", "beta", "gamma"})
        addJob(clip(name + ".avi", inputs), name == "beta" ? locked : out);

    bool isLocked = false; // root writes anywhere: only an immutable folder refuses it
    QTimer lock;
    QObject::connect(&lock, &QTimer::timeout, [&] {
        int status = 1;
        if (!isLocked && window->jobState(0) == core::JobState::Converting)
            support::run("chattr +i '" + locked.string() + "'", &status), isLocked = status == 0;
    });
    lock.start(5);
    child("cmdStart")->click();
    support::run("chattr -i '" + locked.string() + "'");
    if (!isLocked)
        GTEST_SKIP() << "this file system cannot mark a folder immutable";

    EXPECT_TRUE(prompter.questions.empty()) << "the check found nothing: no extra click";
    EXPECT_TRUE(isCompleteKvx(out / "alpha.kvx"));
    EXPECT_TRUE(isCompleteKvx(out / "gamma.kvx"));
    EXPECT_TRUE(namesIn(locked).empty());
    EXPECT_EQ(namesIn(program), std::set<std::string>{"libTarvikDll.so"});

    const std::string reason = std::strerror(EPERM);
    const std::vector<core::JobState> states{window->jobState(0), window->jobState(1), window->jobState(2)};
    EXPECT_EQ(states, (std::vector{core::JobState::Done, core::JobState::Failed, core::JobState::Done}));
    const std::string tip = child<QListWidget>("Listmp3")->item(1)->toolTip().toStdString();
    EXPECT_TRUE(tip.starts_with(core::kFailedTip) && tip.find(reason) != std::string::npos) << tip;

    const std::string logPath = window->runLog().path().string();
    const std::vector<std::string> shown = prompter.boxes();
    ASSERT_EQ(shown.size(), 1u);
    for (const std::string &part : {std::string("beta.avi"), reason, logPath})
        EXPECT_NE(shown[0].find(part), std::string::npos) << part << " in " << shown[0];
    window->runLog().flush();
    const std::string log = support::readFile(logPath);
    for (const std::string &part : {"Job 1 of 3: " + (media / "alpha.avi").string(),
                                    "Job 2 of 3: " + (media / "beta.avi").string(),
                                    "Job 3 of 3: " + (media / "gamma.avi").string(), reason, (out / "gamma.kvx").string()})
        EXPECT_NE(log.find(part), std::string::npos) << part << " in the log:\n" << log;
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
    fs::path secondFolder = out;
    fs::path named = out / "beta.kvx";
    const char *reason = std::strerror(EFBIG);
    switch (GetParam()) {
    case Fault::FolderMissing: // found before the first pass: the user starts the other job
        secondFolder = named = out / "missing";
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
    addJob(clip("alpha.avi", inputs), out);
    addJob(clip("beta.avi", inputs), secondFolder);

    child("cmdStart")->click();
    limit.lift();

    EXPECT_EQ(prompter.questions.size(), GetParam() == Fault::FolderMissing ? 1u : 0u);
    const std::vector<std::string> shown = prompter.boxes();
    ASSERT_EQ(shown.size(), 1u) << ::testing::PrintToString(shown);
    EXPECT_NE(shown[0].find(named.string()), std::string::npos) << shown[0] << "\n(should name " << named << ")";
    EXPECT_NE(shown[0].find(reason), std::string::npos) << shown[0];
    EXPECT_TRUE(libraryReports.empty());
    EXPECT_TRUE(isCompleteKvx(out / "alpha.kvx"));
    EXPECT_EQ(namesIn(out), std::set<std::string>{"alpha.kvx"});
    EXPECT_EQ(namesIn(program), std::set<std::string>{"libTarvikDll.so"});
    EXPECT_FALSE(child("cmdStart")->isHidden());
    EXPECT_TRUE(child("cmdOpenVideo")->isEnabled());
    EXPECT_FALSE(window->converting() || window->stopRequested());
    quit();
}

std::string faultName(const ::testing::TestParamInfo<Fault> &fault)
{
    return fault.param == Fault::FolderMissing      ? "FolderMissing"
           : fault.param == Fault::KvxPastDiskLimit ? "KvxPastDiskLimit"
                                                    : "StreamPastDiskLimit";
}

INSTANTIATE_TEST_SUITE_P(Output, OutputFaults,
                         ::testing::Values(Fault::FolderMissing, Fault::KvxPastDiskLimit, Fault::StreamPastDiskLimit),
                         faultName);

} // namespace
