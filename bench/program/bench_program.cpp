// The whole program's path, timed: the real window (offscreen) over the real
// encoder library, driven by its own slots. Run with run.sh.
//
//   bench_program convert WORK INPUT   one job at the default settings: Start
//                                      to the "Encode End!" box, the window
//                                      thread's CPU, the .kvx it wrote
//   bench_program add WORK FOLDER      every file of FOLDER (name order) in
//                                      one add: total and per file
//   bench_program preflight WORK FOLDER
//                                      the same add, then the check Start
//                                      makes before the first pass, timed
//
// WORK/program (the program folder, holding a link to the library) and
// WORK/out are emptied first. Results are one line of key=value pairs; a
// conversion also leaves the script the library ran in WORK/last_script.avs.

#include "convert/conversion_run.h"
#include "convert/encoder.h"
#include "convert/power_off.h"
#include "convert/preflight.h"
#include "kvx_reader.h"
#include "ui/dll_encoder.h"
#include "../quiet_prompter.h"
#include "ui/form1.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start, Clock::time_point end = Clock::now())
{
    return std::chrono::duration<double>(end - start).count();
}

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto sec = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return sec(usage.ru_utime) + sec(usage.ru_stime);
}

// Answers every dialog with OK or "cancelled" and notes when each box came.
class BenchPrompter final : public QuietPrompter
{
public:
    struct Box
    {
        std::string text;
        Clock::time_point at;
    };
    std::vector<Box> boxes;

    void message(const QString &text, const QString &, ui::MessageIcon) override
    {
        boxes.push_back({text.toStdString(), Clock::now()});
    }
    void messageWithDetail(const QString &text, const QString &, const QString &detail) override
    {
        boxes.push_back({text.toStdString() + (detail.isEmpty() ? "" : " / " + detail.toStdString()), Clock::now()});
    }
};

class NoPowerOff final : public core::PowerOff
{
public:
    Result request() override { return {.accepted = false, .reason = "benchmark"}; }
};

// Passes every call to the real binding and adds up the wall time the window's
// thread spends inside the library, per entry point: what is left of a
// measured span is the program's own work (script writer, list, events).
class TimedEncoder final : public core::Encoder
{
public:
    struct Tally
    {
        int calls = 0;
        double seconds = 0;
    };
    Tally begins, frames, polls, leftTimes, ends, probes;
    std::vector<std::string> beginArgs; // "vkbps akbps Hz pass mode" per begin
    std::string lastScript;             // the script the last begin was given

    explicit TimedEncoder(core::Encoder &inner)
        : m_inner(inner)
    {
    }

    std::int32_t begin(const std::string &scriptPath, const std::string &outputPath, std::int32_t videoBitrate,
                       std::int32_t audioBitrate, std::int32_t sampleRate, std::int32_t videoPass,
                       std::int32_t mode) override
    {
        beginArgs.push_back(std::to_string(videoBitrate) + " " + std::to_string(audioBitrate) + " "
                            + std::to_string(sampleRate) + " " + std::to_string(videoPass) + " "
                            + std::to_string(mode));
        std::ifstream script(scriptPath, std::ios::binary);
        lastScript.assign(std::istreambuf_iterator<char>(script), std::istreambuf_iterator<char>());
        return timed(begins, [&] {
            return m_inner.begin(scriptPath, outputPath, videoBitrate, audioBitrate, sampleRate, videoPass, mode);
        });
    }
    std::int32_t frame() override { return timed(frames, [&] { return m_inner.frame(); }); }
    std::int32_t encoding() override { return timed(polls, [&] { return m_inner.encoding(); }); }
    std::int32_t leftTime() override { return timed(leftTimes, [&] { return m_inner.leftTime(); }); }
    std::int32_t end() override { return timed(ends, [&] { return m_inner.end(); }); }
    std::int32_t getFrame(const std::string &scriptPath) override
    {
        return timed(probes, [&] { return m_inner.getFrame(scriptPath); });
    }
    std::string lastError() override { return m_inner.lastError(); }

    double librarySeconds() const
    {
        return begins.seconds + frames.seconds + polls.seconds + leftTimes.seconds + ends.seconds + probes.seconds;
    }

private:
    template <typename F>
    std::int32_t timed(Tally &tally, F call)
    {
        const Clock::time_point start = Clock::now();
        const std::int32_t result = call();
        tally.seconds += secondsSince(start);
        ++tally.calls;
        return result;
    }

    core::Encoder &m_inner;
};

// A fresh program folder with the library in it, as the program is installed.
fs::path prepareProgramFolder(const fs::path &work)
{
    const fs::path program = work / "program";
    fs::remove_all(program);
    fs::create_directories(program);
    fs::create_symlink(TARVIK_LIBRARY_PATH, program / "libTarvikDll.so");
    return program;
}

QString qpath(const fs::path &path)
{
    return QString::fromStdString(path.string());
}

std::string comboText(const ui::Form1 &window, const char *name)
{
    const auto *combo = window.findChild<QComboBox *>(QString::fromLatin1(name));
    return combo != nullptr ? combo->currentText().toStdString() : "?";
}

std::string quotedBoxes(const BenchPrompter &prompter)
{
    std::string text;
    for (const BenchPrompter::Box &box : prompter.boxes)
        text += (text.empty() ? "" : "|") + box.text;
    return "\"" + text + "\"";
}

int convert(const fs::path &work, const fs::path &input)
{
    const fs::path program = prepareProgramFolder(work);
    const fs::path out = work / "out";
    fs::remove_all(out);
    fs::create_directories(out);

    BenchPrompter prompter;
    NoPowerOff powerOff;
    std::string libraryReport;
    ui::DllEncoder library(qpath(program), [&](const std::string &message) { libraryReport = message; });
    TimedEncoder encoder(library);
    ui::Form1 window(encoder, prompter, powerOff, qpath(program));
    // Shown, so that the progress and list updates are painted as on a desktop.
    window.show();
    window.findChild<QLineEdit *>(QStringLiteral("OutputText"))->setText(qpath(out) + QStringLiteral("/"));

    window.addVideoFiles({qpath(input)});
    if (window.jobs().count() != 1) {
        std::cerr << "the input was refused: " << quotedBoxes(prompter) << " " << libraryReport << "\n";
        return 1;
    }
    prompter.boxes.clear();
    encoder.beginArgs.clear();
    encoder.probes = {};

    const Clock::time_point wallStart = Clock::now();
    const double threadStart = cpuSeconds(RUSAGE_THREAD);
    const double processStart = cpuSeconds(RUSAGE_SELF);
    window.startConversion();
    const double threadCpu = cpuSeconds(RUSAGE_THREAD) - threadStart;
    const double processCpu = cpuSeconds(RUSAGE_SELF) - processStart;
    const double returned = secondsSince(wallStart);

    const auto endBox = std::find_if(prompter.boxes.begin(), prompter.boxes.end(), [](const BenchPrompter::Box &b) {
        return b.text == core::kEncodeEndText;
    });
    if (endBox == prompter.boxes.end() || prompter.boxes.size() != 1) {
        std::cerr << "the run did not end with a single \"Encode End!\" box: " << quotedBoxes(prompter) << " "
                  << libraryReport << "\n";
        return 1;
    }
    const double wall = secondsSince(wallStart, endBox->at);

    // Kept for reading: the script the library ran, as the window wrote it.
    std::ofstream(work / "last_script.avs", std::ios::binary) << encoder.lastScript;

    const fs::path kvxFile = out / (input.stem().string() + ".kvx");
    std::ifstream in(kvxFile, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() < kvx::kHeaderBytes) {
        std::cerr << "no .kvx at " << kvxFile << "\n";
        return 1;
    }
    const kvx::Header header =
        kvx::decodeHeader(std::span<const std::uint8_t, kvx::kHeaderBytes>(bytes.data(), kvx::kHeaderBytes));
    const std::vector<std::string> problems = kvx::layoutProblems(header, bytes.size());

    std::string begins;
    for (const std::string &args : encoder.beginArgs)
        begins += (begins.empty() ? "" : ",") + args;
    std::printf("wall_s %.3f returned_s %.3f window_cpu_s %.3f window_cpu_pct %.2f process_cpu_s %.2f"
                " library_calls_s %.3f polls %d poll_s %.3f begin_s %.3f end_s %.3f"
                " frames %u video_bytes %u audio_bytes %u kvx_ok %d"
                " fps %s vkbps %s akbps %s hz %s mode \"%s\" begin_args \"%s\"\n",
                wall, returned, threadCpu, 100.0 * threadCpu / wall, processCpu, encoder.librarySeconds(),
                encoder.polls.calls, encoder.polls.seconds, encoder.begins.seconds, encoder.ends.seconds,
                header.frameCount, header.videoLength, header.audioLength, problems.empty() ? 1 : 0,
                comboText(window, "FRCombo").c_str(),
                window.findChild<QLineEdit *>(QStringLiteral("VBRText"))->text().toStdString().c_str(),
                comboText(window, "ABRCombo").c_str(), comboText(window, "ASRCombo").c_str(),
                comboText(window, "ModeCombo").c_str(), begins.c_str());
    return 0;
}

int add(const fs::path &work, const fs::path &folder, bool thenCheck)
{
    const fs::path program = prepareProgramFolder(work);

    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    QStringList paths;
    for (const fs::path &file : files)
        paths.push_back(qpath(file));

    BenchPrompter prompter;
    NoPowerOff powerOff;
    std::string libraryReport;
    ui::DllEncoder library(qpath(program), [&](const std::string &message) { libraryReport = message; });
    TimedEncoder encoder(library);
    ui::Form1 window(encoder, prompter, powerOff, qpath(program));
    // Shown, so that the progress and list updates are painted as on a desktop.
    window.show();

    // The library is loaded at its first call; a one-file add beforehand keeps
    // the loading (and the first use of libav) out of the figure.
    const Clock::time_point loadStart = Clock::now();
    window.addVideoFiles({paths.front()});
    const double firstAdd = secondsSince(loadStart);
    window.removeSelectedJob();
    encoder.probes = {};

    const Clock::time_point wallStart = Clock::now();
    const double threadStart = cpuSeconds(RUSAGE_THREAD);
    window.addVideoFiles(paths);
    const double threadCpu = cpuSeconds(RUSAGE_THREAD) - threadStart;
    const double wall = secondsSince(wallStart);

    const int added = window.jobs().count();
    const double count = static_cast<double>(paths.size());
    std::printf("files %d added %d total_s %.3f per_file_ms %.2f probe_s %.3f probe_per_file_ms %.2f"
                " rest_per_file_ms %.2f window_cpu_s %.3f first_add_s %.3f boxes %zu\n",
                static_cast<int>(paths.size()), added, wall, 1000.0 * wall / count, encoder.probes.seconds,
                encoder.probes.calls > 0 ? 1000.0 * encoder.probes.seconds / encoder.probes.calls : 0.0,
                1000.0 * (wall - encoder.probes.seconds) / count, threadCpu, firstAdd, prompter.boxes.size());
    if (added != paths.size() && !prompter.boxes.empty())
        std::cerr << prompter.boxes.size() << " boxes, the first: " << prompter.boxes.front().text << " "
                  << libraryReport << "\n";
    if (added != paths.size())
        return 1;
    if (!thenCheck)
        return 0;

    // What Start does before the first pass, on the window's thread: every
    // job's script written and opened, every output estimated and its disk
    // asked. Three rounds, to see the spread.
    for (int round = 0; round < 3; ++round) {
        encoder.probes = {};
        core::PreflightEnv env{.encoder = encoder,
                               .appFolder = window.paths().appFolder,
                               .scriptPath = window.paths().scriptPath};
        const Clock::time_point start = Clock::now();
        const std::optional<core::PreflightReport> report = core::preflight(window.jobs().entries(), env);
        const double seconds = secondsSince(start);
        std::printf("preflight jobs %d total_s %.3f per_job_ms %.2f probe_s %.3f problems %zu\n", added, seconds,
                    1000.0 * seconds / added, encoder.probes.seconds, report ? report->problems.size() : 0u);
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "convert")
        return convert(args[1], args[2]);
    if (args.size() == 3 && (args[0] == "add" || args[0] == "preflight"))
        return add(args[1], args[2], args[0] == "preflight");
    std::cerr << "usage: bench_program convert WORK INPUT | add WORK FOLDER | preflight WORK FOLDER\n";
    return 2;
}
