#pragma once

// The encoder library's one session: at most one open pass, the frame count
// of the script opened last, and the clip-length probe. The C entry points
// are thin shims over this class.
//
// A video pass that starts also starts preparing the job's sound (see
// PreparedAudio); the audio pass that follows takes it over when its script
// and settings match. A video pass that fails or is stopped, the next video
// pass, an audio pass that does not match, and Encode_End with no pass open
// drop what was prepared.
//
// Threading: every member may be called from any thread; calls are
// serialised by an internal mutex (the pass itself runs on its own worker).

#include "encode_pass.h"
#include "prepared_audio.h"
#include "script/value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace engine::pass {

// Opens a script file into its clip for the given use. Throws engine::Error
// with a message for the user.
using ScriptOpener = std::function<ClipPtr(const std::string &scriptPath, script::ScriptUse use)>;

// The opener with every built-in function of the engine registered.
ScriptOpener defaultScriptOpener();

struct BeginRequest
{
    std::string scriptPath;
    PassSettings settings;
};

class Session
{
public:
    explicit Session(ScriptOpener opener);
    ~Session();

    // Ends any open pass, opens the script (for a pass) and starts a new
    // pass. Throws engine::Error when anything fails; nothing is open then.
    void begin(const BeginRequest &request);
    // N of the clip opened by the last begin(); 0 when it failed.
    std::int32_t frameCount() const;
    // Progress of the open pass; 100 when none is open.
    std::int32_t percent() const;
    std::int32_t secondsLeft() const;
    // Stops and closes the open pass. Returns true when it completed or
    // when nothing was open; false with the reason in failure otherwise.
    bool end(std::string &failure);
    // Notes for the user about the pass ended last (one per line): faults
    // of its input that it hid. Empty when there were none.
    std::string notes() const;
    // The clip's length in whole seconds, rounded up (at least 1 when it has
    // a frame or a sample). Throws engine::Error when the script fails.
    std::int32_t lengthSeconds(const std::string &scriptPath);

private:
    bool closePass(std::string &failure);
    void startPreparing(const BeginRequest &request, PreparedAudio::Key key);

    ScriptOpener m_opener;
    mutable std::mutex m_mutex;
    std::unique_ptr<PreparedAudio> m_prepared;
    std::unique_ptr<EncodePass> m_pass; // after m_prepared: an audio pass may wait on it
    std::int32_t m_frameCount = 0;
    std::string m_notes;
};

} // namespace engine::pass
