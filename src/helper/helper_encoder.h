#pragma once

#include "convert/encoder.h"
#include "helper/helper_process.h"
#include "preview/preview_source.h"

#include <atomic>
#include <chrono>
#include <string>

namespace helper {

// How long HelperEncoder waits for each kind of answer.
struct EncoderDeadlines
{
    // Calls that may read a whole file (a container that states no length is scanned).
    std::chrono::milliseconds scan{120000};
    std::chrono::milliseconds end{30000};
    std::chrono::milliseconds quick{10000};
};

// The encoder library served by a velmora-worker, as a blocking core::Encoder
// and core::PreviewSource, for threads other than the window's (the add's
// probes, the check before the first pass, the preview's thread). Usable from
// one thread at a time: each such thread owns an instance of its own.
//
// The worker starts at the first call and is kept. Each call is a request
// with a deadline; when the worker dies, stops answering within it or sends
// garbage, it is killed, the call returns its failure value (begin -1, frame
// 0, encoding 100, leftTime 0, end -1, getFrame 0, previews -1) with
// "The encoder stopped unexpectedly (<what>)." as the reason, and the next
// call starts a fresh worker. abort() (from any thread) cuts the call under
// way short the same way, its worker killed; when no call is under way, it
// fails the next call at once, so that an abort racing a call's start is
// never lost. A missing worker file fails the call the same
// way with the sentence of helperProgramProblem().
class HelperEncoder final : public core::Encoder, public core::PreviewSource
{
public:
    using Deadlines = EncoderDeadlines;

    HelperEncoder(std::string workerPath, std::string libraryPath, Deadlines deadlines = {});

    std::int32_t begin(const std::string &scriptPath, const std::string &outputPath, std::int32_t videoBitrate,
                       std::int32_t audioBitrate, std::int32_t sampleRate, std::int32_t videoPass,
                       std::int32_t mode) override;
    // Encode_Frame's count, asked by the worker right after Encode_Begin.
    std::int32_t frame() override;
    // The pass's latest progress, as the worker reported it.
    std::int32_t encoding() override;
    std::int32_t leftTime() override;
    std::int32_t end() override;
    std::int32_t getFrame(const std::string &scriptPath) override;
    std::string lastError() override;
    void abort() override;

    std::int32_t previewFrames(const std::string &scriptPath, std::string &error) override;
    std::int32_t preview(const std::string &scriptPath, std::int32_t index, std::vector<std::uint8_t> &rgb,
                         std::int32_t &width, std::int32_t &height, std::string &error) override;

private:
    // Waits up to [timeout] for the worker's socket; false when aborted.
    bool wait(std::chrono::milliseconds timeout);
    // True (and the call failed, the worker killed) when abort() has come.
    bool aborted();

    // Sends [request] (starting a worker when none runs) and waits up to
    // [deadline] for a reply of [kind]; nothing, with m_lastError set, when
    // the worker failed.
    std::optional<Message> ask(const Message &request, Kind kind, std::chrono::milliseconds deadline);
    // Takes what the worker has sent; stops at a message of [kind] and returns it.
    std::optional<Message> take(Kind kind);
    // Kills the worker and records why.
    void lose(const std::string &what);

    std::string m_workerPath;
    std::string m_libraryPath;
    Deadlines m_deadlines;
    HelperProcess m_process;
    std::string m_lastError;
    bool m_passOpen = false; // begun and not ended
    bool m_passLost = false; // the worker died with a pass open
    std::int32_t m_frames = 0;
    std::int32_t m_percent = 100;
    std::int32_t m_secondsLeft = 0;
    bool m_progressSeen = false;
    std::chrono::steady_clock::time_point m_lastHeard;
    UniqueFd m_abort; // eventfd that abort() signals
};

} // namespace helper
