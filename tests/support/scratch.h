#pragma once

// Scratch folders, whole-file reads and writes, shell commands, and inputs
// made with the ffmpeg command line: what every suite that touches files
// shares. Folders live under VELMORA_TEST_TMP (the build's test-tmp).

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

namespace support {

namespace fs = std::filesystem;

// A fresh, empty folder named after the running test.
inline fs::path scratchFolder()
{
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char &c : name)
        c = c == '/' ? '_' : c;
    const fs::path folder = fs::path(VELMORA_TEST_TMP) / "scratch" / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

inline std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeFile(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Whether [folder] still holds one of the program's temporary files.
inline bool temporariesIn(const fs::path &folder)
{
    return fs::exists(folder / "temp.avs") || fs::exists(folder / "temp.m1v") || fs::exists(folder / "temp.mp2");
}

// The fields of one line of a data file's table: "a | b | c".
inline std::vector<std::string> fields(const std::string &line)
{
    std::vector<std::string> out;
    std::size_t from = 0;
    for (std::size_t bar; (bar = line.find(" | ", from)) != std::string::npos; from = bar + 3)
        out.push_back(line.substr(from, bar - from));
    out.push_back(line.substr(from));
    return out;
}

// A shell command's standard output (its errors are dropped); [status] gets
// its exit status.
inline std::string run(const std::string &command, int *status = nullptr)
{
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen((command + " 2>/dev/null").c_str(), "r"), pclose);
    if (!pipe)
        return out;
    std::array<char, 4096> buffer{};
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe.get()))
        out.append(buffer.data(), n);
    const int rc = pclose(pipe.release());
    if (status)
        *status = rc;
    return out;
}

// A file made by ffmpeg from [args] (inputs and codecs), shared by all
// tests: made once (its name carries a hash of [args], so a changed recipe
// makes a new file), under a private name renamed into place, because the
// tests run as parallel processes.
inline std::string media(const std::string &name, const std::string &args)
{
    const fs::path dir = fs::path(VELMORA_TEST_TMP) / "media";
    const fs::path given(name);
    const fs::path path = dir / (given.stem().string() + "-" + std::to_string(std::hash<std::string>{}(args) % 1000000)
                                 + given.extension().string());
    if (!fs::exists(path)) {
        fs::create_directories(dir);
        const std::string part = path.string() + ".part" + std::to_string(getpid()) + path.extension().string();
        int status = 0;
        run("ffmpeg -nostdin -v error -y " + args + " '" + part + "'", &status);
        EXPECT_EQ(status, 0) << "ffmpeg could not make " << name;
        fs::rename(part, path);
    }
    return path.string();
}

// A disk that fills up: while applied, a write of this process (any thread)
// past [bytes] fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes = RLIM_INFINITY) : m_handler(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        apply(bytes);
    }
    ~FileSizeLimit()
    {
        lift();
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    void apply(rlim_t bytes)
    {
        rlimit limit = m_saved;
        limit.rlim_cur = std::min(bytes, m_saved.rlim_cur);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    void lift() { setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    void (*m_handler)(int);
    rlimit m_saved{};
};

// ffmpeg inputs: a test card and a 440 Hz tone, [seconds] long.
inline std::string testCard(int width, int height, int fps, double seconds, int sampleRate = 44100, int channels = 2)
{
    std::ostringstream s;
    s << "-f lavfi -i testsrc=size=" << width << "x" << height << ":rate=" << fps << ":duration=" << seconds
      << " -f lavfi -i sine=frequency=440:sample_rate=" << sampleRate << ":duration=" << seconds << " -ac "
      << channels << " -shortest";
    return s.str();
}

inline const std::string kH264 = " -c:v libx264 -preset ultrafast -pix_fmt yuv420p";

// ffprobe's key=value facts of one stream ("v:0", "a:0"); [format] forces a
// demuxer for bare streams.
inline std::map<std::string, std::string> probe(const std::string &path, const std::string &stream,
                                                const std::string &entries, const std::string &format = "")
{
    std::map<std::string, std::string> facts;
    std::istringstream lines(run("ffprobe -v error -count_frames " + (format.empty() ? "" : "-f " + format + " ")
                                 + "-select_streams " + stream + " -show_entries stream=" + entries
                                 + " -of default=noprint_wrappers=1 '" + path + "'"));
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            facts.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    return facts;
}

} // namespace support
