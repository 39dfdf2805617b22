// Runs the video and the audio pass of one script through the C interface,
// as the converter does, and prints the seconds each took.
//
// usage: bench_engine SCRIPT OUT.m1v OUT.mp2 VIDEO_KBPS AUDIO_KBPS RATE_HZ MODE

#include "tarvik.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

double runPass(const char *script, const char *out, int videoKbps, int audioKbps, int rateHz, int videoPass,
               int mode)
{
    const auto start = std::chrono::steady_clock::now();
    if (Encode_Begin(script, out, videoKbps, audioKbps, rateHz, videoPass, mode) != 0) {
        std::fprintf(stderr, "Encode_Begin failed: %s\n", Encode_GetLastError());
        std::exit(1);
    }
    while (Encode_Encoding() < 100)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (Encode_End() != 0) {
        std::fprintf(stderr, "pass failed: %s\n", Encode_GetLastError());
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 8) {
        std::fprintf(stderr, "usage: %s SCRIPT OUT.m1v OUT.mp2 VIDEO_KBPS AUDIO_KBPS RATE_HZ MODE\n", argv[0]);
        return 2;
    }
    const int videoKbps = std::atoi(argv[4]);
    const int audioKbps = std::atoi(argv[5]);
    const int rateHz = std::atoi(argv[6]);
    const int mode = std::atoi(argv[7]);
    const double video = runPass(argv[1], argv[2], videoKbps, audioKbps, rateHz, 1, mode);
    const double audio = runPass(argv[1], argv[3], videoKbps, audioKbps, rateHz, 0, mode);
    std::printf("video %.3f audio %.3f total %.3f\n", video, audio, video + audio);
    return 0;
}
