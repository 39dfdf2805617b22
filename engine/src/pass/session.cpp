#include "session.h"

#include "clip/error.h"
#include "filters/register.h"
#include "pipeline/register.h"
#include "text/register.h"
#include "script/script.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace engine::pass {

namespace {

std::int32_t clampToInt32(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 0, std::numeric_limits<std::int32_t>::max()));
}

// Reverse writes its whole input to a temporary file before its first
// picture; a second clip graph for a pass's second half would write it
// again. A script that names it is coded by one graph (a comment naming it
// costs only the speed).
bool namesReverse(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text.find("reverse") != std::string::npos;
}

std::int64_t ceilDiv(std::int64_t num, std::int64_t den)
{
    return den > 0 ? (num + den - 1) / den : 0;
}

} // namespace

ScriptOpener defaultScriptOpener()
{
    auto table = std::make_shared<script::FunctionTable>();
    registerMediaFunctions(*table);
    filters::registerFilterFunctions(*table);
    text::registerTextFunctions(*table);
    return [table](const std::string &path, script::ScriptUse use) { return script::openScriptFile(path, *table, use); };
}

Session::Session(ScriptOpener opener) : m_opener(std::move(opener)) {}

Session::~Session()
{
    std::string ignored;
    end(ignored);
}

void Session::begin(const BeginRequest &request)
{
    std::string ignored;
    closePass(ignored);
    std::lock_guard lock(m_mutex);
    m_frameCount = 0;
    const bool videoPass = request.settings.videoPass;
    std::unique_ptr<PreparedAudio> prepared = std::move(m_prepared);
    if (prepared && (videoPass || PreparedAudio::keyFor(request.scriptPath, request.settings) != prepared->key()))
        prepared.reset();
    ClipPtr clip = m_opener(request.scriptPath, videoPass ? script::ScriptUse::VideoPass : script::ScriptUse::AudioPass);
    if (!clip)
        throw Error("the script gave no clip");
    const VideoInfo &vi = clip->info();
    m_frameCount = vi.hasVideo ? clampToInt32(vi.frameCount) : 0;
    // The script's text, read once: it keys the sound prepared next.
    std::optional<PreparedAudio::Key> key;
    if (videoPass)
        key = PreparedAudio::keyFor(request.scriptPath, request.settings);
    try {
        ClipReopener reopen;
        if (key && !namesReverse(key->scriptText))
            reopen = [opener = m_opener, path = request.scriptPath] {
                return opener(path, script::ScriptUse::VideoPass);
            };
        m_pass = std::make_unique<EncodePass>(std::move(clip), request.settings, std::move(prepared), std::move(reopen));
    } catch (...) {
        m_frameCount = 0;
        throw;
    }
    if (key)
        startPreparing(request, std::move(*key));
}

// The sound is prepared from a clip of its own, opened as the audio pass
// would open it. Whatever goes wrong here only means that the audio pass
// encodes the sound itself.
void Session::startPreparing(const BeginRequest &request, PreparedAudio::Key key)
{
    try {
        ClipPtr clip = m_opener(request.scriptPath, script::ScriptUse::AudioPass);
        m_prepared = std::make_unique<PreparedAudio>(std::move(key), std::move(clip), request.settings);
    } catch (const std::exception &) {
        m_prepared.reset();
    }
}

std::int32_t Session::frameCount() const
{
    std::lock_guard lock(m_mutex);
    return m_frameCount;
}

std::int32_t Session::percent() const
{
    std::lock_guard lock(m_mutex);
    return m_pass ? m_pass->percent() : 100;
}

std::int32_t Session::secondsLeft() const
{
    std::lock_guard lock(m_mutex);
    return m_pass ? m_pass->secondsLeft() : 0;
}

bool Session::end(std::string &failure)
{
    bool wasOpen = false;
    {
        std::lock_guard lock(m_mutex);
        wasOpen = m_pass != nullptr;
    }
    const bool completed = closePass(failure);
    if (!wasOpen) {
        // Nothing follows now (the program is closing, or cleaning up).
        std::lock_guard lock(m_mutex);
        m_prepared.reset();
    }
    return completed;
}

bool Session::closePass(std::string &failure)
{
    std::unique_ptr<EncodePass> pass;
    {
        std::lock_guard lock(m_mutex);
        pass = std::move(m_pass);
    }
    failure.clear();
    if (!pass)
        return true;
    const bool completed = pass->end();
    std::string notes;
    for (const std::string &note : pass->notes())
        notes += (notes.empty() ? "" : "\n") + note;
    std::lock_guard lock(m_mutex);
    m_notes = std::move(notes);
    if (completed)
        return true;
    // A video pass that did not complete has no audio pass after it.
    m_prepared.reset();
    failure = pass->error();
    if (failure.empty())
        failure = "the pass was stopped before the end";
    return false;
}

std::string Session::notes() const
{
    std::lock_guard lock(m_mutex);
    return m_notes;
}

std::int32_t Session::lengthSeconds(const std::string &scriptPath)
{
    ClipPtr clip = m_opener(scriptPath, script::ScriptUse::Probe);
    if (!clip)
        throw Error("the script gave no clip");
    const VideoInfo &vi = clip->info();
    // A clip whose pictures the video pass would refuse is refused when the
    // file is added, not after the user has set it up and pressed Start.
    if (vi.hasVideo)
        videoOutputSize(vi);
    std::int64_t seconds = 0;
    if (vi.hasVideo && vi.frameCount > 0)
        seconds = std::max<std::int64_t>(1, ceilDiv(vi.frameCount * vi.fpsDen, vi.fpsNum));
    else if (vi.hasAudio && vi.sampleCount > 0)
        seconds = std::max<std::int64_t>(1, ceilDiv(vi.sampleCount, vi.sampleRate));
    return clampToInt32(seconds);
}

} // namespace engine::pass
