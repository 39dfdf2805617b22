#pragma once

// Helpers for the media and C-interface tests: inputs generated at test time
// with the ffmpeg command line, and stream facts read back with ffprobe.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include <unistd.h>

namespace mediatest {

inline std::string tmpPath(const std::string &name)
{
    const std::filesystem::path dir = std::filesystem::path(VELMORA_TEST_TMP) / "media";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

// Runs a shell command; returns its stdout (stderr is discarded).
inline std::string run(const std::string &command, int *status = nullptr)
{
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen((command + " 2>/dev/null").c_str(), "r"), pclose);
    if (!pipe)
        return out;
    std::array<char, 4096> buf{};
    std::size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe.get())) > 0)
        out.append(buf.data(), n);
    const int rc = pclose(pipe.release());
    if (status)
        *status = rc;
    return out;
}

// Makes path with ffmpeg from the given arguments (inputs and codecs)
// unless it exists already; generated inputs are shared between tests.
inline std::string make(const std::string &name, const std::string &ffmpegArgs)
{
    const std::string path = tmpPath(name);
    if (!std::filesystem::exists(path)) {
        // Tests run as parallel processes: write under a private name, then
        // rename, so that nobody reads a half-written file.
        const std::string ext = std::filesystem::path(name).extension().string();
        const std::string part = path + ".part" + std::to_string(getpid()) + ext;
        int status = 0;
        run("ffmpeg -nostdin -v error -y " + ffmpegArgs + " '" + part + "'", &status);
        EXPECT_EQ(status, 0) << "ffmpeg could not make " << name;
        std::filesystem::rename(part, path);
    }
    return path;
}

// testsrc picture and a 440 Hz tone, `seconds` long.
inline std::string avInputs(int width, int height, int rate, double seconds, int sampleRate = 44100,
                            int channels = 2)
{
    std::ostringstream s;
    s << "-f lavfi -i testsrc=size=" << width << "x" << height << ":rate=" << rate << ":duration=" << seconds
      << " -f lavfi -i sine=frequency=440:sample_rate=" << sampleRate << ":duration=" << seconds
      << " -ac " << channels << " -shortest";
    return s.str();
}

// Key=value facts of one stream (v:0 or a:0) or of the format.
inline std::map<std::string, std::string> probe(const std::string &path, const std::string &select,
                                                const std::string &entries, bool countFrames = false)
{
    const std::string cmd = "ffprobe -v error " + std::string(countFrames ? "-count_frames " : "") +
                            (select.empty() ? "" : "-select_streams " + select + " ") + "-show_entries " +
                            entries + " -of default=noprint_wrappers=1 '" + path + "'";
    std::map<std::string, std::string> facts;
    std::istringstream lines(run(cmd));
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos && !facts.count(line.substr(0, eq)))
            facts[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return facts;
}

inline std::string readBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeText(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace mediatest
