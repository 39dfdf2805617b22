#pragma once

// One encoding pass: a clip written as an MPEG-1 video stream or an MPEG
// audio Layer II stream on a worker thread.
//
// Threading: the constructor, percent(), secondsLeft() and end() are called
// from one controlling thread; the worker only touches the writer and the
// atomics, and pulls the clip's pictures on a helper thread of its own. Errors on the worker are caught at its top and reported
// by end(); they never cross threads as exceptions.

#include "clip/clip.h"
#include "clip/work_control.h"
#include "pipeline/stream_writers.h"
#include "time_left.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace engine::pass {

class PreparedAudio;

struct PassSettings
{
    std::string outputPath;
    bool videoPass = true;
    int videoBitrateKbps = 0;
    int audioBitrateKbps = 0;
    int sampleRateHz = 0;
    EncodeMode mode = EncodeMode::Normal;
};

// The size the video pass encodes vi's pictures at: 256 wide (the player's
// screen), even height. Throws engine::Error naming the size when MPEG-1
// cannot carry it (at most 4095 pixels either way).
std::pair<int, int> videoOutputSize(const VideoInfo &vi);

// Frames the video pass writes and the length of the audio it writes, for
// a clip: S(N) at the clip's rate (audio-only clips: S).
std::int64_t audioSamplesToWrite(const VideoInfo &vi);

// Opens the pass's script once more, as a second clip graph of its own.
using ClipReopener = std::function<ClipPtr()>;

class EncodePass
{
public:
    // Opens the encoder and the output file synchronously and starts the
    // worker. Throws engine::Error when anything cannot be set up (nothing
    // runs then). An audio pass given prepared sound waits for it and writes
    // it out instead of encoding; when it did not complete, the pass encodes
    // clip's sound as usual. A long video pass given reopen codes its second
    // half from a second clip graph at the same time as the first half.
    EncodePass(ClipPtr clip, const PassSettings &settings, std::unique_ptr<PreparedAudio> prepared = {},
               ClipReopener reopen = {});
    // Stops and joins the worker if end() was not called.
    ~EncodePass();

    EncodePass(const EncodePass &) = delete;
    EncodePass &operator=(const EncodePass &) = delete;

    // 0..99 while the pass runs, 100 once it has ended (finished, failed or
    // stopped). Never goes down.
    int percent() const;
    // Estimated whole seconds left; 0 until meaningful.
    int secondsLeft() const { return m_secondsLeft.load(); }

    // Asks the worker to stop after the current frame, waits for it, and
    // returns true only when every frame or sample was written and the
    // output was closed cleanly. The output file is closed either way.
    // Idempotent.
    bool end();
    // The reason the pass failed; empty when it did not.
    std::string error() const;
    // Notes for the user about faults the pass hid (damaged stretches of an
    // input made silent); complete once end() has returned.
    std::vector<std::string> notes() const;

private:
    void run(std::stop_token stop);
    bool handOver(std::stop_token stop);
    struct SecondHalf;
    // The pass's own loop, pulling every unit from the clip into the writer.
    void writeVideo(Mpeg1VideoWriter &writer, std::stop_token stop);
    // Pictures [from, *to) of clip into writer, made ahead on a helper
    // thread; to may change while the first ones are written. Calls
    // first() once the first picture is written.
    void writePictures(Clip &clip, std::int64_t from, const std::atomic<std::int64_t> &to,
                       Mpeg1VideoWriter &writer, const std::function<bool()> &stopped,
                       const std::function<void()> &first);
    // A video pass long enough to be coded as two halves at once.
    bool halvesPlanned() const;
    // The second half [from, m_total), started beside the first: its thread
    // opens the script again and codes it into a temporary stream, setting
    // finished once that stream is complete. Null when the output's folder
    // has no room for that stream.
    std::unique_ptr<SecondHalf> startSecondHalf(std::int64_t from, const Mpeg1VideoWriter &first,
                                                std::stop_token stop);
    void writeAudio(Mp2AudioWriter &writer, std::stop_token stop);
    // Records units written by the pass itself and updates progress and the
    // time estimate. Worker thread only.
    void written(std::int64_t units);
    // Progress and estimate from the pass's own units plus the long work
    // reported through m_control. Worker thread only.
    void report();

    ClipPtr m_clip;
    ClipReopener m_reopen;
    // Taken from the root clip before the audio pass wraps it; stops long
    // work (a Reverse reading its whole input) from end().
    std::shared_ptr<WorkControl> m_control;
    PassSettings m_settings;
    std::unique_ptr<StreamWriter> m_writer;
    std::unique_ptr<PreparedAudio> m_prepared;
    std::vector<std::string> m_preparedNotes; // worker only, until m_ended
    // The second half's control: stopped by end(), its notes are the pass's.
    mutable std::mutex m_secondMutex;
    std::shared_ptr<WorkControl> m_secondControl;
    std::function<void(std::stop_token)> m_write; // writeVideo or writeAudio, bound to m_writer
    std::int64_t m_total = 0;
    std::mutex m_progressMutex; // report() runs on the worker and on its picture thread
    std::atomic<std::int64_t> m_written{0}; // added to by the worker
    TimeLeft m_timeLeft{0};     // under m_progressMutex

    std::atomic<int> m_percent{0};
    std::atomic<int> m_secondsLeft{0};
    std::atomic<bool> m_ended{false};
    bool m_completed = false; // written by the worker before m_ended
    mutable std::mutex m_errorMutex;
    std::string m_error;

    std::jthread m_worker; // last: joined before the members it uses go away
};

} // namespace engine::pass
