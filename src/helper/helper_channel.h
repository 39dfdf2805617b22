#pragma once

#include "convert/encoder_channel.h"
#include "convert/event_loop.h"
#include "helper/helper_process.h"

#include <chrono>
#include <memory>
#include <string>

namespace helper {

// How long HelperChannel waits for a worker during a pass.
struct ChannelBounds
{
    // From begin to opened: the library opens and may scan the inputs.
    std::chrono::milliseconds open{120000};
    // Between messages while the pass runs (the worker beats every second).
    std::chrono::milliseconds silence{15000};
};

// core::EncoderChannel over a velmora-worker, driven by [loop]: nothing here
// waits on the loop's thread except shutdown(). All calls come from the
// loop's thread. The worker is started by the first open() and kept for the
// passes that follow; after a loss the next open() starts a fresh one.
// Before open(), the window checks helperProgramProblem(); a missing worker
// file still fails open() as opened(-1) with that sentence.
class HelperChannel final : public core::EncoderChannel
{
public:
    HelperChannel(core::EventLoop &loop, std::string workerPath, std::string libraryPath, ChannelBounds bounds = {});
    ~HelperChannel() override;
    HelperChannel(const HelperChannel &) = delete;
    HelperChannel &operator=(const HelperChannel &) = delete;

    void setListener(Listener listener) override;
    void open(const core::PassArgs &args) override;
    void close(std::chrono::milliseconds bound) override;
    void shutdown(std::chrono::milliseconds bound) override;
    // SIGSTOP and SIGCONT to the worker; the bound running is set aside
    // while it is stopped and starts again in full.
    void pause() override;
    void resume() override;

private:
    enum class Phase { Idle, Opening, Running, Closing };

    void onReadable();
    // Handles one message; false when the channel went away inside a listener.
    bool dispatch(const Message &message);
    void lose(const std::string &what);
    void arm(std::chrono::milliseconds bound);
    void disarm();
    void unwatch();
    // Runs [fn] on the loop soon, unless the channel is gone by then.
    void later(std::function<void(HelperChannel &)> fn);

    core::EventLoop &m_loop;
    std::string m_workerPath;
    std::string m_libraryPath;
    ChannelBounds m_bounds;
    Listener m_listener;
    HelperProcess m_process;
    Phase m_phase = Phase::Idle;
    bool m_shutDown = false;
    bool m_paused = false;
    std::chrono::milliseconds m_bound{0}; // the bound armed last, for resume()
    core::EventLoop::Handle m_watch = 0;
    core::EventLoop::Handle m_timer = 0;
    // Expires with the channel: callbacks already queued on the loop check it.
    std::shared_ptr<HelperChannel *> m_self;
};

} // namespace helper
