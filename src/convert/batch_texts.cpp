#include "convert/batch_texts.h"

#include "jobs/time_text.h"

#include <algorithm>
#include <cstdio>

namespace core {

std::string statusTooltip(const JobStatus &status)
{
    switch (status.state) {
    case JobState::None:
        return {};
    case JobState::Waiting:
        return kWaitingTip;
    case JobState::Converting:
        return kConvertingTip + std::to_string(status.pass) + (status.pass == 1 ? " of 2 (video)" : " of 2 (audio)");
    case JobState::Done:
        return kDoneTip + sizeText(status.outputBytes) + ", " + FrametoS(status.lengthSec);
    case JobState::Failed:
        return kFailedTip + status.reason;
    case JobState::Stopped:
        return kStoppedTip;
    case JobState::Interrupted:
        return kInterruptedTip;
    }
    return {};
}

std::string sizeText(std::int64_t bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes) + " bytes";
    const char *units[] = {"KB", "MB", "GB"};
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(units)) {
        value /= 1024.0;
        ++unit;
    }
    // One decimal while it says something (1.9 MB), none beyond (14 KB, 230 MB).
    char text[32];
    std::snprintf(text, sizeof text, value < 10.0 ? "%.1f %s" : "%.0f %s", value, units[unit]);
    return text;
}

std::string withHint(std::string_view what, std::string_view hint)
{
    std::string text(what);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n'))
        text.pop_back();
    if (text.empty())
        return std::string(hint);
    // A sentence that has its own end keeps it: "Time Control setting Error! Correct ...".
    const char last = text.back();
    return text + (last == '.' || last == '!' || last == '?' ? " " : ". ") + std::string(hint);
}

std::string batchEndText(const std::vector<JobResult> &results, std::string_view logPath)
{
    const auto converted = std::count_if(results.begin(), results.end(),
                                         [](const JobResult &r) { return r.state == JobState::Done; });
    if (static_cast<std::size_t>(converted) == results.size())
        return kEncodeEndText;
    std::string text = std::string(kEncodeEndText) + " " + std::to_string(converted) + " of "
                       + std::to_string(results.size()) + " videos converted.";
    std::size_t listed = 0;
    std::size_t unlisted = 0;
    for (const JobResult &result : results) {
        if (result.state != JobState::Failed)
            continue;
        if (listed == kListedFailures) {
            ++unlisted;
            continue;
        }
        text += "\n\nFailed: " + result.title + " \u2014 " + result.reason;
        ++listed;
    }
    if (unlisted > 0)
        text += "\n\n\u2026 and " + std::to_string(unlisted) + " more.";
    if (!logPath.empty())
        text += "\n\nThe log of the run: " + std::string(logPath);
    return text;
}

std::string powerOffCountdownText(std::int32_t seconds)
{
    return "The computer will power off in " + std::to_string(seconds) + " s";
}

std::string helperLostText(std::string_view what, std::string_view doing)
{
    // A helper that hung was ended by us: it did not stop by itself.
    constexpr std::string_view kHung = "it stopped answering";
    const std::string how = what == kHung ? std::string("The encoder stopped answering")
                                          : "The encoder stopped unexpectedly (" + std::string(what) + ")";
    return how + " while " + std::string(doing) + ". " + kHelperLostHint;
}

} // namespace core
