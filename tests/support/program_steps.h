#pragma once

// One file added and converted the way the program does it, through the
// library's C interface: the writer's probe script and Encode_GetFrame
// (0: the file is not added), then the conversion script from 0 to the
// whole length and both passes as the run drives them. Each step reports
// what it saw as key=value facts; no test framework is needed, so a child
// process or a tool can run it.

#include "script/script_writer.h"
#include "tarvik_api.h"

#include <filesystem>
#include <functional>
#include <string>

namespace support {

using Report = std::function<void(const std::string &key, const std::string &value)>;

// [job] is the panel as the writer reads it; its mode, clip length and time
// window are filled in here. True when both passes completed.
inline bool convertLikeTheProgram(const TarvikApi &api, core::ScriptRequest job, const Report &put)
{
    job.mode = 0;
    job.frameCount = 0;
    const core::ScriptResult probe = core::writeScript(job);
    put("probeWriter", std::to_string(probe.result));
    if (probe.result != 1)
        return false;
    const int32_t length = api.getFrame(job.scriptPath.c_str());
    put("getFrame", std::to_string(length));
    put("getFrameError", api.lastError());
    std::filesystem::remove(job.scriptPath);
    if (length == 0)
        return false;

    job.mode = 1;
    job.frameCount = length;
    job.shown.startTime = "0";
    job.shown.endTime = std::to_string(length);
    job.shown.totalTime = length;
    const core::ScriptResult conversion = core::writeScript(job);
    put("writer", std::to_string(conversion.result));
    if (conversion.result != 1)
        return false;
    const core::RunValues &v = conversion.run;
    const std::string folder = std::filesystem::path(job.scriptPath).parent_path().string() + "/";
    for (const int32_t videoPass : {1, 0}) {
        const std::string which = videoPass ? "video" : "audio";
        const std::string out = folder + (videoPass ? "temp.m1v" : "temp.mp2");
        const int32_t begun = api.begin(job.scriptPath.c_str(), out.c_str(), v.videoBitrate, v.audioBitrate,
                                        v.sampleRate, videoPass, job.shown.encodeModeIndex);
        if (videoPass)
            put("frames", std::to_string(api.frame()));
        put(which + "Begin", std::to_string(begun));
        put(which + "BeginError", api.lastError());
        if (begun == -1) {
            api.end();
            return false;
        }
        const int32_t ended = api.finish();
        put(which + "End", std::to_string(ended));
        put(which + "EndError", api.lastError());
        put(which + "Notes", api.notes ? api.notes() : "<no Encode_GetNotes>");
        if (ended != 0)
            return false;
    }
    return true;
}

// The panel of a plain job: 15 fps, 256 kbit/s, 128 kbit/s at 32000 Hz,
// neutral filters, Fast Speed (quick for tests).
inline core::ScriptRequest plainJob(const std::string &video, const std::string &programFolder)
{
    core::ScriptRequest r;
    r.videoPath = video;
    r.appFolder = programFolder + "/";
    r.scriptPath = r.appFolder + "temp.avs";
    r.logoFontSize = 12.0;
    r.shown.saturation = 10;
    r.shown.sharpness = 0;
    r.shown.encodeModeIndex = 2;
    return r;
}

} // namespace support
