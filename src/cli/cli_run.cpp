#include "cli/cli_run.h"

#include "cli/reporter.h"

#include "convert/conversion_run.h"
#include "convert/output_path.h"
#include "convert/run_log.h"
#include "helper/helper_channel.h"
#include "helper/helper_encoder.h"
#include "helper/helper_process.h"
#include "helper/poll_loop.h"
#include "jobs/number_text.h"
#include "jobs/time_text.h"
#include "settings/startup.h"
#include "system/logind_keep_awake.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <utility>
#include <cerrno>
#include <thread>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The run's temporary files in a folder of their own, so a window converting
// at the same time keeps its own; removed with what is left in it.
class WorkFolder
{
public:
    explicit WorkFolder(const std::string &parent)
    {
        std::string pattern = parent + ".velmora-cli-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr)
            m_path = pattern + "/";
    }
    ~WorkFolder()
    {
        std::error_code ignored;
        if (!m_path.empty())
            fs::remove_all(m_path, ignored);
    }
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;
    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

class NoPowerOff final : public core::PowerOff
{
public:
    Result request() override { return {false, "not from the command line"}; }
};

// The run's host for the command line: the jobs are fixed records, the
// progress and states become the reporter's lines.
class CliRunHost final : public core::RunHost
{
public:
    CliRunHost(std::vector<core::JobEntry> entries, std::vector<FileResult *> results, Reporter &reporter,
               const settings::AppPaths &paths, core::LogFile &log)
        : m_entries(std::move(entries))
        , m_results(std::move(results))
        , m_reporter(reporter)
        , m_paths(paths)
        , m_log(log)
    {
    }

    std::int32_t jobCount() override { return static_cast<std::int32_t>(m_entries.size()); }
    std::optional<core::JobSelection> selectJob(std::int32_t index) override
    {
        if (index < 0 || index >= jobCount())
            return std::nullopt;
        m_current = index;
        return core::jobSelection(m_entries[static_cast<std::size_t>(index)]);
    }
    core::ScriptOutcome writeScript(const std::string &) override
    {
        const core::ScriptResult script = core::writeScript(
            core::conversionRequest(m_entries[static_cast<std::size_t>(m_current)], m_paths.appFolder,
                                    m_paths.scriptPath));
        return {.result = script.result, .run = script.run, .warning = script.warning, .text = script.text};
    }

    void setProgress(std::int32_t) override {}
    void setPercentLabel(const std::string &text) override
    {
        m_percent = core::parseWhole(text.substr(0, text.find('%'))).value_or(m_percent);
        reportProgress();
    }
    void setPassLabel(const std::string &) override {}
    void setTimeLeftLabel(const std::string &text) override { m_left = text; }
    void showMessage(const std::string &text, const std::string &detail) override
    {
        m_messages.push_back(detail.empty() ? text : text + "\n" + detail);
    }
    void setStartVisible(bool) override {}
    void deleteTemporaryFiles() override { settings::deleteTempFiles(m_paths); }
    bool shutDownChecked() override { return false; }

    std::vector<core::JobEntry> jobEntries() override { return m_entries; }
    // The files the check refuses are reported and skipped; the others go on.
    bool askToStart(const std::string &) override { return true; }
    void setJobState(std::int32_t index, const core::JobStatus &status) override
    {
        if (index < 0 || index >= jobCount())
            return;
        FileResult &file = *m_results[static_cast<std::size_t>(index)];
        switch (status.state) {
        case core::JobState::None:
        case core::JobState::Waiting:
            return;
        case core::JobState::Converting:
            if (status.pass == 1) {
                m_started = Clock::now();
                m_lastProgress.reset();
                m_reporter.started(file);
            }
            m_pass = status.pass;
            return;
        case core::JobState::Done:
            file.state = FileResult::State::Converted;
            file.bytes = status.outputBytes;
            file.seconds = std::chrono::duration<double>(Clock::now() - m_started).count();
            break;
        case core::JobState::Failed:
            file.state = FileResult::State::Failed;
            file.reason = status.reason;
            break;
        case core::JobState::Stopped:
        case core::JobState::Interrupted:
            file.state = FileResult::State::Stopped;
            file.reason = "interrupted";
            break;
        }
        m_reporter.ended(file);
    }
    void appendLog(const std::string &text) override
    {
        m_log.append(text);
        if (text.starts_with(core::kRunStartMark))
            m_log.append(core::logLine("From the command line (velmora-cli)"));
    }
    std::string logPath() override { return m_log.path().string(); }

    const std::vector<std::string> &messages() const { return m_messages; }

private:
    // At most once a second, so a log or a program reading the lines is not flooded.
    void reportProgress()
    {
        if (m_current < 0 || m_pass == 0)
            return;
        const auto now = Clock::now();
        if (m_lastProgress && now - *m_lastProgress < std::chrono::seconds(1))
            return;
        m_lastProgress = now;
        m_reporter.progress(*m_results[static_cast<std::size_t>(m_current)], m_pass, m_percent, m_left);
    }

    std::vector<core::JobEntry> m_entries;
    std::vector<FileResult *> m_results; // per entry
    Reporter &m_reporter;
    const settings::AppPaths &m_paths;
    core::LogFile &m_log;
    std::int32_t m_current = -1;
    std::int32_t m_pass = 0;
    std::int32_t m_percent = 0;
    std::string m_left;
    Clock::time_point m_started;
    std::optional<Clock::time_point> m_lastProgress;
    std::vector<std::string> m_messages;
};

// One conversion run with its own helpers and temporary files, over the
// files dealt to it.
struct Lane
{
    Lane(const std::string &programFolder, const std::string &tempFolder, const std::string &worker,
         const std::string &library, helper::PollLoop &loop, core::PowerOff &powerOff,
         std::vector<core::JobEntry> entries, std::vector<FileResult *> results, Reporter &reporter,
         core::LogFile &log)
        : work(tempFolder)
        , paths{.appFolder = programFolder,
                .scriptPath = work.path() + "temp.avs",
                .m1vPath = work.path() + "temp.m1v",
                .mp2Path = work.path() + "temp.mp2"}
        , checker(worker, library)
        , channel(loop, worker, library)
        , host(std::move(entries), std::move(results), reporter, paths, log)
        , run({.loop = loop, .channel = channel, .prober = checker, .keepAwake = &keepAwake}, host, powerOff,
              {paths.scriptPath, paths.m1vPath, paths.mp2Path, paths.appFolder})
    {
        run.onEnded = [this](core::ConversionRun::Outcome) { ended = true; };
    }
    Lane(const Lane &) = delete;
    Lane &operator=(const Lane &) = delete;

    WorkFolder work;
    settings::AppPaths paths;
    helper::HelperEncoder checker;
    helper::HelperChannel channel;
    CliRunHost host;
    sys::LogindKeepAwake keepAwake; // one per lane: each batch holds its own while it converts
    core::ConversionRun run; // last: closed before the parts it drives go
    bool ended = false;
};

// Why [file] cannot be an input; empty when it can be read.
std::string inputProblem(const std::string &file)
{
    struct stat info{};
    if (::stat(file.c_str(), &info) != 0)
        return "no such file";
    if (S_ISDIR(info.st_mode))
        return "a folder, not a video file";
    if (!S_ISREG(info.st_mode))
        return "not a plain file";
    if (::access(file.c_str(), R_OK) != 0)
        return "cannot be read (permission denied)";
    return {};
}

// Cuts [encoder]'s call under way (or its next one) short once [fd] turns
// readable: a probe of a slow file would otherwise hold a Ctrl+C up for the
// whole of its deadline. The byte is left in [fd] for the run to see.
class AbortOnInterrupt
{
public:
    AbortOnInterrupt(int fd, core::Encoder &encoder)
        : m_wake(::eventfd(0, EFD_CLOEXEC))
    {
        if (fd < 0 || m_wake.get() < 0)
            return;
        m_thread = std::thread([fd, wake = m_wake.get(), &encoder] {
            pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
            while (::poll(fds, 2, -1) < 0 && errno == EINTR) {
            }
            if ((fds[0].revents & POLLIN) != 0)
                encoder.abort();
        });
    }
    ~AbortOnInterrupt()
    {
        if (!m_thread.joinable())
            return;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wake.get(), &one, sizeof one);
        m_thread.join();
    }
    AbortOnInterrupt(const AbortOnInterrupt &) = delete;
    AbortOnInterrupt &operator=(const AbortOnInterrupt &) = delete;

private:
    helper::UniqueFd m_wake;
    std::thread m_thread;
};

bool interrupted(int fd)
{
    if (fd < 0)
        return false;
    char byte = 0;
    return ::read(fd, &byte, 1) == 1;
}

} // namespace

std::string jsonString(std::string_view text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\t':
            quoted += "\\t";
            break;
        case '\r':
            quoted += "\\r";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                quoted += escaped;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

std::string resultTable(const std::vector<FileResult> &results)
{
    static constexpr const char *kStates[] = {"skipped", "failed", "converted", "stopped", "ready"};
    std::size_t width = 4;
    for (const FileResult &result : results)
        width = std::max(width, result.file.size());
    std::string table;
    const auto row = [&](std::string file, std::string state, std::string what) {
        file.resize(width, ' ');
        state.resize(10, ' ');
        table += file + "  " + state + "  " + what + "\n";
    };
    row("File", "Result", "Output or reason");
    for (const FileResult &result : results)
        row(result.file, kStates[static_cast<int>(result.state)],
            result.state == FileResult::State::Converted || result.state == FileResult::State::Ready ? result.output
                                                                                                     : result.reason);
    return table;
}

int convertFiles(const Request &request, const RunEnv &env, std::ostream &out, std::ostream &err)
{
    const std::vector<std::string> &files = request.files;
    const core::JobSettings &settings = request.settings;
    const bool checkOnly = request.checkOnly;
    const int jobs = request.jobs;
    Reporter reporter(request.json, env.terminal, env.columns, out, err);
    for (const std::string &note : request.notes)
        reporter.note(note);
    std::vector<FileResult> results(files.size());
    const auto orProgramFolder = [&](const std::string &folder) {
        return folder.empty() ? env.programFolder : folder;
    };
    const std::string helperFolder = orProgramFolder(env.helperFolder);
    const std::string tempFolder = orProgramFolder(env.tempFolder);
    const std::string worker = helperFolder + "velmora-worker";
    const std::string library = helperFolder + "libTarvikDll.so";
    if (const std::string problem = helper::helperProgramProblem(worker); !problem.empty()) {
        reporter.note(problem);
        return kExitSomeFailed;
    }
    WorkFolder work(tempFolder);
    if (work.path().empty()) {
        reporter.note("Cannot make a folder for the temporary files in " + tempFolder);
        return kExitSomeFailed;
    }
    settings::AppPaths paths{.appFolder = env.programFolder,
                             .scriptPath = work.path() + "temp.avs",
                             .m1vPath = work.path() + "temp.m1v",
                             .mp2Path = work.path() + "temp.mp2"};

    // Each file is probed for its length, as the window's add does; one
    // that cannot be read or probed is skipped with the reason.
    helper::HelperEncoder prober(worker, library);
    std::optional<AbortOnInterrupt> abortProbes;
    abortProbes.emplace(env.interruptFd, prober);
    std::vector<core::JobEntry> entries;
    std::vector<FileResult *> entryResults;
    std::set<std::string> outputs;
    bool stopped = false;
    std::vector<std::string> notes; // the run's end message, after the table
    for (std::size_t i = 0; i < files.size(); ++i) {
        FileResult &result = results[i];
        result.file = files[i];
        if (stopped || interrupted(env.interruptFd)) {
            stopped = true;
            result.state = FileResult::State::Stopped;
            result.reason = "interrupted";
            continue;
        }
        std::error_code ignored;
        const std::string path = fs::absolute(files[i], ignored).lexically_normal().string();
        core::JobEntry entry;
        entry.title = core::fileTitle(path);
        entry.fullPath = path;
        entry.settings = settings;
        result.output = core::outputPathFor(entry.title, settings.outputDir);
        result.reason = inputProblem(path);
        if (result.reason.empty() && !outputs.insert(result.output).second)
            result.reason = "would write " + result.output + " again, which an earlier file writes";
        if (result.reason.empty()) {
            const core::FileProbe probe =
                core::probeFile(core::conversionRequest(entry, paths.appFolder, paths.scriptPath), prober);
            const std::int32_t length = probe.length;
            if (!probe.warning.empty()) {
                result.reason = probe.warning;
            } else if (length <= 0) {
                result.reason = probe.reason.empty() ? "the video cannot be opened" : probe.reason;
            } else {
                entry.settings.totalTime = length;
                // An end the user gave stays when it lies within the video.
                const auto end = core::parseWhole(entry.settings.endTime);
                if (!end || *end <= 0 || *end > length)
                    entry.settings.endTime = std::to_string(length);
            }
        }
        if (!result.reason.empty() && interrupted(env.interruptFd)) {
            // The probe was cut short by the interrupt, not by the file.
            stopped = true;
            result.state = FileResult::State::Stopped;
            result.reason = "interrupted";
            reporter.ended(result);
            continue;
        }
        if (!result.reason.empty()) {
            result.state = FileResult::State::Skipped;
            reporter.ended(result);
            continue;
        }
        result.state = FileResult::State::Failed;
        result.reason = "not reached";
        entries.push_back(std::move(entry));
        entryResults.push_back(&result);
    }

    if (checkOnly && !entries.empty() && !stopped) {
        core::PreflightEnv check{.encoder = prober, .appFolder = paths.appFolder, .scriptPath = paths.scriptPath};
        const std::optional<core::PreflightReport> report = core::preflight(entries, check);
        stopped = interrupted(env.interruptFd);
        for (std::size_t i = 0; i < entryResults.size() && !stopped; ++i) {
            FileResult &result = *entryResults[i];
            const std::string reason = report && i < report->plan.size() ? report->plan[i].skipReason : "not checked";
            result.state = reason.empty() ? FileResult::State::Ready : FileResult::State::Failed;
            result.reason = reason;
            if (!reason.empty())
                reporter.ended(result);
        }
    }
    abortProbes.reset();
    if (!checkOnly && !entries.empty() && !stopped) {
        core::LogFile log(fs::path(orProgramFolder(env.stateFolder)) / core::kLogFileName);
        helper::PollLoop loop;
        NoPowerOff powerOff;
        // The files are dealt to the lanes in turn; each job is converted
        // alone in its lane, so the outputs do not depend on the lanes.
        const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(std::max(jobs, 1)), entries.size());
        std::vector<std::vector<core::JobEntry>> dealt(count);
        std::vector<std::vector<FileResult *>> dealtResults(count);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            dealt[i % count].push_back(std::move(entries[i]));
            dealtResults[i % count].push_back(entryResults[i]);
        }
        std::vector<std::unique_ptr<Lane>> lanes;
        for (std::size_t k = 0; k < count; ++k) {
            lanes.push_back(std::make_unique<Lane>(env.programFolder, tempFolder, worker, library, loop, powerOff,
                                                   std::move(dealt[k]), std::move(dealtResults[k]), reporter, log));
            if (lanes.back()->work.path().empty()) {
                reporter.note("Cannot make a folder for the temporary files in " + tempFolder);
                return kExitSomeFailed;
            }
        }
        const auto allEnded = [&] {
            return std::all_of(lanes.begin(), lanes.end(), [](const auto &lane) { return lane->ended; });
        };
        if (env.interruptFd >= 0) {
            loop.watch(env.interruptFd, [&] {
                if (!interrupted(env.interruptFd))
                    return;
                // A second signal does not wait for the passes to close.
                const bool again = std::exchange(stopped, true);
                for (const auto &lane : lanes) {
                    if (again) {
                        lane->run.close();
                        lane->ended = true;
                    } else {
                        lane->run.stop();
                    }
                }
            });
        }
        for (const auto &lane : lanes)
            lane->run.start();
        while (!loop.runUntil(allEnded, std::chrono::hours(1))) {
        }
        for (const auto &lane : lanes) {
            // Each file's end is reported already; the run's end message adds
            // something only when a file did not convert.
            for (const std::string &message : lane->host.messages())
                if (message != core::kEncodeEndText)
                    notes.push_back(message);
        }
        lanes.clear();
        log.flush();
    }

    for (FileResult &result : results) {
        if (stopped && result.state == FileResult::State::Failed && result.reason == "not reached") {
            result.state = FileResult::State::Stopped;
            result.reason = "interrupted";
        }
    }
    reporter.tableStream() << resultTable(results) << std::flush;
    for (const std::string &note : notes)
        reporter.note(note);
    if (stopped)
        return kExitInterrupted;
    for (const FileResult &result : results)
        if (result.state != (checkOnly ? FileResult::State::Ready : FileResult::State::Converted))
            return kExitSomeFailed;
    return kExitConverted;
}

} // namespace cli
