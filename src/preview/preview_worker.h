#pragma once

// Renders preview pictures of a job on a thread of its own, so that the
// window never waits for the encoder library. Requests only replace each
// other: the worker always takes the latest waiting one. Every result is
// delivered with the request it answers; the receiver drops those that
// showsLatest() calls stale. The worker runs at a low priority, so the
// window's thread always gets the processor first.

#include "preview/preview_source.h"
#include "script/script_writer.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace core {

struct PreviewRequest
{
    ScriptRequest job;       // the panel of the job, as the conversion run would script it
    std::int32_t index = 0;  // the frame wanted; moved into the clip when outside it
};

struct PreviewResult
{
    std::uint64_t serial = 0;   // of the request it answers
    ScriptRequest job;          // that request's job
    bool shown = false;         // a picture is there; otherwise [reason] says why not
    std::string reason;         // the writer's warning or the library's reason
    std::int32_t frames = 0;    // the job's output frame count (0 when unknown)
    std::int32_t index = 0;     // the frame shown
    std::int32_t frameRate = 0; // frames a second of the output (0 when unknown)
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> rgb;
};

// True when [result] may be shown after the picture of [shownSerial], the
// latest request being for [latest]: it is newer, and made from the same
// script. Another frame of the same script is not stale (while the slider
// is dragged faster than pictures come, each one shows as it comes); a
// picture of settings changed since is.
bool showsLatest(const PreviewResult &result, std::uint64_t shownSerial, const ScriptRequest &latest);

// The time of frame [index] at [frameRate] as the converter shows times
// (hh:mm:ss, whole seconds).
std::string previewTimeText(std::int32_t index, std::int32_t frameRate);

class PreviewWorker
{
public:
    // Results are handed to [deliver] on the worker's thread. [scriptPath]
    // is the worker's own script file (never the run's), written for each
    // request and deleted after it.
    using Deliver = std::function<void(PreviewResult)>;
    PreviewWorker(PreviewSource &source, std::string scriptPath, Deliver deliver);
    // Waits for the render under way, if any; delivers nothing more.
    ~PreviewWorker();
    PreviewWorker(const PreviewWorker &) = delete;
    PreviewWorker &operator=(const PreviewWorker &) = delete;

    // Replaces any request not yet started; returns its serial (rising).
    std::uint64_t request(PreviewRequest request);
    // Drops the request not yet started; results still to come carry
    // serials below the next request's.
    void cancel();

private:
    void run(std::stop_token stop);
    PreviewResult render(const PreviewRequest &request);

    PreviewSource &m_source;
    std::string m_scriptPath;
    Deliver m_deliver;
    mutable std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::optional<PreviewRequest> m_pending; // under m_mutex
    std::uint64_t m_pendingSerial = 0;       // under m_mutex
    std::uint64_t m_serial = 0;              // the latest request's, under m_mutex
    std::jthread m_thread;                   // last: stopped before the members it uses go away
};

} // namespace core
