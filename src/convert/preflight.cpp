#include "convert/preflight.h"

#include "convert/batch_texts.h"
#include "convert/output_path.h"
#include "jobs/number_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace core {

namespace {

// A job that passed its own checks and now needs room on a disk.
struct SpaceNeed
{
    std::int32_t index = 0;
    std::string folder;
    FolderCheck check;
    std::int64_t bytes = 0;
};

std::int64_t withMargin(std::int64_t bytes)
{
    return static_cast<std::int64_t>(static_cast<double>(bytes) * (1.0 + kSpaceMarginShare)) + kSpaceMarginBytes;
}

} // namespace

FolderCheck checkFolder(const std::string &folder)
{
    FolderCheck check;
    // The trailing "/" makes a plain file of that name fail as "not a directory".
    const std::string path = folder.empty() ? std::string("./") : folder;
    if (::access(path.c_str(), W_OK | X_OK) != 0) {
        check.writeError = errno;
        return check;
    }
    struct stat info{};
    if (::stat(path.c_str(), &info) == 0)
        check.device = static_cast<std::uint64_t>(info.st_dev);
    struct statvfs space{};
    if (::statvfs(path.c_str(), &space) == 0)
        check.freeBytes = static_cast<std::int64_t>(space.f_bavail) * static_cast<std::int64_t>(space.f_frsize);
    return check;
}

std::int64_t estimatedKvxBytes(std::int32_t videoKbps, std::int32_t audioKbps, std::int32_t lengthSec)
{
    // kbit/s to bytes per second: x 1000 / 8.
    return 36 + (static_cast<std::int64_t>(videoKbps) + audioKbps) * 125 * lengthSec;
}

ScriptRequest conversionRequest(const JobEntry &entry, const std::string &appFolder, const std::string &scriptPath)
{
    return {.mode = 1,
            .videoPath = entry.fullPath,
            .shown = entry.settings,
            .logoFontSize = static_cast<double>(entry.settings.logoFontSize),
            .frameCount = entry.settings.totalTime,
            .appFolder = appFolder,
            .scriptPath = scriptPath};
}

FileProbe probeFile(ScriptRequest request, Encoder &prober)
{
    request.mode = 0;
    FileProbe probe;
    const ScriptResult script = writeScript(request);
    if (script.result == 0) {
        probe.warning = scriptWarningText(script.warning);
        return probe;
    }
    probe.length = prober.getFrame(request.scriptPath);
    if (probe.length <= 0)
        probe.reason = prober.lastError();
    // A script that cannot be deleted still leaves a usable file.
    std::error_code ignored;
    std::filesystem::remove(request.scriptPath, ignored);
    return probe;
}

std::string missingFileReason(const JobSettings &settings)
{
    const auto missing = [](const std::string &path) { return !path.empty() && !isPresentFile(path); };
    if (missing(settings.audioFile))
        return withHint("The external audio file " + settings.audioFile + " is missing", kChooseFileHint);
    if (missing(settings.subtitleFile))
        return withHint("The subtitle file " + settings.subtitleFile + " is missing", kChooseFileHint);
    const bool image = settings.introType != 0;
    const std::string &intro = image ? settings.introImageFile : settings.introVideoFile;
    if (missing(intro))
        return withHint(std::string(image ? "The introduction picture " : "The introduction video ") + intro
                            + " is missing",
                        kChooseFileHint);
    return {};
}

std::string refusalReason(ScriptWarning warning, const std::string &videoPath)
{
    if (warning == ScriptWarning::NoInputVideo)
        return withHint("The video " + videoPath + " is missing", kAddAgainHint);
    return withHint(scriptWarningText(warning), kSettingsHint);
}

std::int32_t PreflightReport::runnable() const
{
    return static_cast<std::int32_t>(
        std::count_if(plan.begin(), plan.end(), [](const PlannedJob &job) { return job.skipReason.empty(); }));
}

std::optional<PreflightReport> preflight(const std::vector<JobEntry> &jobs, PreflightEnv &env)
{
    PreflightReport report;
    report.plan.resize(jobs.size());
    const auto refuse = [&](std::size_t index, std::string reason) {
        report.plan[index].skipReason = reason;
        report.problems.push_back({static_cast<std::int32_t>(index), jobs[index].title, std::move(reason)});
    };
    std::vector<SpaceNeed> needs;
    std::error_code ignored;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (!env.keepGoing()) {
            std::filesystem::remove(env.scriptPath, ignored);
            return std::nullopt;
        }
        const JobEntry &job = jobs[i];
        if (std::string missing = missingFileReason(job.settings); !missing.empty()) {
            refuse(i, std::move(missing));
            continue;
        }
        const ScriptResult script = writeScript(conversionRequest(job, env.appFolder, env.scriptPath));
        if (script.result == 0) {
            refuse(i, refusalReason(script.warning, job.fullPath));
            continue;
        }
        const std::int32_t lengthSec = env.encoder.getFrame(env.scriptPath);
        if (lengthSec <= 0) {
            const std::string why = env.encoder.lastError();
            refuse(i, withHint(why.empty() ? "The video cannot be opened" : why, kCheckInputHint));
            continue;
        }
        // The writer has read the typed rate already: the script would be refused otherwise.
        const std::int32_t videoKbps = parseWhole(job.settings.videoBitrate).value_or(0);
        const std::int64_t bytes = estimatedKvxBytes(videoKbps, script.run.audioBitrate, lengthSec);
        report.plan[i].lengthSec = lengthSec;
        report.plan[i].estimatedBytes = bytes;
        if (bytes > kMaxKvxBytes) {
            refuse(i, withHint("The .kvx would be about " + sizeText(bytes) + ", more than a .kvx can hold ("
                                   + sizeText(kMaxKvxBytes + 1) + ")",
                               kTooLargeHint));
            continue;
        }
        const std::filesystem::path output = outputPathFor(job.title, job.settings.outputDir);
        const std::string folder = output.parent_path().string() + "/";
        const FolderCheck check = env.checkFolder(folder);
        if (check.writeError != 0) {
            refuse(i, withHint("Cannot write " + output.string() + ": " + std::strerror(check.writeError),
                               kOutputFolderHint));
            continue;
        }
        needs.push_back({static_cast<std::int32_t>(i), folder, check, bytes});
    }
    std::filesystem::remove(env.scriptPath, ignored);

    // Each disk's space goes to its jobs in list order. The streams of one
    // job stand beside the script (in the program folder, or an installed
    // copy's temporary folder) while its .kvx is written.
    std::map<std::uint64_t, std::int64_t> used;
    std::int64_t largest = 0;
    for (const SpaceNeed &need : needs)
        largest = std::max(largest, need.bytes);
    const std::string tempFolder = std::filesystem::path(env.scriptPath).parent_path().string() + "/";
    if (const FolderCheck temporary = env.checkFolder(tempFolder); temporary.writeError == 0)
        used[temporary.device] = largest;
    for (const SpaceNeed &need : needs) {
        std::int64_t &onDisk = used[need.check.device];
        const std::int64_t wanted = withMargin(onDisk + need.bytes);
        if (need.check.freeBytes >= 0 && wanted > need.check.freeBytes) {
            refuse(static_cast<std::size_t>(need.index),
                   withHint("Needs about " + sizeText(need.bytes) + ", but only " + sizeText(need.check.freeBytes)
                                + " are free in " + need.folder + " for this and the jobs before it",
                            kFreeSpaceHint));
            continue;
        }
        onDisk += need.bytes;
    }
    std::stable_sort(report.problems.begin(), report.problems.end(),
                     [](const PreflightProblem &a, const PreflightProblem &b) { return a.index < b.index; });
    return report;
}

std::string preflightText(const PreflightReport &report)
{
    std::string text = "Some jobs cannot be converted:\n";
    for (const PreflightProblem &problem : report.problems)
        text += "\n\u2022 " + problem.title + " \u2014 " + problem.reason + "\n";
    const std::int32_t runnable = report.runnable();
    if (runnable == 0)
        return text + "\nNo job can be converted.";
    return text + "\nStart the " + (runnable == 1 ? std::string("one job") : std::to_string(runnable) + " jobs")
           + " that can be converted?";
}

} // namespace core
