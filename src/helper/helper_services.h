#pragma once

#include "convert/encoder_services.h"

#include <string>

namespace helper {

// The program's encoders: every one a velmora-worker of its own serving the
// library at [libraryPath].
class HelperServices final : public core::EncoderServices
{
public:
    HelperServices(std::string workerPath, std::string libraryPath);

    std::string problem() override;
    std::unique_ptr<core::EncoderChannel> passes(core::EventLoop &loop) override;
    std::unique_ptr<core::Encoder> prober() override;
    std::unique_ptr<core::PreviewSource> previews() override;

private:
    std::string m_workerPath;
    std::string m_libraryPath;
};

} // namespace helper
