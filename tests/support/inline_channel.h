#pragma once

// A pass channel over a blocking encoder (the fake library) on the loop's
// own thread: what the helper process does, without the process. Every
// answer comes as a posted event, never from inside the call that asked.

#include "convert/encoder.h"
#include "convert/encoder_channel.h"
#include "convert/event_loop.h"

#include <string>

namespace support {

class InlineChannel final : public core::EncoderChannel
{
public:
    InlineChannel(core::Encoder &encoder, core::EventLoop &loop) : m_encoder(encoder), m_loop(loop) {}
    ~InlineChannel() override { m_loop.cancel(m_poll); }

    // The helper of pass [losePass] (counted from 0 in the order opened) is
    // "lost" with [loseWhat] at its first poll instead of answering.
    int losePass = -1;
    std::string loseWhat;
    // A helper stuck inside the library: close() gets no answer, and the
    // helper is ended ("lost") once the bound has passed.
    bool hangs = false;
    int pauses = 0;
    std::chrono::milliseconds pollEvery{10}; // between two Encode_Encoding

    void setListener(Listener listener) override { m_listener = std::move(listener); }
    void open(const core::PassArgs &a) override
    {
        m_lose = m_opened++ == losePass ? loseWhat : std::string();
        const std::int32_t result = m_encoder.begin(a.scriptPath, a.outputPath, a.videoBitrate, a.audioBitrate,
                                                    a.sampleRate, a.videoPass, a.mode);
        const std::int32_t frames = a.videoPass ? m_encoder.frame() : 0;
        const std::string error = result == -1 ? m_encoder.lastError() : std::string();
        deliver([=, this] { m_listener.opened(result, frames, error); });
        m_previous = -1;
        m_active = true;
        if (result != -1)
            schedulePoll();
    }
    void close(std::chrono::milliseconds bound) override
    {
        m_loop.cancel(m_poll);
        m_active = false;
        if (hangs) {
            m_poll = m_loop.after(bound, [this] { deliver([this] { m_listener.lost("it stopped answering"); }); });
            return;
        }
        const std::int32_t result = m_encoder.end();
        const std::string error = result < 0 ? m_encoder.lastError() : std::string();
        deliver([=, this] { m_listener.closed(result, error, {}); });
    }
    // A held pass is not polled: the library's progress stands still.
    void pause() override
    {
        ++pauses;
        m_loop.cancel(std::exchange(m_poll, 0));
    }
    void resume() override
    {
        if (m_active && m_poll == 0)
            schedulePoll();
    }
    void shutdown(std::chrono::milliseconds) override
    {
        m_loop.cancel(m_poll);
        m_active = false;
        if (!hangs)
            m_encoder.end();
        ++m_generation; // nothing already posted is delivered
    }

private:
    template <typename F>
    void deliver(F event)
    {
        m_loop.post([this, event, generation = m_generation] {
            // Also dropped once the run has let go of the channel.
            if (generation == m_generation && m_listener.opened)
                event();
        });
    }
    void schedulePoll()
    {
        m_poll = m_loop.after(pollEvery, [this] {
            m_poll = 0;
            if (!m_lose.empty()) {
                const std::string what = std::exchange(m_lose, {});
                deliver([=, this] { m_listener.lost(what); });
                return;
            }
            const std::int32_t percent = m_encoder.encoding();
            if (!m_active)
                return;
            if (percent != m_previous) {
                const std::int32_t left = m_encoder.leftTime();
                deliver([=, this] { m_listener.progress(percent, left); });
            }
            m_previous = percent;
            if (percent < 100)
                schedulePoll();
        });
    }

    core::Encoder &m_encoder;
    core::EventLoop &m_loop;
    Listener m_listener;
    core::EventLoop::Handle m_poll = 0;
    std::int32_t m_previous = -1;
    std::string m_lose;
    bool m_active = false; // a pass is being polled
    int m_opened = 0;
    int m_generation = 0;
};

} // namespace support
