#include "preview/preview_worker.h"

#include "jobs/time_text.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace core {

std::string previewTimeText(std::int32_t index, std::int32_t frameRate)
{
    return FrametoS(frameRate > 0 ? index / frameRate : 0);
}

bool showsLatest(const PreviewResult &result, std::uint64_t shownSerial, const ScriptRequest &latest)
{
    const ScriptRequest &made = result.job;
    return result.serial > shownSerial && made.videoPath == latest.videoPath && made.shown == latest.shown &&
           made.logoFontSize == latest.logoFontSize && made.frameCount == latest.frameCount &&
           made.appFolder == latest.appFolder;
}

PreviewWorker::PreviewWorker(PreviewSource &source, std::string scriptPath, Deliver deliver)
    : m_source(source), m_scriptPath(std::move(scriptPath)), m_deliver(std::move(deliver)),
      m_thread([this](std::stop_token stop) { run(stop); })
{
}

PreviewWorker::~PreviewWorker()
{
    cancel();
    // A picture the helper is stuck on is not waited for.
    m_source.abort();
    m_thread.request_stop();
    m_thread.join();
}

std::uint64_t PreviewWorker::request(PreviewRequest request)
{
    std::lock_guard lock(m_mutex);
    m_pending = std::move(request);
    m_pendingSerial = ++m_serial;
    m_wake.notify_one();
    return m_serial;
}

void PreviewWorker::cancel()
{
    std::lock_guard lock(m_mutex);
    m_pending.reset();
}

void PreviewWorker::run(std::stop_token stop)
{
#if defined(__linux__)
    // Linux keeps a nice value per thread; the decoding threads the library
    // starts from here inherit it.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 4);
#endif
    for (;;) {
        PreviewRequest request;
        std::uint64_t serial = 0;
        {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait(lock, stop, [this] { return m_pending.has_value(); }))
                return;
            request = std::move(*m_pending);
            serial = m_pendingSerial;
            m_pending.reset();
        }
        PreviewResult result = render(request);
        result.serial = serial;
        result.job = std::move(request.job);
        m_deliver(std::move(result));
    }
}

PreviewResult PreviewWorker::render(const PreviewRequest &request)
{
    PreviewResult result;
    ScriptRequest job = request.job;
    job.mode = 1;
    job.scriptPath = m_scriptPath;
    const ScriptResult script = writeScript(job);
    result.frameRate = script.run.frameRate;
    if (script.result != 1) {
        result.reason = scriptWarningText(script.warning);
    } else {
        result.frames = std::max(m_source.previewFrames(m_scriptPath, result.reason), 0);
        if (result.frames > 0) {
            result.index = std::clamp(request.index, 0, result.frames - 1);
            result.shown = m_source.preview(m_scriptPath, result.index, result.rgb, result.width, result.height,
                                            result.reason) == 0;
        }
    }
    if (result.shown)
        result.reason.clear();
    else
        result.rgb.clear();
    if (!result.shown && result.reason.empty())
        result.reason = "The job gives no picture.";
    std::error_code ignored;
    std::filesystem::remove(m_scriptPath, ignored);
    return result;
}

} // namespace core
