// Faults in the middle of a batch, through the real window and the real
// encoder library: an output that cannot be written, an input gone or
// damaged, Stop and closing at each step of a job. Every case is a two-job
// list whose second job meets the fault, so the first job's file shows what
// must survive.

#include "e2e_support.h"
#include "fakes.h"
#include "kvx_reader.h"
#include "settings/ini_file.h"
#include "settings/settings_schema.h"
#include "ui/dll_encoder.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace e2e;

constexpr const char *kNoInputText = "No Input Video File to convert! Please add Input Video File!";

// Forwards every call to the real library binding and lets a test act at a
// chosen point of a chosen pass. Passes are counted from 0 in the order they
// begin: job 1 video, job 1 audio, job 2 video, job 2 audio.
class StagedEncoder final : public core::Encoder
{
public:
    explicit StagedEncoder(core::Encoder &real) : m_real(real) {}

    std::function<void(int pass)> beforeBegin;
    std::function<void(int pass, int poll)> onPoll; // after the library answered
    std::function<void(int pass)> afterEnd;         // once per begun pass

    int passesBegun() const { return m_passes; }

    std::int32_t begin(const std::string &scriptPath, const std::string &outputPath, std::int32_t videoBitrate,
                       std::int32_t audioBitrate, std::int32_t sampleRate, std::int32_t videoPass,
                       std::int32_t mode) override
    {
        if (beforeBegin)
            beforeBegin(m_passes);
        ++m_passes;
        m_open = true;
        m_poll = 0;
        return m_real.begin(scriptPath, outputPath, videoBitrate, audioBitrate, sampleRate, videoPass, mode);
    }
    std::int32_t frame() override { return m_real.frame(); }
    std::int32_t encoding() override
    {
        const std::int32_t percent = m_real.encoding();
        if (onPoll)
            onPoll(m_passes - 1, m_poll);
        ++m_poll;
        return percent;
    }
    std::int32_t leftTime() override { return m_real.leftTime(); }
    std::int32_t end() override
    {
        const std::int32_t result = m_real.end();
        if (std::exchange(m_open, false) && afterEnd)
            afterEnd(m_passes - 1);
        return result;
    }
    std::int32_t getFrame(const std::string &scriptPath) override { return m_real.getFrame(scriptPath); }
    std::string lastError() override { return m_real.lastError(); }

private:
    core::Encoder &m_real;
    int m_passes = 0;
    int m_poll = 0;
    bool m_open = false;
};

// Records every box like the fake prompter and lets a test act while a box
// is up, as the user could while a real box runs its own event loop.
class StagedPrompter final : public ui::Prompter
{
public:
    test::FakePrompter recorded;
    std::function<void(const QString &text)> onMessage;

    void message(const QString &text, const QString &title, ui::MessageIcon icon) override
    {
        recorded.message(text, title, icon);
        if (onMessage)
            onMessage(text);
    }
    void messageWithDetail(const QString &text, const QString &title, const QString &detail) override
    {
        recorded.messageWithDetail(text, title, detail);
        if (onMessage)
            onMessage(text);
    }
    QString openFileName(const ui::FileRequest &request) override { return recorded.openFileName(request); }
    QStringList openFileNames(const ui::FileRequest &request) override { return recorded.openFileNames(request); }
    std::optional<QFont> chooseFont(const QFont &initial) override { return recorded.chooseFont(initial); }
    std::optional<QColor> chooseColor(const QColor &initial) override { return recorded.chooseColor(initial); }
    bool chooseOutputFolder(QString &chosenFolder) override { return recorded.chooseOutputFolder(chosenFolder); }
    QString inputText(const QString &title, const QString &prompt) override
    {
        return recorded.inputText(title, prompt);
    }
};

// A lower file size limit for this process (the window's writes and the
// library's worker threads alike), as a disk that fills up at that size.
// SIGXFSZ is ignored meanwhile, so a write past the limit fails with EFBIG
// instead of killing the tests. Both are put back on destruction.
class FileSizeLimit
{
public:
    FileSizeLimit()
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        struct sigaction ignore{};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &m_savedAction);
    }
    ~FileSizeLimit()
    {
        lift();
        sigaction(SIGXFSZ, &m_savedAction, nullptr);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    void apply(std::uintmax_t bytes)
    {
        rlimit limit = m_saved;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0) << std::strerror(errno);
    }
    void lift() { setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved{};
    struct sigaction m_savedAction{};
};

// A folder not even root can create files in: the immutable attribute.
// Unlocked again on destruction so the test folder can be removed.
class ImmutableFolder
{
public:
    explicit ImmutableFolder(const fs::path &folder)
        : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        int flags = 0;
        if (m_fd < 0 || ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) != 0)
            return;
        m_flags = flags;
        flags |= FS_IMMUTABLE_FL;
        m_locked = ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ~ImmutableFolder()
    {
        if (m_locked)
            ::ioctl(m_fd, FS_IOC_SETFLAGS, &m_flags);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ImmutableFolder(const ImmutableFolder &) = delete;
    ImmutableFolder &operator=(const ImmutableFolder &) = delete;

    bool locked() const { return m_locked; }

private:
    int m_fd = -1;
    int m_flags = 0;
    bool m_locked = false;
};

class RunFaults : public EndToEnd
{
protected:
    RunFaults()
        : real(programFolder(), [this](const std::string &message) { libraryReports.push_back(message); })
        , staged(real)
        , window(staged, prompter, powerOff, programFolder())
    {
    }

    fs::path clip(const std::string &name)
    {
        return make(name, "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 "
                          "-f lavfi -i sine=frequency=440:duration=2 -c:v mpeg4 -c:a mp2");
    }

    // Adds [input] as the next job and gives it [outputFolder].
    ::testing::AssertionResult addJob(const fs::path &input, const fs::path &outputFolder)
    {
        const int before = window.jobs().count();
        window.addVideoFiles({QString::fromStdString(input.string())});
        if (window.jobs().count() != before + 1)
            return ::testing::AssertionFailure() << input << " was refused: " << boxes().size() << " box(es)";
        child<QLineEdit>(window, "OutputText")->setText(QString::fromStdString(outputFolder.string() + "/"));
        return ::testing::AssertionSuccess();
    }

    void start() { child<QAbstractButton>(window, "cmdStart")->click(); }

    // What the user was told: "text / detail" per box.
    std::vector<std::string> boxes() const
    {
        std::vector<std::string> shown;
        for (const test::Message &m : prompter.recorded.messages)
            shown.push_back(m.text.toStdString() + (m.detail.isEmpty() ? "" : " / " + m.detail.toStdString()));
        return shown;
    }

    // Back where Start was pressed: Start shown, list editable, no flag left.
    void expectIdle()
    {
        EXPECT_FALSE(child<QPushButton>(window, "cmdStart")->isHidden());
        EXPECT_TRUE(child<QPushButton>(window, "cmdOpenVideo")->isEnabled());
        EXPECT_FALSE(window.converting());
        EXPECT_FALSE(window.stopRequested());
        EXPECT_EQ(child<QSlider>(window, "Slider")->value(), 0);
        EXPECT_EQ(child<QProgressBar>(window, "ProgressBar")->value(), 0);
    }

    // The settings file after the window has closed: complete, showing the
    // output folder the controls showed, and no temporary file beside it.
    void expectSettingsSaved()
    {
        ASSERT_TRUE(window.closing());
        EXPECT_EQ(namesIn(program), (std::set<std::string>{"Velmora.ini", "libTarvikDll.so"}));
        const settings::IniFile ini = settings::IniFile::open((program / "Velmora.ini").string());
        constexpr std::string_view kAbsent = "\x01" "absent";
        for (const core::Control &key : core::kControls)
            EXPECT_NE(ini.read(key.section, key.key, kAbsent), kAbsent) << key.key;
        EXPECT_EQ(ini.read("Output Directory", "OutputText", kAbsent),
                  child<QLineEdit>(window, "OutputText")->text().toStdString());
    }

    void quit()
    {
        child<QAbstractButton>(window, "cmdExit")->click();
        expectSettingsSaved();
    }

    std::vector<std::string> libraryReports;
    ui::DllEncoder real;
    StagedEncoder staged;
    StagedPrompter prompter;
    test::FakePowerOff powerOff;
    ui::Form1 window;
};

// --- An output that cannot be written ------------------------------------

enum class OutputFault {
    FolderMissing,
    FolderIsAFile,    // root writes anywhere, but never below a regular file
    FolderImmutable,  // nor into a folder marked immutable
    KvxPastDiskLimit, // the streams fit, the .kvx joining them does not
    StreamPastDiskLimit, // the library's video stream does not fit
};

struct OutputCase
{
    const char *name;
    OutputFault fault;
};

void PrintTo(const OutputCase &c, std::ostream *os)
{
    *os << c.name;
}

class OutputFaults : public RunFaults, public ::testing::WithParamInterface<OutputCase>
{
};

TEST_P(OutputFaults, TheUserLearnsWhereAndWhyAndNothingHalfWrittenStays)
{
    const fs::path first = clip("alpha.avi");
    const fs::path second = clip("beta.avi");
    fs::path secondFolder = out;
    std::string reason;
    std::optional<ImmutableFolder> locked;
    FileSizeLimit limit;
    std::uintmax_t streamLimit = 0;
    switch (GetParam().fault) {
    case OutputFault::FolderMissing:
        secondFolder = out / "missing";
        reason = std::strerror(ENOENT);
        break;
    case OutputFault::FolderIsAFile:
        std::ofstream(out / "plain") << "not a folder";
        secondFolder = out / "plain";
        reason = std::strerror(ENOTDIR);
        break;
    case OutputFault::FolderImmutable:
        secondFolder = out / "locked";
        fs::create_directory(secondFolder);
        locked.emplace(secondFolder);
        if (!locked->locked())
            GTEST_SKIP() << "this file system cannot mark a folder immutable";
        reason = std::strerror(EPERM);
        break;
    case OutputFault::KvxPastDiskLimit:
        // Set once job 2's streams are complete: above either stream, below
        // the file that joins them.
        staged.afterEnd = [&](int pass) {
            if (pass != 3)
                return;
            const std::uintmax_t audio = fs::file_size(program / "temp.mp2");
            const std::uintmax_t video = fs::file_size(program / "temp.m1v");
            limit.apply(kvx::kHeaderBytes + std::max(audio, video) + std::min(audio, video) / 2);
        };
        reason = std::strerror(EFBIG);
        break;
    case OutputFault::StreamPastDiskLimit:
        streamLimit = 4096;
        staged.beforeBegin = [&](int pass) {
            if (pass == 2)
                limit.apply(streamLimit);
        };
        reason = std::strerror(EFBIG);
        break;
    }
    ASSERT_TRUE(addJob(first, out));
    ASSERT_TRUE(addJob(second, secondFolder));

    start();
    limit.lift();

    const std::vector<std::string> shown = boxes();
    ASSERT_EQ(shown.size(), 1u) << ::testing::PrintToString(shown);
    // The path the user has to act on, and why it failed.
    const std::string named = GetParam().fault == OutputFault::StreamPastDiskLimit
                                  ? (program / "temp.m1v").string()
                                  : (secondFolder / "beta.kvx").string();
    EXPECT_NE(shown.front().find(named), std::string::npos) << shown.front() << "\n(should name " << named << ")";
    EXPECT_NE(shown.front().find(reason), std::string::npos) << shown.front();
    EXPECT_TRUE(libraryReports.empty());

    // Job 1 keeps its file; job 2 leaves neither its .kvx nor a temporary name.
    EXPECT_TRUE(isCompleteKvx(out / "alpha.kvx"));
    std::set<std::string> expected{"alpha.kvx"};
    if (secondFolder != out && fs::exists(secondFolder))
        expected.insert(secondFolder.filename().string());
    EXPECT_EQ(namesIn(out), expected);
    if (fs::is_directory(secondFolder) && secondFolder != out) {
        EXPECT_TRUE(namesIn(secondFolder).empty());
    }
    if (streamLimit > 0) {
        // The limit really was below what the library had to write.
        const std::vector<std::uint8_t> bytes = readAll(out / "alpha.kvx");
        ASSERT_GT(bytes.size(), kvx::kHeaderBytes);
        const kvx::Header header =
            kvx::decodeHeader(std::span<const std::uint8_t, kvx::kHeaderBytes>(bytes.data(), kvx::kHeaderBytes));
        EXPECT_GT(header.videoLength, streamLimit);
    }

    // The streams are gone and the window is ready for the next batch.
    EXPECT_EQ(namesIn(program), std::set<std::string>{"libTarvikDll.so"});
    expectIdle();
    locked.reset();
    quit();
}

INSTANTIATE_TEST_SUITE_P(Output, OutputFaults,
                         ::testing::Values(OutputCase{"FolderMissing", OutputFault::FolderMissing},
                                           OutputCase{"FolderIsAFile", OutputFault::FolderIsAFile},
                                           OutputCase{"FolderImmutable", OutputFault::FolderImmutable},
                                           OutputCase{"KvxPastDiskLimit", OutputFault::KvxPastDiskLimit},
                                           OutputCase{"StreamPastDiskLimit", OutputFault::StreamPastDiskLimit}),
                         [](const ::testing::TestParamInfo<OutputCase> &test) { return test.param.name; });

// --- Inputs that go bad ----------------------------------------------------

TEST_F(RunFaults, AnInputDeletedAfterAddingIsRefusedAndTheBatchEndsCleanly)
{
    ASSERT_TRUE(addJob(clip("alpha.avi"), out));
    const fs::path second = clip("beta.avi");
    ASSERT_TRUE(addJob(second, out));
    fs::remove(second);

    start();

    EXPECT_EQ(boxes(), std::vector<std::string>{kNoInputText});
    ASSERT_EQ(prompter.recorded.messages.size(), 1u);
    EXPECT_EQ(prompter.recorded.messages.front().icon, ui::MessageIcon::Exclamation);
    EXPECT_EQ(staged.passesBegun(), 2) << "job 2 must not reach the library";
    EXPECT_TRUE(isCompleteKvx(out / "alpha.kvx"));
    EXPECT_EQ(namesIn(out), std::set<std::string>{"alpha.kvx"});
    EXPECT_EQ(namesIn(program), std::set<std::string>{"libTarvikDll.so"});
    expectIdle();
    quit();
}

TEST_F(RunFaults, AnInputCutOffHalfWayFailsItsPassWithTheLibrarysReason)
{
    ASSERT_TRUE(addJob(clip("alpha.avi"), out));
    // The index at the front still promises all 4 seconds after the cut.
    const fs::path whole = make("whole.mp4", "-f lavfi -i testsrc=size=320x240:rate=25:duration=4 "
                                             "-f lavfi -i sine=frequency=440:duration=4 "
                                             "-c:v mpeg4 -c:a aac -shortest -movflags +faststart");
    const fs::path damaged = media / "beta.mp4";
    const std::vector<std::uint8_t> bytes = readAll(whole);
    std::ofstream(damaged, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size() / 2));
    ASSERT_TRUE(addJob(damaged, out));

    start();

    const std::vector<std::string> shown = boxes();
    ASSERT_EQ(shown.size(), 1u) << ::testing::PrintToString(shown);
    EXPECT_EQ(prompter.recorded.messages.front().text.toStdString(), "Encode Error!");
    EXPECT_NE(shown.front().find("is damaged"), std::string::npos) << shown.front();
    EXPECT_NE(shown.front().find(damaged.string()), std::string::npos) << shown.front();
    EXPECT_EQ(staged.passesBegun(), 3) << "the video pass fails, the audio pass is not begun";
    EXPECT_TRUE(isCompleteKvx(out / "alpha.kvx"));
    EXPECT_EQ(namesIn(out), std::set<std::string>{"alpha.kvx"});
    EXPECT_EQ(namesIn(program), std::set<std::string>{"libTarvikDll.so"});
    expectIdle();
    quit();
}

// --- Stop and closing at each step of job 2 --------------------------------

enum class Stage {
    RefusalBox, // job 2's script is refused; the user acts while its box is up
    VideoPass,  // first poll of job 2's video pass
    AudioPass,  // first poll of job 2's audio pass
    Assembly,   // while job 1's .kvx is assembled: no events run there
    EndBox,     // while "Encode End!" is up
};

enum class Act { Stop, Close };

struct InterruptCase
{
    const char *name;
    Stage stage;
    Act act;
    int passesBegun;                  // how far the library got
    std::set<std::string> outputs;    // the complete .kvx files afterwards
    std::vector<std::string> shown;   // the boxes
};

void PrintTo(const InterruptCase &c, std::ostream *os)
{
    *os << c.name;
}

class Interruptions : public RunFaults, public ::testing::WithParamInterface<InterruptCase>
{
};

TEST_P(Interruptions, NothingTemporaryStaysAndFinishedJobsKeepTheirFiles)
{
    const InterruptCase &c = GetParam();
    ASSERT_TRUE(addJob(clip("alpha.avi"), out));
    const fs::path second = clip("beta.avi");
    ASSERT_TRUE(addJob(second, out));

    const auto act = [this, stop = c.act == Act::Stop] {
        if (stop)
            child<QAbstractButton>(window, "cmdStop")->click();
        else
            window.close();
    };
    // As a click or a close arriving from outside: handled at the run's next
    // wait for events.
    const auto queueAct = [this, act] { QMetaObject::invokeMethod(&window, act, Qt::QueuedConnection); };
    switch (c.stage) {
    case Stage::RefusalBox:
        fs::remove(second);
        prompter.onMessage = [act](const QString &text) {
            if (text.toStdString() == kNoInputText)
                act();
        };
        break;
    case Stage::VideoPass:
    case Stage::AudioPass: {
        const int pass = c.stage == Stage::VideoPass ? 2 : 3;
        staged.onPoll = [pass, queueAct](int current, int poll) {
            if (current == pass && poll == 0)
                queueAct();
        };
        break;
    }
    case Stage::Assembly:
        staged.afterEnd = [queueAct](int pass) {
            if (pass == 1)
                queueAct();
        };
        break;
    case Stage::EndBox:
        prompter.onMessage = [act](const QString &text) {
            if (text == QStringLiteral("Encode End!"))
                act();
        };
        break;
    }

    start();

    EXPECT_EQ(boxes(), c.shown);
    EXPECT_EQ(staged.passesBegun(), c.passesBegun);
    EXPECT_TRUE(libraryReports.empty());
    EXPECT_EQ(namesIn(out), c.outputs);
    for (const std::string &name : c.outputs)
        EXPECT_TRUE(isCompleteKvx(out / name)) << name;

    if (c.act == Act::Stop) {
        EXPECT_EQ(namesIn(program), std::set<std::string>{"libTarvikDll.so"});
        expectIdle();
        quit();
    } else {
        // The run gave up without touching the unloading window: Start, hidden
        // for the passes, was not shown again.
        EXPECT_TRUE(child<QPushButton>(window, "cmdStart")->isHidden());
        expectSettingsSaved();
    }
}

const std::set<std::string> kFirstOnly{"alpha.kvx"};
const std::set<std::string> kBoth{"alpha.kvx", "beta.kvx"};
const std::vector<std::string> kNoBox{};
const std::vector<std::string> kRefusal{kNoInputText};
const std::vector<std::string> kEnd{"Encode End!"};

INSTANTIATE_TEST_SUITE_P(
    EachStep, Interruptions,
    ::testing::Values(InterruptCase{"StopInRefusalBox", Stage::RefusalBox, Act::Stop, 2, kFirstOnly, kRefusal},
                      InterruptCase{"CloseInRefusalBox", Stage::RefusalBox, Act::Close, 2, kFirstOnly, kRefusal},
                      InterruptCase{"StopInVideoPass", Stage::VideoPass, Act::Stop, 3, kFirstOnly, kNoBox},
                      InterruptCase{"CloseInVideoPass", Stage::VideoPass, Act::Close, 3, kFirstOnly, kNoBox},
                      InterruptCase{"StopInAudioPass", Stage::AudioPass, Act::Stop, 4, kFirstOnly, kNoBox},
                      InterruptCase{"CloseInAudioPass", Stage::AudioPass, Act::Close, 4, kFirstOnly, kNoBox},
                      // Assembly runs no events: the act lands in job 2's video pass.
                      InterruptCase{"StopInAssembly", Stage::Assembly, Act::Stop, 3, kFirstOnly, kNoBox},
                      InterruptCase{"CloseInAssembly", Stage::Assembly, Act::Close, 3, kFirstOnly, kNoBox},
                      InterruptCase{"StopInEndBox", Stage::EndBox, Act::Stop, 4, kBoth, kEnd},
                      InterruptCase{"CloseInEndBox", Stage::EndBox, Act::Close, 4, kBoth, kEnd}),
    [](const ::testing::TestParamInfo<InterruptCase> &test) { return test.param.name; });

} // namespace
