#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace core {

// The arguments of Encode_Begin.
struct PassArgs
{
    std::string scriptPath;
    std::string outputPath;
    std::int32_t videoBitrate = 0;
    std::int32_t audioBitrate = 0;
    std::int32_t sampleRate = 0;
    std::int32_t videoPass = 0; // 1 video, 0 audio
    std::int32_t mode = 0;
};

// One encoder pass at a time, asynchronously: the run asks, and the answers
// come later as events on the run's event loop. The real one is a helper
// process (velmora-worker) serving the library; tests use fakes. The library
// sees exactly the calls a caller on its own thread would make: Encode_Begin
// then Encode_Frame; Encode_Encoding repeatedly with Encode_GetLeftTime after
// each change; Encode_End.
class EncoderChannel
{
public:
    struct Listener
    {
        // Encode_Begin's result, Encode_Frame's count (asked before the
        // result is tested), and Encode_GetLastError's text when the result
        // is -1. After a result other than -1, progress follows.
        std::function<void(std::int32_t result, std::int32_t frames, const std::string &error)> opened;
        // Each change of Encode_Encoding (0..100, the last one 100 or more)
        // with Encode_GetLeftTime.
        std::function<void(std::int32_t percent, std::int32_t secondsLeft)> progress;
        // Encode_End's result, the failure's reason when it is negative, and
        // Encode_GetNotes (empty when none).
        std::function<void(std::int32_t result, const std::string &error, const std::string &notes)> closed;
        // The helper failed the pass: it ended on a signal, exited, stopped
        // answering or sent what is no message. [what] says which in plain
        // words ("segmentation fault", "it stopped answering"). Nothing more
        // comes for this pass; the next open() gets a fresh helper.
        std::function<void(const std::string &what)> lost;
    };

    virtual ~EncoderChannel() = default;

    virtual void setListener(Listener listener) = 0;
    // Opens a pass: opened, then progress up to 100.
    virtual void open(const PassArgs &args) = 0;
    // Encode_End, after 100 % or to cut the pass short: closed, or lost when
    // no answer comes within [bound] (the helper is then ended).
    virtual void close(std::chrono::milliseconds bound) = 0;
    // The program is going away: Encode_End if the helper answers within
    // [bound] (this call waits that long at most), else the helper is ended.
    // No event comes after it.
    virtual void shutdown(std::chrono::milliseconds bound) = 0;
    // Holds the pass where it is (its helper stopped, not ended) and lets
    // it go on; while held, no bound runs out. Harmless without a pass.
    virtual void pause() {}
    virtual void resume() {}
};

} // namespace core
