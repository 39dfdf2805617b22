#pragma once

#include "jobs/encoder_values.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace core {

// Streams are copied through one buffer of this size; nothing is held whole.
inline constexpr std::size_t kContainerCopyBytes = 64 * 1024;

struct ContainerRequest
{
    std::filesystem::path outputPath; // the .kvx to create or replace
    std::filesystem::path audioPath;  // "temp.mp2", copied first
    std::filesystem::path videoPath;  // "temp.m1v", copied second
    std::int32_t frameNumber = 0;     // Encode_Frame of the video pass
    RunValues run;                    // sampleRate and frameRate go into the header
};

struct ContainerResult
{
    std::string error; // empty on success; otherwise a sentence naming the path and the reason
    std::int64_t bytes = 0; // the file's size once written

    bool ok() const { return error.empty(); }
};

// Writes header + audio + video to [outputPath].
//
// The file is assembled under a fresh hidden name in the output folder and
// renamed over [outputPath] only once complete and flushed to disk, so on any
// failure an earlier file of that name is untouched and no partial file or
// temporary name is left behind. The stream files are only read.
// Streams of 2 GiB or more (or whose sizes make a header value overflow) are
// refused before anything is written.
ContainerResult writeContainer(const ContainerRequest &request);

} // namespace core
