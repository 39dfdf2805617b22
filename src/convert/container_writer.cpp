#include "convert/container_writer.h"

#include "convert/kvx_header.h"

#include <array>
#include <cerrno>
#include <random>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

namespace {

std::string reasonOf(int errorNumber)
{
    return std::system_category().message(errorNumber);
}

// Owns one file descriptor.
class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd &operator=(Fd &&other) noexcept
    {
        if (this != &other) {
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

    // Closes now and reports the close's own error (0 when fine): on some file
    // systems a failed write only shows up here.
    int close()
    {
        const int fd = std::exchange(m_fd, -1);
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int m_fd = -1;
};

// Removes the temporary output unless released: every early return cleans up.
class TempFileGuard
{
public:
    explicit TempFileGuard(std::filesystem::path path) : m_path(std::move(path)) {}
    TempFileGuard(const TempFileGuard &) = delete;
    TempFileGuard &operator=(const TempFileGuard &) = delete;
    ~TempFileGuard()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    void release() { m_path.clear(); }

private:
    std::filesystem::path m_path;
};

struct OpenedStream
{
    Fd fd;
    std::int64_t size = 0;
    std::string error;
};

OpenedStream openStream(const char *what, const std::filesystem::path &path)
{
    OpenedStream stream;
    stream.fd = Fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!stream.fd.valid()) {
        stream.error = std::string("cannot read the ") + what + " " + path.string() + ": " + reasonOf(errno);
        return stream;
    }
    struct stat info{};
    if (::fstat(stream.fd.get(), &info) != 0) {
        stream.error = std::string("cannot read the ") + what + " " + path.string() + ": " + reasonOf(errno);
        return stream;
    }
    if (!S_ISREG(info.st_mode)) {
        stream.error = std::string("cannot read the ") + what + " " + path.string() + ": not a regular file";
        return stream;
    }
    stream.size = static_cast<std::int64_t>(info.st_size);
    return stream;
}

// 0 when all [size] bytes went out, else errno.
int writeAll(int fd, const std::uint8_t *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

// A name in the output's folder that no user file has: hidden, random, and
// opened with O_EXCL so an existing file is never reused.
Fd createTemporary(const std::filesystem::path &outputPath, std::filesystem::path &tempPath, int &errorNumber)
{
    std::random_device seed;
    std::mt19937_64 random(seed());
    static constexpr char kHex[] = "0123456789abcdef";
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string suffix;
        for (std::uint64_t bits = random(); suffix.size() < 12; bits >>= 4)
            suffix += kHex[bits & 0xFu];
        tempPath = outputPath.parent_path() / ("." + outputPath.filename().string() + "." + suffix + ".part");
        Fd fd(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.valid())
            return fd;
        errorNumber = errno;
        if (errorNumber != EEXIST)
            break;
    }
    tempPath.clear();
    return Fd();
}

} // namespace

ContainerResult writeContainer(const ContainerRequest &request)
{
    ContainerResult result;
    const std::string outputName = request.outputPath.string();
    auto fail = [&](const std::string &reason) {
        result.error = "Cannot write the output file " + outputName + ": " + reason;
        return result;
    };

    OpenedStream audio = openStream("audio stream", request.audioPath);
    if (!audio.error.empty())
        return fail(audio.error);
    OpenedStream video = openStream("video stream", request.videoPath);
    if (!video.error.empty())
        return fail(video.error);

    const HeaderResult header = CalHeader({.frameNumber = request.frameNumber,
                                           .mp2Length = audio.size,
                                           .m1vLength = video.size,
                                           .run = request.run});
    if (!header.ok())
        return fail(header.error);

    std::filesystem::path tempPath;
    int createError = 0;
    Fd output = createTemporary(request.outputPath, tempPath, createError);
    if (!output.valid())
        return fail(reasonOf(createError));
    TempFileGuard guard(tempPath);

    if (const int error = writeAll(output.get(), header.bytes.data(), header.bytes.size()))
        return fail(reasonOf(error));

    // Exactly the measured number of bytes goes out per stream, so the header
    // always matches the body even if a stream changed after it was measured.
    std::array<std::uint8_t, kContainerCopyBytes> buffer;
    for (OpenedStream *stream : {&audio, &video}) {
        const char *what = stream == &audio ? "audio stream " : "video stream ";
        const std::string streamName = (stream == &audio ? request.audioPath : request.videoPath).string();
        std::int64_t left = stream->size;
        while (left > 0) {
            const std::size_t want = left < static_cast<std::int64_t>(buffer.size()) ? static_cast<std::size_t>(left)
                                                                                     : buffer.size();
            const ssize_t got = ::read(stream->fd.get(), buffer.data(), want);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return fail(std::string("reading the ") + what + streamName + " failed: " + reasonOf(errno));
            }
            if (got == 0)
                return fail(std::string("the ") + what + streamName + " ended before its measured size");
            if (const int error = writeAll(output.get(), buffer.data(), static_cast<std::size_t>(got)))
                return fail(reasonOf(error));
            left -= got;
        }
    }

    // On disk before the rename, so a crash never leaves a short file under the final name.
    if (::fsync(output.get()) != 0)
        return fail(reasonOf(errno));
    if (const int error = output.close())
        return fail(reasonOf(error));
    if (::rename(tempPath.c_str(), request.outputPath.c_str()) != 0)
        return fail(reasonOf(errno));
    guard.release();

    // Make the rename itself durable; the file is complete either way, so a
    // folder that cannot be synced is not an error.
    const std::filesystem::path folder = request.outputPath.parent_path().empty() ? std::filesystem::path(".")
                                                                                  : request.outputPath.parent_path();
    if (Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir.valid())
        ::fsync(dir.get());
    result.bytes = static_cast<std::int64_t>(header.bytes.size()) + audio.size + video.size;
    return result;
}

} // namespace core
