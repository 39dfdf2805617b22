// Times Encode_Preview on one script: each run opens the script afresh (its
// text is changed by a comment, so the kept graph cannot serve it) and
// renders one frame; then frames of the opened script follow. Prints the
// median and the largest time of each kind, and the process's peak memory.
//
// usage: bench_preview SCRIPT WHERE RUNS
//   WHERE: a frame index, "last", or "middle": run i takes the frame 53 i
//   after the middle, so that the runs fall at different distances from the
//   keyframe before them

#include "tarvik.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

double millisecondsOf(const std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void render(const char *script, int32_t index, std::vector<uint8_t> &rgb)
{
    int32_t width = 0;
    int32_t height = 0;
    if (Encode_Preview(script, index, rgb.data(), static_cast<int32_t>(rgb.size()), &width, &height) != 0) {
        std::fprintf(stderr, "Encode_Preview(%d) failed: %s\n", index, Encode_GetLastError());
        std::exit(1);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s SCRIPT WHERE RUNS\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    const std::string where = argv[2];
    const int runs = std::max(1, std::atoi(argv[3]));
    const std::string copy = std::string(argv[1]) + ".bench.avs";
    std::vector<uint8_t> rgb(256 * 4096 * 3);
    std::vector<double> cold;
    std::vector<double> warm;
    int32_t frames = 0;
    for (int run = 0; run < runs; ++run) {
        std::ofstream(copy, std::ios::binary | std::ios::trunc) << text << "# run " << run << "\r\n";
        const auto start = std::chrono::steady_clock::now();
        frames = Encode_PreviewFrames(copy.c_str());
        if (frames <= 0) {
            std::fprintf(stderr, "Encode_PreviewFrames failed: %s\n", Encode_GetLastError());
            return 1;
        }
        const int32_t index = where == "middle" ? (frames / 2 + 53 * run) % frames : where == "last" ? frames - 1 : std::atoi(where.c_str());
        render(copy.c_str(), index, rgb);
        cold.push_back(millisecondsOf(start));
        // Scrubbing: frames a few seconds apart in the opened script.
        const auto next = std::chrono::steady_clock::now();
        render(copy.c_str(), (index + frames / 7 + 37) % frames, rgb);
        warm.push_back(millisecondsOf(next));
    }
    std::remove(copy.c_str());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("frames %d cold median %.1f ms max %.1f ms warm median %.1f ms max %.1f ms peak %ld MB\n", frames,
                median(cold), *std::max_element(cold.begin(), cold.end()), median(warm),
                *std::max_element(warm.begin(), warm.end()), usage.ru_maxrss / 1024);
    return 0;
}
