// A stand-in for the encoder library that misbehaves on demand: the words in
// the script's text (the input's file name, which the script writer copies
// in) say how. Without any it is a quick, healthy library.

#include "../../engine/include/tarvik.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

namespace {

// The library's C interface is stateful by nature; this is its state.
std::string script; // the text of the last script opened
bool videoPass = false;
int calls = 0; // Encode_Encoding calls in this pass
std::string error;

bool readScript(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    script.assign(std::istreambuf_iterator<char>(in), {});
    error = in ? "" : std::string("cannot read the script \"") + path + "\"";
    return bool(in);
}

bool wants(const char *fault)
{
    return script.find(fault) != std::string::npos;
}

// Dies as a crashing decoder would, also where a sanitizer's handler would
// otherwise turn the signal into an ordinary exit.
[[noreturn]] void crash()
{
    std::signal(SIGSEGV, SIG_DFL);
    std::raise(SIGSEGV);
    std::abort();
}

[[noreturn]] void hang()
{
    for (;;)
        ::sleep(1);
}

} // namespace

extern "C" {

TARVIK_API int32_t Encode_Begin(const char *scriptPath, const char *outputPath, int32_t, int32_t, int32_t,
                                int32_t video, int32_t) TARVIK_NOEXCEPT
{
    if (!readScript(scriptPath))
        return -1;
    videoPass = video == 1;
    calls = 0;
    std::ofstream(outputPath, std::ios::binary) << "fault";
    return 0;
}

TARVIK_API int32_t Encode_Frame(void) TARVIK_NOEXCEPT
{
    return 30;
}

TARVIK_API int32_t Encode_Encoding(void) TARVIK_NOEXCEPT
{
    if (videoPass) {
        if (wants("crash-video"))
            crash();
        // The same file converts on a later start when that start says so.
        if (wants("hang-video") && std::getenv("VELMORA_FAULT_NO_HANG") == nullptr)
            hang();
        if (wants("exit-video"))
            ::_exit(3);
        if (wants("garbage-video") && calls == 1) {
            const char junk[] = "\x10\x00\x00\x00\x7fjunk-that-is-no-message";
            [[maybe_unused]] const ssize_t n = ::write(1, junk, sizeof junk);
        }
    }
    calls = calls < 4 ? calls + 1 : 4;
    return calls * 25;
}

TARVIK_API int32_t Encode_GetLeftTime(void) TARVIK_NOEXCEPT
{
    return 3;
}

TARVIK_API int32_t Encode_End(void) TARVIK_NOEXCEPT
{
    return 0;
}

TARVIK_API int32_t Encode_GetFrame(const char *scriptPath) TARVIK_NOEXCEPT
{
    if (!readScript(scriptPath))
        return 0;
    if (wants("crash-probe"))
        crash();
    if (wants("hang-probe"))
        hang();
    return 5;
}

TARVIK_API int32_t Encode_PreviewFrames(const char *scriptPath) TARVIK_NOEXCEPT
{
    return readScript(scriptPath) ? 10 : -1;
}

// A 2x2 picture whose bytes count up, so a copy that shifts them shows.
TARVIK_API int32_t Encode_Preview(const char *scriptPath, int32_t frameIndex, uint8_t *rgb, int32_t bufferSize,
                                  int32_t *width, int32_t *height) TARVIK_NOEXCEPT
{
    if (!readScript(scriptPath))
        return -1;
    *width = 2;
    *height = 2;
    if (bufferSize < 12 || frameIndex < 0 || frameIndex >= 10)
        return -1;
    for (int i = 0; i < 12; ++i)
        rgb[i] = static_cast<uint8_t>(frameIndex + i);
    return 0;
}

TARVIK_API const char *Encode_GetLastError(void) TARVIK_NOEXCEPT
{
    return error.c_str();
}

TARVIK_API const char *Encode_GetNotes(void) TARVIK_NOEXCEPT
{
    return "";
}

} // extern "C"
