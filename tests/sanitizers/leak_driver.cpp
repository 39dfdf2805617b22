// One file added and converted the way the program does it, for a leak
// checker to watch: the program's script writer writes the probe script and
// Encode_GetFrame measures the clip, then the writer writes the conversion
// script and the video pass and the audio pass run through the encoder
// library's C interface, loaded with dlopen like the window loads it.
//
//   leak_driver LIBRARY CLIP WORKDIR
//
// Exit 0 when both passes completed.

#include "script/script_writer.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Begin = int32_t (*)(const char *, const char *, int32_t, int32_t, int32_t, int32_t, int32_t);
using NoArgs = int32_t (*)();
using GetFrame = int32_t (*)(const char *);
using LastError = const char *(*)();

template <typename F>
F entry(void *lib, const char *name)
{
    return reinterpret_cast<F>(dlsym(lib, name));
}

// The settings panel for the clip: 15 fps, 32000 Hz, neutral filters, no
// extras, so the conversion script is the plain eight-line one.
core::ScriptRequest request(int32_t mode, const fs::path &clip, const fs::path &work, int32_t seconds)
{
    core::ScriptRequest r;
    r.mode = mode;
    r.videoPath = clip.string();
    r.appFolder = work.string() + "/";
    r.scriptPath = (work / "temp.avs").string();
    r.frameCount = seconds;
    r.logoFontSize = 12.0;
    core::JobSettings &s = r.shown;
    s.frameRateIndex = 14; // "15"
    s.videoBitrate = "256";
    s.audioBitrateIndex = 4; // 128 kbit/s
    s.sampleRateIndex = 4;   // 32000 Hz
    s.encodeModeIndex = 2;   // Fast Speed
    s.startTime = "0";
    s.endTime = std::to_string(seconds);
    s.totalTime = seconds;
    s.saturation = 10;
    s.sharpness = 0;
    return r;
}

void show(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::fprintf(stderr, "--- %s\n%s---\n", path.c_str(), std::string(std::istreambuf_iterator<char>(in), {}).c_str());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s LIBRARY CLIP WORKDIR\n", argv[0]);
        return 2;
    }
    const fs::path clip = argv[2];
    const fs::path work = argv[3];
    fs::create_directories(work);

    // Stays loaded until exit, as in the window: the leak report then still
    // names the library's functions, and its static objects end at exit.
    void *const lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    const auto begin = entry<Begin>(lib, "Encode_Begin");
    const auto encoding = entry<NoArgs>(lib, "Encode_Encoding");
    const auto frames = entry<NoArgs>(lib, "Encode_Frame");
    const auto end = entry<NoArgs>(lib, "Encode_End");
    const auto getFrame = entry<GetFrame>(lib, "Encode_GetFrame");
    const auto lastError = entry<LastError>(lib, "Encode_GetLastError");
    if (!begin || !encoding || !frames || !end || !getFrame || !lastError) {
        std::fprintf(stderr, "the library lacks an entry point\n");
        return 1;
    }

    // Adding the file: the probe script gives its length.
    const core::ScriptResult probe = core::writeScript(request(0, clip, work, 0));
    if (probe.result != 1) {
        std::fprintf(stderr, "script writer refused the probe: %s\n", core::scriptWarningText(probe.warning));
        return 1;
    }
    const int32_t seconds = getFrame((work / "temp.avs").c_str());
    if (seconds == 0) {
        std::fprintf(stderr, "Encode_GetFrame: %s\n", lastError());
        return 1;
    }
    fs::remove(work / "temp.avs");

    // Converting it whole.
    const core::ScriptRequest conversion = request(1, clip, work, seconds);
    const core::ScriptResult script = core::writeScript(conversion);
    if (script.result != 1) {
        std::fprintf(stderr, "script writer refused: %s\n", core::scriptWarningText(script.warning));
        return 1;
    }
    show(conversion.scriptPath);

    const core::RunValues &v = script.run;
    int failures = 0;
    for (const int32_t videoPass : {1, 0}) {
        const char *const name = videoPass ? "video" : "audio";
        const std::string out = (work / (videoPass ? "temp.m1v" : "temp.mp2")).string();
        if (begin(conversion.scriptPath.c_str(), out.c_str(), v.videoBitrate, v.audioBitrate, v.sampleRate, videoPass,
                  2) != 0) {
            std::fprintf(stderr, "Encode_Begin (%s): %s\n", name, lastError());
            end();
            ++failures;
            continue;
        }
        while (encoding() < 100)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (end() != 0) {
            std::fprintf(stderr, "Encode_End (%s): %s\n", name, lastError());
            ++failures;
            continue;
        }
        std::fprintf(stderr, "%s pass: %d s clip, %d frames, %lld bytes\n", name, seconds, frames(),
                     static_cast<long long>(fs::file_size(out)));
    }
    return failures == 0 ? 0 : 1;
}
