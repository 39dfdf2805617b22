#include "prepared_audio.h"

#include "clip/error.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace engine::pass {

namespace {

// The prepared stream may take this much room in the temporary folder: hours
// of sound at the usual rates; longer jobs encode their sound in their own
// pass.
constexpr std::int64_t kMaxPreparedBytes = std::int64_t{256} << 20;

} // namespace

PreparedAudio::TempFile::TempFile()
{
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "tarvik-sound-XXXXXX.mp2").string();
    if (ec)
        throw Error("no temporary folder");
    const int fd = mkstemps(pattern.data(), 4);
    if (fd < 0)
        throw Error("cannot create a temporary file");
    close(fd);
    path = pattern;
}

PreparedAudio::TempFile::~TempFile()
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

std::optional<PreparedAudio::Key> PreparedAudio::keyFor(const std::string &scriptPath, const PassSettings &settings)
{
    std::ifstream in(scriptPath, std::ios::binary);
    if (!in)
        return std::nullopt;
    Key key{scriptPath, std::string(std::istreambuf_iterator<char>(in), {}), settings.audioBitrateKbps,
            settings.sampleRateHz};
    if (in.bad())
        return std::nullopt;
    return key;
}

PreparedAudio::PreparedAudio(Key key, ClipPtr clip, const PassSettings &settings) : m_key(std::move(key))
{
    if (!clip)
        throw Error("the script gave no clip");
    const VideoInfo &vi = clip->info();
    const std::int64_t seconds = vi.hasVideo ? vi.frameCount * vi.fpsDen / std::max(vi.fpsNum, 1)
                                             : vi.sampleCount / std::max(vi.sampleRate, 1);
    if (seconds * std::max(settings.audioBitrateKbps, 0) * 125 > kMaxPreparedBytes)
        throw Error("the sound is too long to prepare");
    PassSettings audio = settings;
    audio.videoPass = false;
    audio.outputPath = m_file.path;
    m_pass = std::make_unique<EncodePass>(std::move(clip), audio);
}

PreparedAudio::~PreparedAudio() = default;

bool PreparedAudio::waitEnd(std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_pass->percent() < 100) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool PreparedAudio::complete()
{
    if (!m_complete)
        m_complete = m_pass->end();
    return *m_complete;
}

void PreparedAudio::copyTo(StreamWriter &writer) const
{
    writer.appendFile(m_file.path);
}

} // namespace engine::pass
