#include "helper/helper_services.h"

#include "helper/helper_channel.h"
#include "helper/helper_encoder.h"
#include "helper/helper_process.h"

namespace helper {

HelperServices::HelperServices(std::string workerPath, std::string libraryPath)
    : m_workerPath(std::move(workerPath)), m_libraryPath(std::move(libraryPath))
{
}

std::string HelperServices::problem()
{
    return helperProgramProblem(m_workerPath);
}

std::unique_ptr<core::EncoderChannel> HelperServices::passes(core::EventLoop &loop)
{
    return std::make_unique<HelperChannel>(loop, m_workerPath, m_libraryPath);
}

std::unique_ptr<core::Encoder> HelperServices::prober()
{
    return std::make_unique<HelperEncoder>(m_workerPath, m_libraryPath);
}

std::unique_ptr<core::PreviewSource> HelperServices::previews()
{
    return std::make_unique<HelperEncoder>(m_workerPath, m_libraryPath);
}

} // namespace helper
