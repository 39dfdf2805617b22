// The C entry points of libTarvikDll.so: thin, noexcept shims over the
// engine's one Session. Nothing but 32-bit integers and C strings crosses
// this boundary; every exception is caught here and becomes the contract's
// failure value plus the text of Encode_GetLastError.

#include "tarvik.h"

#include "clip/error.h"
#include "pass/session.h"

#include <mutex>
#include <new>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// The library's state: the session (the one open pass) and the last error.
struct Library
{
    Library()
    {
        // The library has no console: libav's chatter would only clutter the
        // host's stderr. Failures are reported through the return values.
        av_log_set_level(AV_LOG_FATAL);
    }

    engine::pass::Session session{engine::pass::defaultScriptOpener()};
    std::mutex errorMutex;
    std::string lastError;
    std::string notes; // under errorMutex
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
        lib.lastError = text;
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

TARVIK_API const char *Encode_GetLastError(void) TARVIK_NOEXCEPT
{
    try {
        Library &lib = library();
        std::lock_guard lock(lib.errorMutex);
        return lib.lastError.c_str();
    } catch (...) {
        return "";
    }
}

TARVIK_API const char *Encode_GetNotes(void) TARVIK_NOEXCEPT
{
    try {
        Library &lib = library();
        std::string notes = lib.session.notes();
        std::lock_guard lock(lib.errorMutex);
        lib.notes = std::move(notes);
        return lib.notes.c_str();
    } catch (...) {
        return "";
    }
}

} // extern "C"
