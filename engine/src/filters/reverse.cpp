// Reverse: plays a clip backwards in bounded memory.
//
// Frames and samples come out last first, but sources decode first to last.
// Holding the whole clip would grow with its length, so on first use the
// input is written once, in order, to an unnamed temporary file, and read
// back from the end. Video and audio have a file each, filled only when that
// stream is first pulled (the video pass never decodes the audio).
//
// That first pull costs a whole decode, so it reports its progress through
// the script's WorkControl and gives up there when the pass is stopped.

#include "filters/filters.h"

#include "clip/error.h"
#include "filters/frame_util.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace engine::filters {

namespace {

// A temporary file that has no name from the moment it exists: nothing is
// left behind, even when the process dies.
class TempFile
{
public:
    explicit TempFile(const std::string &folder)
    {
        std::string dir = folder;
        if (dir.empty())
            dir = std::filesystem::temp_directory_path().string();
        if (dir.back() != '/')
            dir += '/';
        std::string path = dir + "reverse-XXXXXX";
        m_fd = ::mkstemp(path.data());
        if (m_fd < 0)
            throw Error("cannot create a temporary file in \"" + dir + "\": " + std::strerror(errno));
        ::unlink(path.c_str());
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    ~TempFile() { ::close(m_fd); }

    void append(const void *data, std::size_t size)
    {
        const auto *p = static_cast<const char *>(data);
        while (size > 0) {
            const ssize_t n = ::write(m_fd, p, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw Error(std::string("cannot write the temporary file: ") + std::strerror(errno));
            p += n;
            size -= static_cast<std::size_t>(n);
        }
    }

    void read(void *data, std::size_t size, std::int64_t offset) const
    {
        auto *p = static_cast<char *>(data);
        while (size > 0) {
            const ssize_t n = ::pread(m_fd, p, size, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw Error(std::string("cannot read the temporary file: ") +
                            (n == 0 ? "it is shorter than written" : std::strerror(errno)));
            p += n;
            offset += n;
            size -= static_cast<std::size_t>(n);
        }
    }

private:
    int m_fd = -1;
};

class ReverseClip final : public FilterClip
{
public:
    ReverseClip(ClipPtr child, std::string folder, bool byIndex)
        : FilterClip(std::move(child)), m_folder(std::move(folder)), m_byIndex(byIndex)
    {
    }

protected:
    FrameRef frameAt(std::int64_t n) override
    {
        if (m_byIndex)
            return m_child->frame(m_info.frameCount - 1 - n);
        if (!m_video)
            spillVideo();
        const std::int64_t source = m_info.frameCount - 1 - n;
        m_staging.resize(frameBytes());
        m_video->read(m_staging.data(), m_staging.size(), source * static_cast<std::int64_t>(frameBytes()));
        std::shared_ptr<AVFrame> out = makeFrame(m_info.width, m_info.height);
        const std::uint8_t *p = m_staging.data();
        for (int plane = 0; plane < 3; ++plane) {
            const auto w = static_cast<std::size_t>(planeWidth(*out, plane));
            for (int y = 0; y < planeHeight(*out, plane); ++y, p += w)
                std::memcpy(row(*out, plane, y), p, w);
        }
        return out;
    }

    std::optional<SourceMoment> originAt(std::int64_t n, SourceNumber source) override
    {
        return m_child->origin(m_info.frameCount - 1 - n, source);
    }

    void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) override
    {
        if (!m_audio)
            spillAudio();
        const int ch = m_info.channels;
        // Output sample i is input sample S-1-i, channels kept in order.
        const std::int64_t first = m_info.sampleCount - start - count;
        m_audio->read(out.data(), out.size_bytes(), first * ch * static_cast<std::int64_t>(sizeof(float)));
        for (std::int64_t i = 0, j = count - 1; i < j; ++i, --j)
            std::swap_ranges(out.begin() + i * ch, out.begin() + (i + 1) * ch, out.begin() + j * ch);
    }

private:
    std::size_t frameBytes() const
    {
        const auto w = static_cast<std::size_t>(m_info.width);
        const auto h = static_cast<std::size_t>(m_info.height);
        return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
    }

    void spillVideo()
    {
        auto file = std::make_unique<TempFile>(m_folder);
        m_staging.resize(frameBytes());
        WorkControl *work = control().get();
        if (work)
            work->addWork(m_info.frameCount);
        for (std::int64_t n = 0; n < m_info.frameCount; ++n) {
            const FrameRef f = m_child->frame(n);
            if (f->width != m_info.width || f->height != m_info.height)
                throw Error("a frame of " + std::to_string(f->width) + "x" + std::to_string(f->height) +
                            " does not match the clip's size");
            std::uint8_t *p = m_staging.data();
            for (int plane = 0; plane < 3; ++plane) {
                const auto w = static_cast<std::size_t>(planeWidth(*f, plane));
                for (int y = 0; y < planeHeight(*f, plane); ++y, p += w)
                    std::memcpy(p, row(*f, plane, y), w);
            }
            file->append(m_staging.data(), m_staging.size());
            if (work)
                work->advance(1);
        }
        m_video = std::move(file);
    }

    void spillAudio()
    {
        auto file = std::make_unique<TempFile>(m_folder);
        constexpr std::int64_t kChunk = 1 << 16;
        const int ch = m_info.channels;
        std::vector<float> buffer(static_cast<std::size_t>(kChunk * ch));
        WorkControl *work = control().get();
        if (work)
            work->addWork(m_info.sampleCount);
        for (std::int64_t pos = 0; pos < m_info.sampleCount; pos += kChunk) {
            const std::int64_t count = std::min(kChunk, m_info.sampleCount - pos);
            const std::span<float> part(buffer.data(), static_cast<std::size_t>(count * ch));
            m_child->audio(pos, count, part);
            file->append(part.data(), part.size_bytes());
            if (work)
                work->advance(count);
        }
        m_audio = std::move(file);
    }

    std::string m_folder;
    bool m_byIndex;
    std::unique_ptr<TempFile> m_video;
    std::unique_ptr<TempFile> m_audio;
    std::vector<std::uint8_t> m_staging;
};

} // namespace

ClipPtr reverse(ClipPtr clip, std::string tempFolder, bool byIndex)
{
    return std::make_shared<ReverseClip>(std::move(clip), std::move(tempFolder), byIndex);
}

} // namespace engine::filters
