// The .kvx file: its name, the header's worked example and limits, and the
// writer's file, read back by the inspector's own reader, whole or not at all.

#include "convert/container_writer.h"
#include "convert/kvx_header.h"
#include "convert/output_path.h"
#include "kvx_reader.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <span>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The worked example: V = 1,000,000, A = 200,000, 1,500 frames, 32000 Hz, 15 fps.
const core::KvxHeader kWorkedExample{
    0x4B, 0x56, 0x58, 0x30, 0x69, 0xA9, 0x0D, 0x31, 0x0D, 0x0D, 0x0D, 0x0D, 0x4F, 0x5C, 0x69, 0x69, 0x6E, 0xEB,
    0xFA, 0xFA, 0x09, 0x0C, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F,
};
constexpr core::RunValues kRun{.frameRate = 15, .videoBitrate = 500, .audioBitrate = 64, .sampleRate = 32000};
constexpr std::int64_t kTwoGiB = std::int64_t{1} << 31;

kvx::Header headerOf(const std::string &file)
{
    return kvx::decodeHeader(std::span<const std::uint8_t, kvx::kHeaderBytes>(
        reinterpret_cast<const std::uint8_t *>(file.data()), kvx::kHeaderBytes));
}

// Bytes that differ per seed, so swapped or shifted streams show.
std::string pattern(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31u + seed * 7u + i / 251u) & 0xFFu);
    return bytes;
}

// Folder plus the title up to its last dot, with ".kvx".
TEST(OutputPath, FolderPlusNameWithKvxExtension)
{
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {"clip.avi", "/out/", "/out/clip.kvx"},
        {"movie.part1.avi", "/out/", "/out/movie.part1.kvx"}, // only the last dot counts
        {"movie", "/out/", "/out/movie.kvx"},                 // no dot: appended
        {"movie", "/home/a.b/", "/home/a.b/movie.kvx"},       // a dotted folder is not cut
        {"/media/in/clip.mp4", "/out/", "/out/clip.kvx"},     // a title with a folder keeps its name
        {"clip.avi", "/out", "/out/clip.kvx"},
        {"clip.", "/out/", "/out/clip.kvx"},
        {"a\\b.avi", "/out/", "/out/a\\b.kvx"}, // a backslash is part of the name
        {"vidéo.été.mkv", "/sortie/", "/sortie/vidéo.été.kvx"},
        {"clip.avi", "", "clip.kvx"}}; // no folder: relative
    for (const auto &[title, folder, expected] : cases)
        EXPECT_EQ(core::outputPathFor(title, folder), expected) << title << " in " << folder;
}

TEST(CalHeader, WorkedExampleByteForByte)
{
    const core::HeaderResult header = core::CalHeader({.frameNumber = 1500, .mp2Length = 200'000, .m1vLength = 1'000'000, .run = kRun});
    ASSERT_TRUE(header.ok()) << header.error;
    EXPECT_EQ(header.bytes, kWorkedExample);
}

TEST(CalHeader, RefusesValuesThePlayersReaderCannotHold)
{
    const core::RunValues r20{.frameRate = 20, .sampleRate = 48000};
    const std::pair<core::HeaderValues, bool> cases[] = {
        {{0, 0, kTwoGiB - 1, r20}, true},  {{0, 0, kTwoGiB, r20}, false}, {{0, kTwoGiB, 0, r20}, false},
        // A + 36 is the video offset and must fit too.
        {{0, kTwoGiB - 37, 0, r20}, true}, {{0, kTwoGiB - 36, 0, r20}, false},
        {{-1, 10, 10, r20}, false},        {{1, -1, 10, r20}, false},
        {{1, 1, 1, {.frameRate = 255, .sampleRate = 8000}}, true}, {{1, 1, 1, {.frameRate = 256, .sampleRate = 8000}}, false},
        {{1, 1, 1, {.frameRate = 10, .sampleRate = -1}}, false}};
    for (const auto &[values, accepted] : cases) {
        const core::HeaderResult header = core::CalHeader(values);
        EXPECT_EQ(header.ok(), accepted) << values.frameNumber << " " << values.mp2Length << " " << values.m1vLength;
        EXPECT_EQ(header.error.find("does not fit") != std::string::npos, !accepted) << header.error;
    }
}

class ContainerWriter : public ::testing::Test
{
protected:
    void streams(std::size_t audioSize, std::size_t videoSize)
    {
        audio = pattern(audioSize, 1);
        video = pattern(videoSize, 2);
        support::writeFile(folder / "temp.mp2", audio);
        support::writeFile(folder / "temp.m1v", video);
    }
    core::ContainerResult write(const fs::path &output, std::int32_t frames = 1500)
    {
        return core::writeContainer({.outputPath = output, .audioPath = folder / "temp.mp2",
                                     .videoPath = folder / "temp.m1v", .frameNumber = frames, .run = kRun});
    }
    const fs::path folder = support::scratchFolder();
    std::string audio, video;
};

// No audio: the video starts right after the header (offset 36).
TEST_F(ContainerWriter, TheReaderRecoversHeaderAndStreams)
{
    const std::pair<std::size_t, std::size_t> sizes[] = {
        {200'000, 1'000'000}, {0, 5000}, {4321, 0}, {0, 0}, {1, 1},
        {2 * core::kContainerCopyBytes, 3 * core::kContainerCopyBytes},
        {core::kContainerCopyBytes + 1, core::kContainerCopyBytes - 1}};
    for (const auto &[a, v] : sizes) {
        streams(a, v);
        support::writeFile(folder / "out.kvx", pattern(50'000, 9)); // a longer file is replaced entirely
        ASSERT_TRUE(write(folder / "out.kvx", 77).ok());
        const std::string file = support::readFile(folder / "out.kvx");
        ASSERT_EQ(file.size(), 36 + a + v);
        const kvx::Header header = headerOf(file);
        EXPECT_TRUE(kvx::layoutProblems(header, file.size()).empty());
        EXPECT_EQ(std::tuple(header.audioLength, header.videoLength, header.frameCount, header.sampleRateHz, header.frameRateX256),
                  std::tuple(std::uint32_t(a), std::uint32_t(v), 77u, 32000u, 15u * 256u));
        EXPECT_TRUE(file.substr(36) == audio + video);
        // The streams and out.kvx: no temporary left beside them.
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);
    }
}

struct Failure
{
    const char *name;
    std::function<fs::path(const fs::path &folder)> setUp; // gives the output path
    const char *reason;
};

class ContainerFailures : public ContainerWriter, public ::testing::WithParamInterface<Failure>
{
};

// An error naming the output and the reason; an earlier file of that name
// as it was; no temporary file left.
TEST_P(ContainerFailures, LeaveTheEarlierFileAndNoTemporary)
{
    streams(6000, 6000);
    const fs::path output = GetParam().setUp(folder);
    const bool earlier = fs::exists(output);
    const std::string before = earlier ? support::readFile(output) : "";
    core::ContainerResult result;
    {
        const support::FileSizeLimit limit(std::string(GetParam().name) == "DiskFull" ? 4096 : RLIM_INFINITY);
        result = write(output);
    }
    ASSERT_FALSE(result.ok());
    EXPECT_NE(result.error.find(output.string()), std::string::npos) << result.error;
    EXPECT_NE(result.error.find(GetParam().reason), std::string::npos) << result.error;
    if (earlier) {
        EXPECT_TRUE(support::readFile(output) == before);
    }
    for (const auto &entry : fs::directory_iterator(folder))
        EXPECT_FALSE(entry.path().string().ends_with(".part")) << entry.path();
    fs::remove(folder / "temp.m1v"); // the sparse one is 2 GiB
}

INSTANTIATE_TEST_SUITE_P(
    Writes, ContainerFailures,
    ::testing::Values(
        Failure{"MissingFolder", [](const fs::path &f) { return f / "no-such-folder" / "out.kvx"; }, "No such file or directory"},
        Failure{"MissingStream",
                [](const fs::path &f) {
                    support::writeFile(f / "out.kvx", pattern(777, 5));
                    fs::remove(f / "temp.m1v");
                    return f / "out.kvx";
                },
                "temp.m1v"},
        Failure{"DiskFull",
                [](const fs::path &f) {
                    support::writeFile(f / "out.kvx", pattern(1000, 3));
                    return f / "out.kvx";
                },
                "File too large"},
        // Sparse: 2^31 bytes of size, none stored or read.
        Failure{"StreamOf2GiBRefusedBeforeWriting",
                [](const fs::path &f) {
                    EXPECT_EQ(::truncate((f / "temp.m1v").c_str(), off_t(kTwoGiB)), 0);
                    support::writeFile(f / "out.kvx", pattern(500, 4));
                    return f / "out.kvx";
                },
                "video stream length 2147483648"}),
    [](const auto &test) { return std::string(test.param.name); });

TEST_F(ContainerWriter, TheReaderFlagsFilesTheHeaderDoesNotDescribe)
{
    streams(100, 200);
    ASSERT_TRUE(write(folder / "out.kvx").ok());
    std::string file = support::readFile(folder / "out.kvx");
    EXPECT_EQ(kvx::layoutProblems(headerOf(file), file.size() + 1).size(), 1u);
    EXPECT_EQ(kvx::layoutProblems(headerOf(file), file.size() - 1).size(), 1u);
    // A changed scrambled byte shifts its value (and the next one).
    file[5] = static_cast<char>(file[5] + 1);
    EXPECT_EQ(headerOf(file).audioLength, 101u);
    EXPECT_FALSE(kvx::layoutProblems(headerOf(file), file.size()).empty());
    file[0] = 'X';
    EXPECT_FALSE(kvx::layoutProblems(headerOf(file), file.size()).empty());
}

} // namespace
