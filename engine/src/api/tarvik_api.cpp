// The C entry points of libTarvikDll.so: thin, noexcept shims over the
// engine's one Session. Nothing but 32-bit integers and C strings crosses
// this boundary; every exception is caught here and becomes the contract's
// failure value plus the text of Encode_GetLastError.

#include "tarvik.h"

#include "clip/error.h"
#include "pass/preview.h"
#include "pass/session.h"

#include <limits>
#include <map>
#include <mutex>
#include <new>
#include <span>
#include <string>
#include <thread>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// The library's state: the session (the one open pass), the preview's own
// clip graph and the notes of the pass ended last.
struct Library
{
    Library()
    {
        // The library has no console: libav's chatter would only clutter the
        // host's stderr. Failures are reported through the return values.
        av_log_set_level(AV_LOG_FATAL);
    }

    engine::pass::Session session{engine::pass::defaultScriptOpener()};
    engine::pass::Previewer previewer{engine::pass::defaultScriptOpener()};
    std::mutex notesMutex;
    std::string notes; // under notesMutex
    // The last failure's reason, kept per calling thread like errno: a
    // preview rendered on a helper thread never replaces the reason a pass
    // failed on the caller's thread. A map rather than thread_local storage,
    // which LeakSanitizer cannot scan safely in a library loaded with
    // dlopen. A thread's entry goes when its call succeeds, so threads that
    // ended leave nothing behind once they had a success.
    std::mutex errorMutex;
    std::map<std::thread::id, std::string> lastErrors; // under errorMutex
};

Library &library()
{
    static Library lib;
    return lib;
}

void setLastError(const std::string &text) noexcept
{
    try {
        Library &lib = library();
        std::lock_guard lock(lib.errorMutex);
        if (text.empty())
            lib.lastErrors.erase(std::this_thread::get_id());
        else
            lib.lastErrors[std::this_thread::get_id()] = text;
    } catch (...) {
        // Out of memory while storing the text: keep the previous one.
    }
}

template <typename F>
std::int32_t guarded(std::int32_t fallback, bool tracksError, F &&body) noexcept
{
    try {
        const std::int32_t result = body();
        if (tracksError && result != fallback)
            setLastError({});
        return result;
    } catch (const std::bad_alloc &) {
        setLastError("out of memory");
    } catch (const std::exception &e) {
        setLastError(e.what());
    } catch (...) {
        setLastError("unknown failure");
    }
    return fallback;
}

engine::EncodeMode toMode(std::int32_t mode)
{
    switch (mode) {
    case 0:
        return engine::EncodeMode::HighQuality;
    case 2:
        return engine::EncodeMode::Fast;
    default:
        return engine::EncodeMode::Normal;
    }
}

} // namespace

extern "C" {

TARVIK_API int32_t Encode_Begin(const char *scriptPath, const char *outputPath, int32_t videoBitrate,
                                int32_t audioBitrate, int32_t sampleRate, int32_t videoPass, int32_t mode) TARVIK_NOEXCEPT
{
    return guarded(-1, true, [&]() -> std::int32_t {
        if (!scriptPath || !outputPath)
            throw engine::Error("no script or output path given");
        engine::pass::BeginRequest request;
        request.scriptPath = scriptPath;
        request.settings.outputPath = outputPath;
        request.settings.videoPass = videoPass != 0;
        request.settings.videoBitrateKbps = videoBitrate;
        request.settings.audioBitrateKbps = audioBitrate;
        request.settings.sampleRateHz = sampleRate;
        request.settings.mode = toMode(mode);
        library().session.begin(request);
        return 0;
    });
}

TARVIK_API int32_t Encode_Frame(void) TARVIK_NOEXCEPT
{
    return guarded(0, false, [] { return library().session.frameCount(); });
}

TARVIK_API int32_t Encode_Encoding(void) TARVIK_NOEXCEPT
{
    return guarded(100, false, [] { return library().session.percent(); });
}

TARVIK_API int32_t Encode_GetLeftTime(void) TARVIK_NOEXCEPT
{
    return guarded(0, false, [] { return library().session.secondsLeft(); });
}

TARVIK_API int32_t Encode_End(void) TARVIK_NOEXCEPT
{
    return guarded(-1, true, []() -> std::int32_t {
        std::string failure;
        if (library().session.end(failure))
            return 0;
        throw engine::Error(failure);
    });
}

TARVIK_API int32_t Encode_GetFrame(const char *scriptPath) TARVIK_NOEXCEPT
{
    return guarded(0, true, [&]() -> std::int32_t {
        if (!scriptPath)
            throw engine::Error("no script path given");
        const std::int32_t seconds = library().session.lengthSeconds(scriptPath);
        if (seconds <= 0)
            throw engine::Error("the script's clip is empty");
        return seconds;
    });
}

TARVIK_API int32_t Encode_Preview(const char *scriptPath, int32_t frameIndex, uint8_t *rgb, int32_t bufferSize,
                                  int32_t *width, int32_t *height) TARVIK_NOEXCEPT
{
    return guarded(-1, true, [&]() -> std::int32_t {
        if (!scriptPath)
            throw engine::Error("no script path given");
        if (!width || !height)
            throw engine::Error("no place for the picture's size given");
        *width = 0;
        *height = 0;
        const std::size_t bytes = rgb && bufferSize > 0 ? static_cast<std::size_t>(bufferSize) : 0;
        const engine::pass::PreviewSize size =
            library().previewer.render(scriptPath, frameIndex, std::span<std::uint8_t>(rgb, bytes));
        *width = size.width;
        *height = size.height;
        if (size.bytes() > bytes)
            throw engine::Error("the buffer holds " + std::to_string(bytes) + " bytes; the " +
                                std::to_string(size.width) + "x" + std::to_string(size.height) + " picture needs " +
                                std::to_string(size.bytes()));
        return 0;
    });
}

TARVIK_API int32_t Encode_PreviewFrames(const char *scriptPath) TARVIK_NOEXCEPT
{
    return guarded(-1, true, [&]() -> std::int32_t {
        if (!scriptPath)
            throw engine::Error("no script path given");
        const std::int64_t frames = library().previewer.frameCount(scriptPath);
        return static_cast<std::int32_t>(std::min<std::int64_t>(frames, std::numeric_limits<std::int32_t>::max()));
    });
}

TARVIK_API const char *Encode_GetLastError(void) TARVIK_NOEXCEPT
{
    // Other threads' entries may come and go meanwhile; a map's entries stay
    // where they are, so this thread's text stays valid.
    try {
        Library &lib = library();
        std::lock_guard lock(lib.errorMutex);
        const auto found = lib.lastErrors.find(std::this_thread::get_id());
        return found != lib.lastErrors.end() ? found->second.c_str() : "";
    } catch (...) {
        return "";
    }
}

TARVIK_API const char *Encode_GetNotes(void) TARVIK_NOEXCEPT
{
    try {
        Library &lib = library();
        std::string notes = lib.session.notes();
        std::lock_guard lock(lib.notesMutex);
        lib.notes = std::move(notes);
        return lib.notes.c_str();
    } catch (...) {
        return "";
    }
}

} // extern "C"
