// The whole program: the real window (offscreen) over the real encoder
// library, converting clips made with the ffmpeg command line. The happy
// path of two clips with their own settings, and outputs that cannot be
// written, where the user must learn where and why.

#include "convert/conversion_run.h"
#include "convert/run_log.h"
#include "settings/saved_list.h"
#include "kvx_reader.h"
#include "helper/helper_channel.h"
#include "helper/helper_encoder.h"
#include "helper/helper_services.h"
#include "ui/window_fixture.h"

#include <QCheckBox>
#include <QElapsedTimer>

#include <cstring>
#include <functional>
#include <set>
#include <span>
#include <utility>

namespace {

namespace fs = std::filesystem;

// Every name in [folder], hidden ones included, except the run's log, which
// stays and is read where it matters, and the list kept while it is not empty.
std::set<std::string> namesIn(const fs::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder)) {
        if (entry.path().filename() != core::kLogFileName && entry.path().filename() != settings::kSavedListFileName)
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

// The real helpers, with hooks before a pass begins and after it closed.
// Passes count from 0: job 1 video, job 1 audio, ... Each pass gets a
// helper of its own, so that limits the test sets on this process reach
// the helper that writes the stream.
class StagedServices final : public core::EncoderServices
{
public:
    StagedServices(std::string worker, std::string library) : m_worker(std::move(worker)), m_library(std::move(library)) {}
    std::function<void(int pass)> beforeBegin, afterEnd;

    std::string problem() override { return helper::HelperServices(m_worker, m_library).problem(); }
    std::unique_ptr<core::EncoderChannel> passes(core::EventLoop &loop) override
    {
        return std::make_unique<Channel>(*this, loop);
    }
    std::unique_ptr<core::Encoder> prober() override { return std::make_unique<helper::HelperEncoder>(m_worker, m_library); }
    std::unique_ptr<core::PreviewSource> previews() override { return nullptr; }

private:
    class Channel final : public core::EncoderChannel
    {
    public:
        Channel(StagedServices &owner, core::EventLoop &loop) : m_owner(owner), m_loop(loop) {}
        void setListener(Listener listener) override { m_listener = std::move(listener); }
        void open(const core::PassArgs &args) override
        {
            if (m_owner.beforeBegin)
                m_owner.beforeBegin(m_passes);
            m_real = std::make_unique<helper::HelperChannel>(m_loop, m_owner.m_worker, m_owner.m_library);
            Listener forward = m_listener;
            forward.closed = [this, pass = m_passes](std::int32_t result, const std::string &error, const std::string &notes) {
                if (m_owner.afterEnd)
                    m_owner.afterEnd(pass);
                m_listener.closed(result, error, notes);
            };
            m_real->setListener(forward);
            ++m_passes;
            m_real->open(args);
        }
        void close(std::chrono::milliseconds bound) override { m_real->close(bound); }
        void shutdown(std::chrono::milliseconds bound) override
        {
            if (m_real)
                m_real->shutdown(bound);
        }

    private:
        StagedServices &m_owner;
        core::EventLoop &m_loop;
        Listener m_listener;
        std::unique_ptr<helper::HelperChannel> m_real;
        int m_passes = 0;
    };

    std::string m_worker, m_library;
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
        add({qs(input.string())});
        ASSERT_EQ(window->jobs().count(), before + 1) << input << " was refused";
        edit("OutputText")->setText(qs(folder.string() + "/"));
    }
    // Quitting leaves nothing temporary beside the settings file.
    void quit()
    {
        click("cmdExit");
        ASSERT_TRUE(window->closing());
        EXPECT_EQ(namesIn(program), (std::set<std::string>{"Velmora.ini", "libTarvikDll.so"}));
        EXPECT_FALSE(fs::exists(program / settings::kSavedListFileName)); // a normal Quit leaves no list
    }

    StagedServices staged{VELMORA_WORKER_PATH, (program / "libTarvikDll.so").string()};
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

    runBatch();

    EXPECT_EQ(prompter.boxes(), std::vector<std::string>{"Encode End!"});
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

class OutputFaults : public EndToEnd, public ::testing::WithParamInterface<std::string> // the fault
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
    const bool folderMissing = GetParam() == "FolderMissing";
    if (folderMissing) { // found before the first pass: the user starts the other job
        secondFolder = named = output / "missing";
        named /= "beta.kvx";
        reason = std::strerror(ENOENT);
        prompter.askAnswers = {true};
    } else if (GetParam() == "KvxPastDiskLimit") { // above either stream of job 2, below the file joining them
        staged.afterEnd = [&](int pass) {
            if (pass == 3)
                limit.apply(kvx::kHeaderBytes + std::max(fs::file_size(program / "temp.mp2"), fs::file_size(program / "temp.m1v")) +
                            std::min(fs::file_size(program / "temp.mp2"), fs::file_size(program / "temp.m1v")) / 2);
        };
    } else { // the library's video stream does not fit
        named = program / "temp.m1v";
        staged.beforeBegin = [&](int pass) {
            if (pass == 2)
                limit.apply(4096);
        };
    }
    addJob(clip("alpha.avi", inputs), output);
    addJob(clip("beta.avi", inputs), secondFolder);

    runBatch();
    limit.lift();

    EXPECT_EQ(prompter.questions.size(), folderMissing ? 1u : 0u);
    const std::vector<std::string> shown = prompter.boxes();
    ASSERT_EQ(shown.size(), 1u) << ::testing::PrintToString(shown);
    EXPECT_NE(shown[0].find(named.string()), std::string::npos) << shown[0] << "\n(should name " << named << ")";
    EXPECT_NE(shown[0].find(reason), std::string::npos) << shown[0];
    EXPECT_TRUE(isCompleteKvx(output / "alpha.kvx"));
    EXPECT_EQ(namesIn(output), std::set<std::string>{"alpha.kvx"});
    EXPECT_EQ(namesIn(program), std::set<std::string>{"libTarvikDll.so"});
    EXPECT_FALSE(child("cmdStart")->isHidden());
    quit();
}

INSTANTIATE_TEST_SUITE_P(Output, OutputFaults, ::testing::Values("FolderMissing", "KvxPastDiskLimit", "StreamPastDiskLimit"),
                         [](const auto &fault) { return fault.param; });

// The real helpers over a library that misbehaves when a file's name says
// so: whatever a helper does, the window and the rest of the batch go on.
class HelperFaults : public WindowTest
{
protected:
    HelperFaults()
    {
        fs::create_symlink(FAULT_LIBRARY_PATH, program / "libTarvikDll.so");
        window = open(&helpers);
        edit("OutputText")->setText(qs(output.string() + "/"));
    }
    ~HelperFaults() override { window.reset(); }

    void addFiles(const std::vector<std::string> &names)
    {
        QStringList paths;
        for (const std::string &name : names) {
            support::writeFile(media / name, "");
            paths << qs((media / name).string());
        }
        add(paths);
        ASSERT_EQ(window->jobs().count(), int(names.size()));
    }
    std::string tip(int row) const { return list()->item(row)->toolTip().toStdString(); }

    helper::HelperServices helpers{VELMORA_WORKER_PATH, (program / "libTarvikDll.so").string()};
};

// A file whose probe crashes its helper is refused with the reason; the
// list stays. A helper that crashes in the video pass of job 2 of 3: jobs 1
// and 3 converted, job 2 failed with the crash as its reason, nothing
// temporary left.
TEST_F(HelperFaults, ACrashFailsItsJobOrFileAndTheBatchGoesOn)
{
    addFiles({"one.avi", "two-crash-video.avi", "three.avi"});
    support::writeFile(media / "bad-crash-probe.avi", "");
    add({qs((media / "bad-crash-probe.avi").string())});
    EXPECT_EQ(window->jobs().count(), 3);
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_NE(prompter.boxes()[0].find("segmentation fault"), std::string::npos) << prompter.boxes()[0];
    runBatch();
    EXPECT_EQ(std::vector({window->jobState(0), window->jobState(1), window->jobState(2)}),
              std::vector({core::JobState::Done, core::JobState::Failed, core::JobState::Done}));
    EXPECT_NE(tip(1).find("stopped unexpectedly (segmentation fault) while converting the video of two-crash-video.avi"),
              std::string::npos) << tip(1);
    EXPECT_EQ(namesIn(output), (std::set<std::string>{"one.kvx", "three.kvx"}));
    EXPECT_EQ(namesIn(program), std::set<std::string>{"libTarvikDll.so"});
    ASSERT_EQ(prompter.boxes().size(), 2u);
    EXPECT_NE(prompter.boxes()[1].find("2 of 3"), std::string::npos) << prompter.boxes()[1];
}

// Stop while the helper is stuck inside the library: the batch ends within
// 2 s, the helper with it.
TEST_F(HelperFaults, StopEndsARunWhoseHelperHangs)
{
    addFiles({"stuck-hang-video.avi"});
    click("cmdStart");
    waitUntil([this] { return label("LabelInfoPro")->text() == QString::fromUtf8(core::kVideoPassLabel); });
    QTest::qWait(200); // the helper is inside the library by now
    QElapsedTimer stopped;
    stopped.start();
    click("cmdStop");
    waitUntil([this] { return !window->converting(); });
    EXPECT_LT(stopped.elapsed(), 2000);
    EXPECT_EQ(window->jobState(0), core::JobState::Stopped);
    EXPECT_FALSE(child("cmdStart")->isHidden());
    EXPECT_EQ(namesIn(program), std::set<std::string>{"libTarvikDll.so"});
}

// Without its helper program the window says so at once, and nothing hangs.
TEST_F(WindowTest, AMissingHelperIsReportedAtAddAndStart)
{
    services.missing = "The helper program is missing.";
    add({video("v.avi", 10)});
    click("cmdStart");
    EXPECT_EQ(prompter.boxes(), std::vector<std::string>(2, services.missing));
    EXPECT_FALSE(window->converting() || window->adding());
}

} // namespace
