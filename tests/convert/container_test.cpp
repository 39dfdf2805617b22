#include "convert/container_writer.h"
#include "convert/kvx_header.h"
#include "kvx_reader.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testfiles::freshFolder;
using testfiles::otherEntries;
using testfiles::pattern;
using testfiles::readFile;
using testfiles::writeFile;

// The worked example of the format: V = 1,000,000, A = 200,000, 1,500 frames,
// 32000 Hz, 15 frames/s.
const core::KvxHeader kWorkedExample{
    0x4B, 0x56, 0x58, 0x30,                         //
    0x69, 0xA9, 0x0D, 0x31, 0x0D, 0x0D, 0x0D, 0x0D, //
    0x4F, 0x5C, 0x69, 0x69, 0x6E, 0xEB, 0xFA, 0xFA, //
    0x09, 0x0C, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, //
    0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F,
};

constexpr core::RunValues kRun{.frameRate = 15, .videoBitrate = 500, .audioBitrate = 64, .sampleRate = 32000};

kvx::Header decoded(const std::vector<std::uint8_t> &file)
{
    return kvx::decodeHeader(std::span<const std::uint8_t, kvx::kHeaderBytes>(file.data(), kvx::kHeaderBytes));
}

TEST(CalHeader, WorkedExampleByteForByte)
{
    const core::HeaderResult header
        = core::CalHeader({.frameNumber = 1500, .mp2Length = 200'000, .m1vLength = 1'000'000, .run = kRun});
    ASSERT_TRUE(header.ok()) << header.error;
    EXPECT_EQ(header.bytes, kWorkedExample);
}

struct RangeCase
{
    const char *name;
    core::HeaderValues values;
    bool accepted;
};

class CalHeaderRange : public ::testing::TestWithParam<RangeCase>
{};

TEST_P(CalHeaderRange, RefusesValuesTheReaderCannotHold)
{
    const core::HeaderResult header = core::CalHeader(GetParam().values);
    EXPECT_EQ(header.ok(), GetParam().accepted) << header.error;
    if (!header.ok()) {
        EXPECT_NE(header.error.find("does not fit"), std::string::npos) << header.error;
    }
}

constexpr std::int64_t kTwoGiB = std::int64_t{1} << 31;
constexpr core::RunValues kRun20{.frameRate = 20, .videoBitrate = 0, .audioBitrate = 0, .sampleRate = 48000};

INSTANTIATE_TEST_SUITE_P(
    Limits, CalHeaderRange,
    ::testing::Values(RangeCase{"VideoJustBelow2GiB", {0, 0, kTwoGiB - 1, kRun20}, true},
                      RangeCase{"Video2GiB", {0, 0, kTwoGiB, kRun20}, false},
                      RangeCase{"Audio2GiB", {0, kTwoGiB, 0, kRun20}, false},
                      // A + 36 is the video offset and must fit too.
                      RangeCase{"AudioOffsetFitsExactly", {0, kTwoGiB - 37, 0, kRun20}, true},
                      RangeCase{"AudioOffsetOverflows", {0, kTwoGiB - 36, 0, kRun20}, false},
                      RangeCase{"NegativeFrameCount", {-1, 10, 10, kRun20}, false},
                      RangeCase{"NegativeLength", {1, -1, 10, kRun20}, false},
                      RangeCase{"FrameRate255", {1, 1, 1, {.frameRate = 255, .sampleRate = 8000}}, true},
                      RangeCase{"FrameRate256", {1, 1, 1, {.frameRate = 256, .sampleRate = 8000}}, false},
                      RangeCase{"NegativeSampleRate", {1, 1, 1, {.frameRate = 10, .sampleRate = -1}}, false}),
    [](const auto &p) { return std::string(p.param.name); });

struct Streams
{
    fs::path folder;
    fs::path audio;
    fs::path video;
    std::vector<std::uint8_t> audioBytes;
    std::vector<std::uint8_t> videoBytes;
};

Streams makeStreams(std::size_t audioSize, std::size_t videoSize)
{
    Streams s;
    s.folder = freshFolder();
    s.audio = s.folder / "temp.mp2";
    s.video = s.folder / "temp.m1v";
    s.audioBytes = pattern(audioSize, 1);
    s.videoBytes = pattern(videoSize, 2);
    writeFile(s.audio, s.audioBytes);
    writeFile(s.video, s.videoBytes);
    return s;
}

core::ContainerRequest requestFor(const Streams &s, const fs::path &output, std::int32_t frames = 1500)
{
    return {.outputPath = output, .audioPath = s.audio, .videoPath = s.video, .frameNumber = frames, .run = kRun};
}

void expectContainer(const fs::path &output, const Streams &s, std::int32_t frames)
{
    const std::vector<std::uint8_t> file = readFile(output);
    ASSERT_EQ(file.size(), 36 + s.audioBytes.size() + s.videoBytes.size());
    const kvx::Header header = decoded(file);
    EXPECT_TRUE(kvx::layoutProblems(header, file.size()).empty());
    EXPECT_EQ(header.audioLength, s.audioBytes.size());
    EXPECT_EQ(header.videoLength, s.videoBytes.size());
    EXPECT_EQ(header.frameCount, static_cast<std::uint32_t>(frames));
    EXPECT_EQ(header.sampleRateHz, 32000u);
    EXPECT_EQ(header.frameRateX256, 15u * 256u);
    EXPECT_TRUE(std::equal(s.audioBytes.begin(), s.audioBytes.end(), file.begin() + 36));
    EXPECT_TRUE(std::equal(s.videoBytes.begin(), s.videoBytes.end(),
                           file.begin() + 36 + static_cast<std::ptrdiff_t>(s.audioBytes.size())));
}

TEST(ContainerWriter, WorkedExampleFile)
{
    const Streams s = makeStreams(200'000, 1'000'000);
    const fs::path output = s.folder / "clip.kvx";
    const core::ContainerResult result = writeContainer(requestFor(s, output));
    ASSERT_TRUE(result.ok()) << result.error;

    const std::vector<std::uint8_t> file = readFile(output);
    ASSERT_EQ(file.size(), 1'200'036u);
    EXPECT_TRUE(std::equal(kWorkedExample.begin(), kWorkedExample.end(), file.begin()));
    expectContainer(output, s, 1500);
    EXPECT_EQ(otherEntries(s.folder, {"temp.mp2", "temp.m1v", "clip.kvx"}), std::vector<std::string>{});
}

struct SizeCase
{
    const char *name;
    std::size_t audio;
    std::size_t video;
};

class ContainerRoundTrip : public ::testing::TestWithParam<SizeCase>
{};

TEST_P(ContainerRoundTrip, ReaderRecoversHeaderAndStreams)
{
    const Streams s = makeStreams(GetParam().audio, GetParam().video);
    const fs::path output = s.folder / "out.kvx";
    const core::ContainerResult result = writeContainer(requestFor(s, output, 77));
    ASSERT_TRUE(result.ok()) << result.error;
    expectContainer(output, s, 77);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ContainerRoundTrip,
    // No audio: the video starts right after the header (offset 36).
    ::testing::Values(SizeCase{"EmptyAudio", 0, 5000}, SizeCase{"EmptyVideo", 4321, 0}, SizeCase{"BothEmpty", 0, 0},
                      SizeCase{"ExactBufferMultiples", 2 * core::kContainerCopyBytes, 3 * core::kContainerCopyBytes},
                      SizeCase{"OneOverBuffer", core::kContainerCopyBytes + 1, core::kContainerCopyBytes - 1},
                      SizeCase{"Tiny", 1, 1}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(ContainerWriter, ReplacesALongerExistingFileEntirely)
{
    const Streams s = makeStreams(300, 400);
    const fs::path output = s.folder / "out.kvx";
    writeFile(output, pattern(50'000, 9));
    ASSERT_TRUE(writeContainer(requestFor(s, output)).ok());
    expectContainer(output, s, 1500);
}

// Checks the outcome of a failed write: an error naming the output, the earlier
// file as it was, no temporary file left in [folder].
void expectCleanFailure(const core::ContainerResult &result, const fs::path &output,
                        const std::vector<std::uint8_t> &previous, const fs::path &folder,
                        const std::vector<std::string> &expectedEntries)
{
    ASSERT_FALSE(result.ok());
    EXPECT_NE(result.error.find(output.string()), std::string::npos) << result.error;
    if (!previous.empty()) {
        EXPECT_EQ(readFile(output), previous);
    }
    EXPECT_EQ(otherEntries(folder, expectedEntries), std::vector<std::string>{});
}

TEST(ContainerWriter, MissingOutputFolderIsReported)
{
    const Streams s = makeStreams(10, 10);
    const fs::path output = s.folder / "no-such-folder" / "out.kvx";
    const core::ContainerResult result = writeContainer(requestFor(s, output));
    expectCleanFailure(result, output, {}, s.folder, {"temp.mp2", "temp.m1v"});
    EXPECT_NE(result.error.find("No such file or directory"), std::string::npos) << result.error;
}

TEST(ContainerWriter, FolderThatIsAFileIsReported)
{
    const Streams s = makeStreams(10, 10);
    writeFile(s.folder / "plain", {1, 2, 3});
    const fs::path output = s.folder / "plain" / "out.kvx";
    const core::ContainerResult result = writeContainer(requestFor(s, output));
    expectCleanFailure(result, output, {}, s.folder, {"temp.mp2", "temp.m1v", "plain"});
    EXPECT_NE(result.error.find("Not a directory"), std::string::npos) << result.error;
}

TEST(ContainerWriter, MissingStreamKeepsThePreviousFile)
{
    const Streams s = makeStreams(10, 10);
    const fs::path output = s.folder / "out.kvx";
    const std::vector<std::uint8_t> previous = pattern(777, 5);
    writeFile(output, previous);
    fs::remove(s.video);
    const core::ContainerResult result = writeContainer(requestFor(s, output));
    expectCleanFailure(result, output, previous, s.folder, {"temp.mp2", "out.kvx"});
    EXPECT_NE(result.error.find(s.video.string()), std::string::npos) << result.error;
}

// Simulates a full disk: the process may not write files beyond a few KiB,
// and writes past that fail with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_previousHandler);
    }

private:
    rlimit m_saved{};
    void (*m_previousHandler)(int) = nullptr;
};

TEST(ContainerWriter, DiskFullKeepsThePreviousFileAndLeavesNoTemporary)
{
    const Streams s = makeStreams(6000, 6000);
    const fs::path output = s.folder / "out.kvx";
    const std::vector<std::uint8_t> previous = pattern(1000, 3);
    writeFile(output, previous);
    core::ContainerResult result;
    {
        const FileSizeLimit limit(4096);
        result = writeContainer(requestFor(s, output));
    }
    expectCleanFailure(result, output, previous, s.folder, {"temp.mp2", "temp.m1v", "out.kvx"});
    EXPECT_NE(result.error.find("File too large"), std::string::npos) << result.error;
}

TEST(ContainerWriter, StreamOf2GiBIsRefusedBeforeWriting)
{
    const Streams s = makeStreams(10, 0);
    // Sparse: the size is 2^31 bytes but no data is stored or read.
    ASSERT_EQ(::truncate(s.video.c_str(), static_cast<off_t>(kTwoGiB)), 0);
    const fs::path output = s.folder / "out.kvx";
    const std::vector<std::uint8_t> previous = pattern(500, 4);
    writeFile(output, previous);
    const core::ContainerResult result = writeContainer(requestFor(s, output));
    expectCleanFailure(result, output, previous, s.folder, {"temp.mp2", "temp.m1v", "out.kvx"});
    EXPECT_NE(result.error.find("video stream length 2147483648"), std::string::npos) << result.error;
    fs::remove(s.video);
}

TEST(KvxReader, FlagsFilesTheHeaderDoesNotDescribe)
{
    const Streams s = makeStreams(100, 200);
    const fs::path output = s.folder / "out.kvx";
    ASSERT_TRUE(writeContainer(requestFor(s, output)).ok());
    std::vector<std::uint8_t> file = readFile(output);
    ASSERT_TRUE(kvx::layoutProblems(decoded(file), file.size()).empty());

    // One byte too many, and one too few.
    EXPECT_EQ(kvx::layoutProblems(decoded(file), file.size() + 1).size(), 1u);
    EXPECT_EQ(kvx::layoutProblems(decoded(file), file.size() - 1).size(), 1u);

    // A changed scrambled byte shifts the value it belongs to and the next one.
    file[5] = static_cast<std::uint8_t>(file[5] + 1); // low byte of the audio length, V2 undone by one
    const kvx::Header damaged = decoded(file);
    EXPECT_EQ(damaged.audioLength, 101u);
    EXPECT_FALSE(kvx::layoutProblems(damaged, file.size()).empty());

    file = readFile(output);
    file[0] = 'X';
    EXPECT_FALSE(kvx::layoutProblems(decoded(file), file.size()).empty());
}

} // namespace
