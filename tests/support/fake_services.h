#pragma once

// The program's encoders played by one fake library: the passes through an
// inline channel on the window's loop, the probes forwarded from their own
// thread (the window waits for each, so the fake is never used from two
// threads at once).

#include "convert/encoder_services.h"
#include "support/inline_channel.h"

#include <memory>

namespace support {

class ForwardingEncoder final : public core::Encoder
{
public:
    explicit ForwardingEncoder(core::Encoder &to) : m_to(to) {}
    std::int32_t begin(const std::string &s, const std::string &o, std::int32_t v, std::int32_t a, std::int32_t r,
                       std::int32_t p, std::int32_t m) override { return m_to.begin(s, o, v, a, r, p, m); }
    std::int32_t frame() override { return m_to.frame(); }
    std::int32_t encoding() override { return m_to.encoding(); }
    std::int32_t leftTime() override { return m_to.leftTime(); }
    std::int32_t end() override { return m_to.end(); }
    std::int32_t getFrame(const std::string &scriptPath) override { return m_to.getFrame(scriptPath); }
    std::string lastError() override { return m_to.lastError(); }

private:
    core::Encoder &m_to;
};

class FakeServices final : public core::EncoderServices
{
public:
    explicit FakeServices(core::Encoder &library) : m_library(library) {}

    std::string missing;              // what problem() says
    InlineChannel *channel = nullptr; // the passes' channel made last

    std::string problem() override { return missing; }
    std::unique_ptr<core::EncoderChannel> passes(core::EventLoop &loop) override
    {
        auto made = std::make_unique<InlineChannel>(m_library, loop);
        channel = made.get();
        return made;
    }
    std::unique_ptr<core::Encoder> prober() override { return std::make_unique<ForwardingEncoder>(m_library); }
    std::unique_ptr<core::PreviewSource> previews() override { return nullptr; }

private:
    core::Encoder &m_library;
};

} // namespace support
