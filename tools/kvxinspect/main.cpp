// kvxinspect: prints the header of a .kvx movie file, checks it against the
// file's size and optionally extracts the audio and video streams.
//
//   kvxinspect FILE [--audio OUT] [--video OUT]
//
// Exit status: 0 all agrees, 1 the file is not a consistent .kvx, 2 usage or I/O error.

#include "kvx_reader.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitInconsistent = 1;
constexpr int kExitError = 2;

struct Options
{
    std::string file;
    std::optional<std::string> audioOut;
    std::optional<std::string> videoOut;
};

void printUsage()
{
    std::cerr << "usage: kvxinspect FILE [--audio OUT] [--video OUT]\n";
}

std::optional<Options> parseOptions(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--audio" || arg == "--video") && i + 1 < argc) {
            (arg == "--audio" ? options.audioOut : options.videoOut) = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && options.file.empty()) {
            options.file = arg;
        } else {
            return std::nullopt;
        }
    }
    if (options.file.empty())
        return std::nullopt;
    return options;
}

// Copies [length] bytes from [offset] of [in] to a new file [outPath].
bool extract(std::ifstream &in, std::uint64_t offset, std::uint64_t length, const std::string &outPath)
{
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::cerr << "kvxinspect: cannot create " << outPath << ": " << std::strerror(errno) << "\n";
        return false;
    }
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<char> buffer(64 * 1024);
    while (length > 0) {
        const std::size_t chunk = length < buffer.size() ? static_cast<std::size_t>(length) : buffer.size();
        if (!in.read(buffer.data(), static_cast<std::streamsize>(chunk))) {
            std::cerr << "kvxinspect: the input ended early while extracting to " << outPath << "\n";
            return false;
        }
        if (!out.write(buffer.data(), static_cast<std::streamsize>(chunk))) {
            std::cerr << "kvxinspect: cannot write " << outPath << "\n";
            return false;
        }
        length -= chunk;
    }
    out.close();
    if (!out) {
        std::cerr << "kvxinspect: cannot write " << outPath << "\n";
        return false;
    }
    std::cout << "extracted " << outPath << "\n";
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        printUsage();
        return kExitError;
    }

    std::error_code sizeError;
    const std::uintmax_t fileSize = std::filesystem::file_size(options->file, sizeError);
    std::ifstream in(options->file, std::ios::binary);
    if (sizeError || !in) {
        std::cerr << "kvxinspect: cannot read " << options->file << ": "
                  << (sizeError ? sizeError.message() : std::strerror(errno)) << "\n";
        return kExitError;
    }

    std::array<std::uint8_t, kvx::kHeaderBytes> bytes{};
    if (!in.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
        std::cout << options->file << ": " << fileSize << " bytes, shorter than the " << kvx::kHeaderBytes
                  << "-byte header\n";
        return kExitInconsistent;
    }
    const kvx::Header header = kvx::decodeHeader(bytes);

    std::cout << "file:          " << options->file << " (" << fileSize << " bytes)\n"
              << "magic:         " << std::string(header.magic.begin(), header.magic.end()) << "\n"
              << "video length:  " << header.videoLength << " bytes\n"
              << "audio length:  " << header.audioLength << " bytes\n"
              << "video offset:  " << header.videoOffset << "\n"
              << "audio offset:  " << header.audioOffset << "\n"
              << "frame count:   " << header.frameCount << "\n"
              << "sample rate:   " << header.sampleRateHz << " Hz\n"
              << "frame rate:    " << header.frameRateX256 / 256 << " fps (field " << header.frameRateX256 << ")\n"
              << "reserved:      " << header.reserved << "\n";

    const std::vector<std::string> problems = kvx::layoutProblems(header, fileSize);
    if (!problems.empty()) {
        std::cout << "layout:        MISMATCH\n";
        for (const std::string &problem : problems)
            std::cout << "  - " << problem << "\n";
        if (options->audioOut || options->videoOut)
            std::cout << "nothing extracted: the header does not describe this file\n";
        return kExitInconsistent;
    }
    std::cout << "layout:        OK (header, audio, video fill the file exactly)\n";

    if (options->audioOut && !extract(in, header.audioOffset, header.audioLength, *options->audioOut))
        return kExitError;
    if (options->videoOut && !extract(in, header.videoOffset, header.videoLength, *options->videoOut))
        return kExitError;
    return kExitOk;
}
