// Two clips through the whole program: added to the real window with
// different settings, converted by the real encoder library, and the .kvx
// files checked with the inspector's reader and ffprobe.

#include "e2e_support.h"
#include "fakes.h"
#include "kvx_reader.h"
#include "ui/dll_encoder.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMetaObject>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace e2e;

// The "key=value" lines ffprobe prints for the first stream of [file].
std::map<std::string, std::string> probe(const fs::path &file, const std::string &format)
{
    const std::string out = run("ffprobe -v error -f " + format + " -count_frames"
                                + " -show_entries stream=codec_name,width,height,sample_rate,nb_read_frames"
                                + " -of default=noprint_wrappers=1 " + quoted(file));
    std::map<std::string, std::string> facts;
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        const std::string line = out.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (const std::size_t eq = line.find('='); eq != std::string::npos && !facts.count(line.substr(0, eq)))
            facts[line.substr(0, eq)] = line.substr(eq + 1);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return facts;
}

void writeBytes(const fs::path &file, const std::vector<std::uint8_t> &bytes, std::size_t offset, std::size_t length)
{
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data() + offset), static_cast<std::streamsize>(length));
}

double threadCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    const auto ms = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

class ConversionEndToEnd : public e2e::EndToEnd
{
};

struct Expected
{
    const char *name;
    std::uint32_t frames;
    std::uint32_t sampleRateHz;
    std::uint32_t framesPerSecond;
};

TEST_F(ConversionEndToEnd, TwoClipsWithTheirOwnSettingsBecomeTwoPlayableFiles)
{
    const fs::path withAudio = make("alpha.mp4", "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 "
                                                 "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 "
                                                 "-c:v mpeg4 -c:a aac -shortest");
    const fs::path silent = make("beta.avi", "-f lavfi -i testsrc=size=640x360:rate=25:duration=3 -c:v mpeg4 -an");

    test::FakePrompter prompter;
    test::FakePowerOff powerOff;
    std::vector<std::string> libraryReports;
    ui::DllEncoder encoder(QString::fromStdString(program.string()),
                           [&](const std::string &message) { libraryReports.push_back(message); });
    ui::Form1 window(encoder, prompter, powerOff, QString::fromStdString(program.string()));

    child<QLineEdit>(window, "OutputText")->setText(QString::fromStdString(out.string() + "/"));
    window.addVideoFiles({QString::fromStdString(withAudio.string())});
    ASSERT_EQ(window.jobs().count(), 1) << "the first clip was refused";
    child<QComboBox>(window, "FRCombo")->setCurrentIndex(9); // "10"
    child<QComboBox>(window, "ASRCombo")->setCurrentIndex(4); // "32000"
    child<QLineEdit>(window, "TextLogo")->setText(QStringLiteral("Velmora"));
    child<QCheckBox>(window, "CheckReverse")->setChecked(true);

    // The second job starts from the first one's values, shown in the panel.
    window.addVideoFiles({QString::fromStdString(silent.string())});
    ASSERT_EQ(window.jobs().count(), 2) << "the second clip was refused";
    child<QComboBox>(window, "FRCombo")->setCurrentIndex(14);  // "15"
    child<QComboBox>(window, "ASRCombo")->setCurrentIndex(3); // "22050"
    child<QLineEdit>(window, "TextLogo")->clear();
    child<QCheckBox>(window, "CheckReverse")->setChecked(false);
    EXPECT_EQ(window.jobs().settingsAt(0).totalTime, 2);
    EXPECT_EQ(window.jobs().settingsAt(1).totalTime, 3);

    // The run is synchronous inside the click; the window's thread waits in
    // its event dispatcher between polls.
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = threadCpuMs();
    child<QAbstractButton>(window, "cmdStart")->click();
    const double cpuMs = threadCpuMs() - cpuStart;
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart).count();
    std::cout << "[ measure  ] run " << wallMs << " ms wall, window thread " << cpuMs << " ms CPU\n";
    RecordProperty("run_wall_ms", static_cast<int>(wallMs));
    RecordProperty("window_thread_cpu_ms", static_cast<int>(cpuMs));

    // One box, the batch's end; anything else is a failure worth reading.
    std::vector<std::string> boxes;
    for (const test::Message &m : prompter.messages)
        boxes.push_back(m.text.toStdString() + (m.detail.isEmpty() ? "" : " / " + m.detail.toStdString()));
    EXPECT_EQ(boxes, std::vector<std::string>{"Encode End!"});
    EXPECT_TRUE(libraryReports.empty());
    EXPECT_EQ(powerOff.requests, 0);

    // Nothing but the two files in the output folder: no partial file beside
    // them; and no temporary file left in the program folder.
    EXPECT_EQ(namesIn(out), (std::set<std::string>{"alpha.kvx", "beta.kvx"}));
    EXPECT_EQ(namesIn(program), std::set<std::string>{"libTarvikDll.so"});

    const fs::path streams = root / "streams";
    fs::create_directories(streams);
    for (const Expected &job : {Expected{"alpha", 20, 32000, 10}, Expected{"beta", 45, 22050, 15}}) {
        SCOPED_TRACE(job.name);
        const std::vector<std::uint8_t> bytes = readAll(out / (std::string(job.name) + ".kvx"));
        ASSERT_GT(bytes.size(), kvx::kHeaderBytes);
        const kvx::Header header = kvx::decodeHeader(std::span<const std::uint8_t, kvx::kHeaderBytes>(
            bytes.data(), kvx::kHeaderBytes));
        EXPECT_EQ(std::string(header.magic.begin(), header.magic.end()), "KVX0");
        EXPECT_TRUE(kvx::layoutProblems(header, bytes.size()).empty());
        EXPECT_EQ(bytes.size(), kvx::kHeaderBytes + header.audioLength + header.videoLength);
        EXPECT_EQ(header.frameCount, job.frames);
        EXPECT_EQ(header.sampleRateHz, job.sampleRateHz);
        EXPECT_EQ(header.frameRateX256, job.framesPerSecond * 256);
        ASSERT_GT(header.audioLength, 0u);
        ASSERT_GT(header.videoLength, 0u);
        ASSERT_TRUE(kvx::layoutProblems(header, bytes.size()).empty());

        const fs::path video = streams / (std::string(job.name) + ".m1v");
        const fs::path audio = streams / (std::string(job.name) + ".mp2");
        writeBytes(video, bytes, header.videoOffset, header.videoLength);
        writeBytes(audio, bytes, header.audioOffset, header.audioLength);
        const auto videoFacts = probe(video, "mpegvideo");
        EXPECT_EQ(videoFacts.count("codec_name") ? videoFacts.at("codec_name") : "", "mpeg1video");
        EXPECT_EQ(videoFacts.count("width") ? videoFacts.at("width") : "", "256");
        EXPECT_EQ(videoFacts.count("nb_read_frames") ? videoFacts.at("nb_read_frames") : "",
                  std::to_string(header.frameCount));
        const auto audioFacts = probe(audio, "mp3");
        EXPECT_EQ(audioFacts.count("codec_name") ? audioFacts.at("codec_name") : "", "mp2");
        EXPECT_EQ(audioFacts.count("sample_rate") ? audioFacts.at("sample_rate") : "",
                  std::to_string(job.sampleRateHz));
    }

    // Quitting keeps the program folder clean and saves the last job's settings.
    child<QAbstractButton>(window, "cmdExit")->click();
    EXPECT_TRUE(window.closing());
    EXPECT_EQ(namesIn(program), (std::set<std::string>{"Velmora.ini", "libTarvikDll.so"}));
}

TEST_F(ConversionEndToEnd, ClosingDuringThePassLeavesNothingBehind)
{
    const fs::path clip = make("gamma.avi", "-f lavfi -i testsrc=size=640x360:rate=25:duration=3 "
                                            "-f lavfi -i sine=frequency=440:duration=3 -c:v mpeg4 -c:a mp2");
    test::FakePrompter prompter;
    test::FakePowerOff powerOff;
    ui::DllEncoder encoder(QString::fromStdString(program.string()), [](const std::string &) {});
    ui::Form1 window(encoder, prompter, powerOff, QString::fromStdString(program.string()));
    child<QLineEdit>(window, "OutputText")->setText(QString::fromStdString(out.string() + "/"));
    window.addVideoFiles({QString::fromStdString(clip.string())});
    ASSERT_EQ(window.jobs().count(), 1);

    // Queued now, it runs at the run's first wait for events: inside the video pass.
    QMetaObject::invokeMethod(&window, [&window] { window.close(); }, Qt::QueuedConnection);
    child<QAbstractButton>(window, "cmdStart")->click();

    EXPECT_TRUE(window.closing());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(namesIn(out).empty());
    EXPECT_EQ(namesIn(program), (std::set<std::string>{"Velmora.ini", "libTarvikDll.so"}));
}

} // namespace
