// The whole program's path, timed: the real window (offscreen) over the real
// helper processes (velmora-worker serving the encoder library), driven by its
// own slots and its own event loop. Run with run.sh.
//
//   bench_program convert WORK INPUT   one job at the default settings: Start
//                                      to the "Encode End!" box, the window
//                                      thread's CPU, the .kvx it wrote
//   bench_program add WORK FOLDER      every file of FOLDER (name order) in
//                                      one add: total and per file, and the
//                                      window loop's longest stall
//   bench_program preflight WORK FOLDER
//                                      the same add, then the check Start
//                                      makes before the first pass, timed
//   bench_program batch WORK FOLDER ROUNDS
//                                      every file of FOLDER converted in one
//                                      batch through the window, then the same
//                                      passes in this process through the
//                                      library's C interface; ROUNDS times
//   bench_program preview WORK VIDEO RUNS
//                                      the preview's middle frame of VIDEO
//                                      through a fresh preview source, RUNS times
//
// WORK/program (the program folder) and WORK/out are emptied first. Results
// are lines of key value pairs; a conversion also leaves the script of its
// last pass in WORK/last_script.avs.

#include "../quiet_prompter.h"
#include "convert/batch_texts.h"
#include "convert/encoder.h"
#include "convert/encoder_channel.h"
#include "convert/encoder_services.h"
#include "convert/power_off.h"
#include "convert/preflight.h"
#include "helper/helper_services.h"
#include "kvx_reader.h"
#include "script/script_writer.h"
#include "tarvik.h"
#include "ui/form1.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <dlfcn.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
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

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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

    const Box *endBox() const
    {
        const auto it = std::find_if(boxes.begin(), boxes.end(),
                                     [](const Box &b) { return b.text == core::kEncodeEndText; });
        return it != boxes.end() ? &*it : nullptr;
    }
    std::string quoted() const
    {
        std::string text;
        for (const Box &box : boxes)
            text += (text.empty() ? "" : "|") + box.text;
        return "\"" + text + "\"";
    }
};

class NoPowerOff final : public core::PowerOff
{
public:
    Result request() override { return {.accepted = false, .reason = "benchmark"}; }
};

// One pass as the window saw it: what it asked for, the script it had
// written, and when it asked and when the helper's answer that the pass was
// closed came back on the window's thread.
struct PassRecord
{
    core::PassArgs args;
    std::string script;
    Clock::time_point asked;
    Clock::time_point closed;
    std::int32_t result = -1;
};

// The helper's pass channel, noting each pass; everything is passed on
// unchanged, on the window's thread.
class WatchedChannel final : public core::EncoderChannel
{
public:
    WatchedChannel(std::unique_ptr<core::EncoderChannel> inner, std::vector<PassRecord> &passes)
        : m_inner(std::move(inner)), m_passes(passes)
    {
    }

    void setListener(Listener listener) override
    {
        m_outer = std::move(listener);
        Listener inner = m_outer;
        inner.opened = [this](std::int32_t result, std::int32_t frames, const std::string &error) {
            if (result == -1)
                noteClosed(result);
            m_outer.opened(result, frames, error);
        };
        inner.closed = [this](std::int32_t result, const std::string &error, const std::string &notes) {
            noteClosed(result);
            m_outer.closed(result, error, notes);
        };
        inner.lost = [this](const std::string &what) {
            noteClosed(-1);
            if (m_outer.lost)
                m_outer.lost(what);
        };
        m_inner->setListener(std::move(inner));
    }
    void open(const core::PassArgs &args) override
    {
        // Read before the helper can see it: the script the pass will run.
        m_passes.push_back({.args = args, .script = readFile(args.scriptPath), .asked = Clock::now(), .closed = {}});
        m_inner->open(args);
    }
    void close(std::chrono::milliseconds bound) override { m_inner->close(bound); }
    void shutdown(std::chrono::milliseconds bound) override { m_inner->shutdown(bound); }

private:
    void noteClosed(std::int32_t result)
    {
        if (m_passes.empty())
            return;
        m_passes.back().closed = Clock::now();
        m_passes.back().result = result;
    }

    std::unique_ptr<core::EncoderChannel> m_inner;
    std::vector<PassRecord> &m_passes;
    Listener m_outer;
};

// Wall time spent in a blocking encoder's script probes (getFrame), from
// whichever thread calls it.
struct ProbeTally
{
    std::atomic<int> calls{0};
    std::atomic<std::int64_t> nanoseconds{0};

    double seconds() const { return static_cast<double>(nanoseconds.load()) / 1e9; }
    double perCallMs() const { return calls > 0 ? 1000.0 * seconds() / calls.load() : 0.0; }
    void reset()
    {
        calls = 0;
        nanoseconds = 0;
    }
};

class TimedProber final : public core::Encoder
{
public:
    TimedProber(std::unique_ptr<core::Encoder> inner, ProbeTally &tally) : m_inner(std::move(inner)), m_tally(tally) {}

    std::int32_t begin(const std::string &scriptPath, const std::string &outputPath, std::int32_t videoBitrate,
                       std::int32_t audioBitrate, std::int32_t sampleRate, std::int32_t videoPass,
                       std::int32_t mode) override
    {
        return m_inner->begin(scriptPath, outputPath, videoBitrate, audioBitrate, sampleRate, videoPass, mode);
    }
    std::int32_t frame() override { return m_inner->frame(); }
    std::int32_t encoding() override { return m_inner->encoding(); }
    std::int32_t leftTime() override { return m_inner->leftTime(); }
    std::int32_t end() override { return m_inner->end(); }
    std::int32_t getFrame(const std::string &scriptPath) override
    {
        const Clock::time_point start = Clock::now();
        const std::int32_t result = m_inner->getFrame(scriptPath);
        m_tally.nanoseconds += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        ++m_tally.calls;
        return result;
    }
    std::string lastError() override { return m_inner->lastError(); }
    void abort() override { m_inner->abort(); }

private:
    std::unique_ptr<core::Encoder> m_inner;
    ProbeTally &m_tally;
};

// The program's services, watched.
class BenchServices final : public core::EncoderServices
{
public:
    std::vector<PassRecord> passLog;
    ProbeTally probes;

    BenchServices() : m_real(VELMORA_WORKER_PATH, TARVIK_LIBRARY_PATH) {}

    std::string problem() override { return m_real.problem(); }
    std::unique_ptr<core::EncoderChannel> passes(core::EventLoop &loop) override
    {
        return std::make_unique<WatchedChannel>(m_real.passes(loop), passLog);
    }
    std::unique_ptr<core::Encoder> prober() override
    {
        return std::make_unique<TimedProber>(m_real.prober(), probes);
    }
    std::unique_ptr<core::PreviewSource> previews() override { return m_real.previews(); }

private:
    helper::HelperServices m_real;
};

// What the window's thread did while its event loop ran.
struct LoopRun
{
    double seconds = 0;
    double maxLateMs = 0; // the longest a tick came after it was due
    int ticks = 0;
    double threadCpu = 0;
    bool finished = false;
};

// Runs [action] from inside the window's event loop and keeps the loop going
// until [done] holds (or [limit] passes), with a timer every [tickMs] noting
// how late each tick comes: the longest the window could not react.
LoopRun runLoop(const std::function<void()> &action, const std::function<bool()> &done, int tickMs,
                std::chrono::seconds limit = std::chrono::seconds(3600))
{
    LoopRun run;
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    const Clock::time_point start = Clock::now();
    Clock::time_point last = start;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        const double gapMs = std::chrono::duration<double, std::milli>(now - last).count();
        run.maxLateMs = std::max(run.maxLateMs, gapMs - tickMs);
        last = now;
        ++run.ticks;
        if (done()) {
            run.finished = true;
            loop.quit();
        } else if (now - start > limit) {
            loop.quit();
        }
    });
    const double cpuStart = cpuSeconds(RUSAGE_THREAD);
    tick.start(tickMs);
    QTimer::singleShot(0, &loop, action);
    loop.exec();
    tick.stop();
    run.threadCpu = cpuSeconds(RUSAGE_THREAD) - cpuStart;
    run.seconds = secondsSince(start);
    return run;
}

// A fresh program folder: the settings file and the temporary files go there.
fs::path prepareProgramFolder(const fs::path &work)
{
    const fs::path program = work / "program";
    fs::remove_all(program);
    fs::create_directories(program);
    return program;
}

QString qpath(const fs::path &path)
{
    return QString::fromStdString(path.string());
}

QStringList filesOf(const fs::path &folder)
{
    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    QStringList paths;
    for (const fs::path &file : files)
        paths.push_back(qpath(file));
    return paths;
}

std::string comboText(const ui::Form1 &window, const char *name)
{
    const auto *combo = window.findChild<QComboBox *>(QString::fromLatin1(name));
    return combo != nullptr ? combo->currentText().toStdString() : "?";
}

void setOutputFolder(ui::Form1 &window, const fs::path &out)
{
    fs::remove_all(out);
    fs::create_directories(out);
    window.findChild<QLineEdit *>(QStringLiteral("OutputText"))->setText(qpath(out) + QStringLiteral("/"));
}

LoopRun addAll(ui::Form1 &window, const QStringList &paths, int tickMs)
{
    return runLoop([&] { window.addVideoFiles(paths); }, [&] { return !window.adding(); }, tickMs);
}

LoopRun convertAll(ui::Form1 &window, const BenchPrompter &prompter, int tickMs)
{
    // The run ends with its box; the flag drops right after it.
    return runLoop([&] { window.startConversion(); },
                   [&] { return !window.converting() && prompter.endBox() != nullptr; }, tickMs);
}

int convert(const fs::path &work, const fs::path &input)
{
    const fs::path program = prepareProgramFolder(work);
    BenchPrompter prompter;
    NoPowerOff powerOff;
    BenchServices services;
    double processStart = 0;
    {
        ui::Form1 window(services, prompter, powerOff, qpath(program));
        // Shown, so that the progress and list updates are painted as on a desktop.
        window.show();
        setOutputFolder(window, work / "out");

        addAll(window, {qpath(input)}, 50);
        if (window.jobs().count() != 1) {
            std::cerr << "the input was refused: " << prompter.quoted() << "\n";
            return 1;
        }
        prompter.boxes.clear();
        services.passLog.clear();

        processStart = cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN);
        const Clock::time_point wallStart = Clock::now();
        // A slow tick: the window thread's CPU is the figure here, not its lateness.
        const LoopRun run = convertAll(window, prompter, 50);
        const BenchPrompter::Box *endBox = prompter.endBox();
        if (!run.finished || endBox == nullptr || prompter.boxes.size() != 1 || services.passLog.size() != 2) {
            std::cerr << "the run did not end with a single \"Encode End!\" box: " << prompter.quoted() << "\n";
            return 1;
        }
        const double wall = secondsSince(wallStart, endBox->at);

        // Kept for reading: the script the library ran, as the window wrote it.
        std::ofstream(work / "last_script.avs", std::ios::binary) << services.passLog.back().script;

        const fs::path kvxFile = work / "out" / (input.stem().string() + ".kvx");
        const std::string bytes = readFile(kvxFile.string());
        if (bytes.size() < kvx::kHeaderBytes) {
            std::cerr << "no .kvx at " << kvxFile << "\n";
            return 1;
        }
        const kvx::Header header = kvx::decodeHeader(std::span<const std::uint8_t, kvx::kHeaderBytes>(
            reinterpret_cast<const std::uint8_t *>(bytes.data()), kvx::kHeaderBytes));
        const std::vector<std::string> problems = kvx::layoutProblems(header, bytes.size());

        std::string begins;
        double passSeconds = 0;
        for (const PassRecord &pass : services.passLog) {
            const core::PassArgs &a = pass.args;
            begins += (begins.empty() ? "" : ",") + std::to_string(a.videoBitrate) + " "
                      + std::to_string(a.audioBitrate) + " " + std::to_string(a.sampleRate) + " "
                      + std::to_string(a.videoPass) + " " + std::to_string(a.mode);
            passSeconds += secondsSince(pass.asked, pass.closed);
        }
        std::printf("wall_s %.3f window_cpu_s %.3f window_cpu_pct %.2f passes_s %.3f max_late_ms %.1f"
                    " frames %u video_bytes %u audio_bytes %u kvx_ok %d"
                    " fps %s vkbps %s akbps %s hz %s mode \"%s\" begin_args \"%s\"",
                    wall, run.threadCpu, 100.0 * run.threadCpu / wall, passSeconds, run.maxLateMs,
                    header.frameCount, header.videoLength, header.audioLength, problems.empty() ? 1 : 0,
                    comboText(window, "FRCombo").c_str(),
                    window.findChild<QLineEdit *>(QStringLiteral("VBRText"))->text().toStdString().c_str(),
                    comboText(window, "ABRCombo").c_str(), comboText(window, "ASRCombo").c_str(),
                    comboText(window, "ModeCombo").c_str(), begins.c_str());
        window.close();
    }
    // The helpers have been reaped with the window: their CPU is the children's.
    const double processCpu = cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN) - processStart;
    std::printf(" process_cpu_s %.2f\n", processCpu);
    return 0;
}

int add(const fs::path &work, const fs::path &folder, bool thenCheck)
{
    const fs::path program = prepareProgramFolder(work);
    const QStringList paths = filesOf(folder);

    BenchPrompter prompter;
    NoPowerOff powerOff;
    BenchServices services;
    ui::Form1 window(services, prompter, powerOff, qpath(program));
    // Shown, so that the progress and list updates are painted as on a desktop.
    window.show();

    // The helper starts at its first probe; a one-file add beforehand keeps
    // its start (and the library's first use of libav) out of the figure.
    const LoopRun first = addAll(window, {paths.front()}, 50);
    window.removeSelectedJob();
    services.probes.reset();

    const LoopRun run = addAll(window, paths, 5);
    const int added = window.jobs().count();
    const double count = static_cast<double>(paths.size());
    std::printf("files %d added %d total_s %.3f per_file_ms %.2f probe_s %.3f probe_per_file_ms %.2f"
                " rest_per_file_ms %.2f window_cpu_s %.3f max_late_ms %.1f ticks %d first_add_s %.3f boxes %zu\n",
                static_cast<int>(paths.size()), added, run.seconds, 1000.0 * run.seconds / count,
                services.probes.seconds(), services.probes.perCallMs(),
                1000.0 * (run.seconds - services.probes.seconds()) / count, run.threadCpu, run.maxLateMs, run.ticks,
                first.seconds, prompter.boxes.size());
    if (added != paths.size() && !prompter.boxes.empty())
        std::cerr << prompter.boxes.size() << " boxes, the first: " << prompter.boxes.front().text << "\n";
    if (added != paths.size())
        return 1;
    if (!thenCheck)
        return 0;

    // What Start does before the first pass, off the window's thread as the
    // window does it: every job's script written and opened, every output
    // estimated and its disk asked. Three rounds, to see the spread.
    const std::unique_ptr<core::Encoder> prober = services.prober();
    for (int round = 0; round < 3; ++round) {
        services.probes.reset();
        core::PreflightEnv env{.encoder = *prober,
                               .appFolder = window.paths().appFolder,
                               .scriptPath = window.paths().scriptPath};
        std::optional<core::PreflightReport> report;
        const Clock::time_point start = Clock::now();
        std::jthread([&] { report = core::preflight(window.jobs().entries(), env); }).join();
        const double seconds = secondsSince(start);
        std::printf("preflight jobs %d total_s %.3f per_job_ms %.2f probe_s %.3f problems %zu\n", added, seconds,
                    1000.0 * seconds / added, services.probes.seconds(), report ? report->problems.size() : 0u);
    }
    return 0;
}

// The library's C interface, loaded into this process as the helper loads it.
class DirectLibrary
{
public:
    DirectLibrary() : m_handle(::dlopen(TARVIK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL))
    {
        if (!m_handle)
            throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
        begin = symbol<decltype(&Encode_Begin)>("Encode_Begin");
        frame = symbol<decltype(&Encode_Frame)>("Encode_Frame");
        encoding = symbol<decltype(&Encode_Encoding)>("Encode_Encoding");
        end = symbol<decltype(&Encode_End)>("Encode_End");
        lastError = symbol<decltype(&Encode_GetLastError)>("Encode_GetLastError");
    }

    decltype(&Encode_Begin) begin = nullptr;
    decltype(&Encode_Frame) frame = nullptr;
    decltype(&Encode_Encoding) encoding = nullptr;
    decltype(&Encode_End) end = nullptr;
    decltype(&Encode_GetLastError) lastError = nullptr;

    // One pass as a caller on its own thread runs it, asking for progress
    // every [poll]; its wall seconds, or a negative number when it failed.
    double run(const core::PassArgs &a, std::chrono::milliseconds poll)
    {
        const Clock::time_point start = Clock::now();
        if (begin(a.scriptPath.c_str(), a.outputPath.c_str(), a.videoBitrate, a.audioBitrate, a.sampleRate,
                  a.videoPass, a.mode)
            != 0) {
            std::cerr << "Encode_Begin failed: " << lastError() << "\n";
            return -1;
        }
        frame();
        while (encoding() < 100)
            std::this_thread::sleep_for(poll);
        if (end() != 0) {
            std::cerr << "pass failed: " << lastError() << "\n";
            return -1;
        }
        return secondsSince(start);
    }

private:
    template <typename F>
    F symbol(const char *name)
    {
        void *address = ::dlsym(m_handle.get(), name);
        if (address == nullptr)
            throw std::runtime_error(std::string("dlsym: ") + name);
        return reinterpret_cast<F>(address);
    }

    struct Close
    {
        void operator()(void *handle) const { ::dlclose(handle); }
    };
    std::unique_ptr<void, Close> m_handle;
};

int batch(const fs::path &work, const fs::path &folder, int rounds)
{
    const fs::path program = prepareProgramFolder(work);
    const QStringList paths = filesOf(folder);

    BenchPrompter prompter;
    NoPowerOff powerOff;
    BenchServices services;
    DirectLibrary library;
    ui::Form1 window(services, prompter, powerOff, qpath(program));
    window.show();
    setOutputFolder(window, work / "out");
    addAll(window, paths, 50);
    if (window.jobs().count() != paths.size()) {
        std::cerr << "refused inputs: " << prompter.quoted() << "\n";
        return 1;
    }

    std::vector<double> batchShares;
    std::vector<double> helperShares;
    std::vector<double> boundaryShares;
    double worstLateMs = 0;
    for (int round = 0; round < rounds; ++round) {
        // The window's turn. An output left from the round before would be a
        // question, which the bench declines.
        setOutputFolder(window, work / "out");
        prompter.boxes.clear();
        services.passLog.clear();
        const Clock::time_point start = Clock::now();
        const LoopRun run = convertAll(window, prompter, 5);
        const BenchPrompter::Box *endBox = prompter.endBox();
        if (!run.finished || endBox == nullptr || prompter.boxes.size() != 1
            || services.passLog.size() != 2 * static_cast<std::size_t>(paths.size())) {
            std::cerr << "the batch did not end with a single \"Encode End!\" box: " << prompter.quoted() << " after "
                      << services.passLog.size() << " passes\n";
            return 1;
        }
        const double windowSeconds = secondsSince(start, endBox->at);
        double windowPasses = 0;
        for (const PassRecord &pass : services.passLog)
            windowPasses += secondsSince(pass.asked, pass.closed);
        const double checkSeconds = secondsSince(start, services.passLog.front().asked);
        worstLateMs = std::max(worstLateMs, run.maxLateMs);

        // The same passes in this process, each with the script the window
        // wrote for it, at the same path.
        // Twice: polled every 5 ms, and every 30 ms as the window polled the
        // library in its own process before the helpers (the batch as it was).
        double directPasses = 0;
        double directPassesAsBefore = 0;
        double firstExcess = 0; // the first pass also starts the helper
        for (const PassRecord &pass : services.passLog) {
            std::ofstream(pass.args.scriptPath, std::ios::binary | std::ios::trunc) << pass.script;
            const double seconds = library.run(pass.args, std::chrono::milliseconds(5));
            const double secondsAsBefore = library.run(pass.args, std::chrono::milliseconds(30));
            if (seconds < 0 || secondsAsBefore < 0)
                return 1;
            if (directPasses == 0)
                firstExcess = secondsSince(pass.asked, pass.closed) - seconds;
            directPasses += seconds;
            directPassesAsBefore += secondsAsBefore;
        }
        const auto passCount = static_cast<double>(services.passLog.size());
        fs::remove(services.passLog.front().args.scriptPath);
        for (const PassRecord &pass : services.passLog)
            fs::remove(pass.args.outputPath);

        // Everything the window adds around the library (the check, the
        // scripts, the helpers, the .kvx assembly), and the helpers alone
        // (each pass from the window's request to its answer).
        const double batchShare = 100.0 * (windowSeconds - directPasses) / windowSeconds;
        const double helperShare = 100.0 * (windowPasses - directPasses) / windowSeconds;
        const double boundaryShare = 100.0 * (windowPasses - directPassesAsBefore) / windowSeconds;
        batchShares.push_back(batchShare);
        helperShares.push_back(helperShare);
        boundaryShares.push_back(boundaryShare);
        std::printf("batch round %d jobs %d window_s %.3f window_passes_s %.3f check_s %.3f direct_passes_s %.3f"
                    " direct_30ms_poll_s %.3f helper_overhead_pct %.2f batch_overhead_pct %.2f"
                    " overhead_vs_in_window_30ms_pct %.2f excess_per_pass_ms %.1f first_pass_excess_ms %.1f"
                    " max_late_ms %.1f ticks %d window_cpu_s %.3f\n",
                    round, static_cast<int>(paths.size()), windowSeconds, windowPasses, checkSeconds, directPasses,
                    directPassesAsBefore, helperShare, batchShare, boundaryShare,
                    1000.0 * (windowPasses - directPasses) / passCount, 1000.0 * firstExcess, run.maxLateMs, run.ticks,
                    run.threadCpu);
        std::fflush(stdout);
    }
    std::printf("batch median helper_overhead_pct %.2f batch_overhead_pct %.2f overhead_vs_in_window_30ms_pct %.2f"
                " max_late_ms %.1f\n",
                median(helperShares), median(batchShares), median(boundaryShares), worstLateMs);
    return 0;
}

int preview(const fs::path &work, const fs::path &video, int runs)
{
    const fs::path program = prepareProgramFolder(work);
    BenchPrompter prompter;
    NoPowerOff powerOff;
    BenchServices services;
    ui::Form1 window(services, prompter, powerOff, qpath(program));
    addAll(window, {qpath(video)}, 50);
    if (window.jobs().count() != 1) {
        std::cerr << "the input was refused: " << prompter.quoted() << "\n";
        return 1;
    }
    window.selectJob(0);
    // The script the preview window writes for the selected job.
    core::ScriptRequest request = window.scriptRequest(1, qpath(video));
    request.scriptPath = (work / "preview.avs").string();
    if (core::writeScript(request).result != 1) {
        std::cerr << "no preview script\n";
        return 1;
    }

    std::vector<double> opens;
    std::vector<double> firsts;
    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run) {
        // A fresh source each run, as the program makes one at its start:
        // its helper starts at the first call.
        const std::unique_ptr<core::PreviewSource> source = services.previews();
        std::int32_t frames = 0;
        std::int32_t middle = 0;
        double openMs = 0;
        double firstMs = 0;
        double secondMs = 0;
        bool ok = true;
        std::string error;
        // On a thread of its own, as the preview window calls it.
        std::jthread([&] {
            std::vector<std::uint8_t> rgb;
            std::int32_t width = 0;
            std::int32_t height = 0;
            Clock::time_point start = Clock::now();
            frames = source->previewFrames(request.scriptPath, error);
            openMs = 1000.0 * secondsSince(start);
            middle = frames / 2;
            start = Clock::now();
            ok = frames > 0 && source->preview(request.scriptPath, middle, rgb, width, height, error) == 0;
            firstMs = 1000.0 * secondsSince(start);
            start = Clock::now();
            ok = ok && source->preview(request.scriptPath, middle, rgb, width, height, error) == 0;
            secondMs = 1000.0 * secondsSince(start);
        }).join();
        if (!ok) {
            std::cerr << "preview failed: " << error << "\n";
            return 1;
        }
        opens.push_back(openMs);
        firsts.push_back(firstMs);
        seconds.push_back(secondMs);
        std::printf("preview run %d frames %d index %d frames_ms %.1f first_ms %.1f second_ms %.1f"
                    " frames_and_first_ms %.1f\n",
                    run, frames, middle, openMs, firstMs, secondMs, openMs + firstMs);
    }
    std::printf("preview median frames_ms %.1f first_ms %.1f second_ms %.1f frames_and_first_ms %.1f\n",
                median(opens), median(firsts), median(seconds), median(opens) + median(firsts));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 3 && args[0] == "convert")
            return convert(args[1], args[2]);
        if (args.size() == 3 && (args[0] == "add" || args[0] == "preflight"))
            return add(args[1], args[2], args[0] == "preflight");
        if (args.size() == 4 && args[0] == "batch")
            return batch(args[1], args[2], std::stoi(args[3]));
        if (args.size() == 4 && args[0] == "preview")
            return preview(args[1], args[2], std::stoi(args[3]));
    } catch (const std::exception &e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    std::cerr << "usage: bench_program convert WORK INPUT | add WORK FOLDER | preflight WORK FOLDER"
                 " | batch WORK FOLDER ROUNDS | preview WORK VIDEO RUNS\n";
    return 2;
}
