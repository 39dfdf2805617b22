// Runs the video and the audio pass of one script through the C interface,
// as the converter does, and prints the seconds each took, the process's
// peak resident memory and how the time-left estimate held up.
//
// usage: bench_filters SCRIPT OUT.m1v OUT.mp2 VIDEO_KBPS AUDIO_KBPS RATE_HZ MODE
//
// Output, one line:
//   video S audio S total S cpu S frames N peak_rss_mb M first_progress_s S eta_worst_x R
// cpu: user + system seconds of the whole process (steadier than wall time
// on a busy machine).
// first_progress_s: seconds until the video pass first showed progress;
// eta_worst_x: the largest ratio of an estimate to the time that was really
// left, over the video pass (1.0 is perfect; 0 when no estimate came while
// more than 5 s were left, so there was none to judge).

#include "tarvik.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct PassResult
{
    double seconds = 0.0;
    double firstProgress = -1.0;
    double etaWorst = 0.0;
};

double since(Clock::time_point start, Clock::time_point now)
{
    return std::chrono::duration<double>(now - start).count();
}

PassResult runPass(const char *script, const char *out, int videoKbps, int audioKbps, int rateHz, int videoPass,
                   int mode, int *frames)
{
    const auto start = Clock::now();
    if (Encode_Begin(script, out, videoKbps, audioKbps, rateHz, videoPass, mode) != 0) {
        std::fprintf(stderr, "Encode_Begin failed: %s\n", Encode_GetLastError());
        std::exit(1);
    }
    if (frames)
        *frames = Encode_Frame();
    PassResult r;
    struct Estimate
    {
        double at;
        int seconds;
    };
    std::vector<Estimate> estimates;
    int last = -1;
    for (;;) {
        const int percent = Encode_Encoding();
        if (percent >= 100)
            break;
        if (percent != last) {
            const auto now = Clock::now();
            if (percent > 0 && r.firstProgress < 0)
                r.firstProgress = since(start, now);
            estimates.push_back({since(start, now), Encode_GetLeftTime()});
            last = percent;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (Encode_End() != 0) {
        std::fprintf(stderr, "pass failed: %s\n", Encode_GetLastError());
        std::exit(1);
    }
    r.seconds = since(start, Clock::now());
    for (const Estimate &e : estimates) {
        const double left = r.seconds - e.at;
        // Estimates in the last seconds say little either way.
        if (e.seconds > 0 && left > 5.0)
            r.etaWorst = std::max(r.etaWorst, std::max(e.seconds / left, left / e.seconds));
    }
    return r;
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
    int frames = 0;
    const PassResult video = runPass(argv[1], argv[2], videoKbps, audioKbps, rateHz, 1, mode, &frames);
    const PassResult audio = runPass(argv[1], argv[3], videoKbps, audioKbps, rateHz, 0, mode, nullptr);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    std::printf("video %.3f audio %.3f total %.3f cpu %.3f frames %d peak_rss_mb %.1f first_progress_s %.2f "
                "eta_worst_x %.2f\n",
                video.seconds, audio.seconds, video.seconds + audio.seconds,
                seconds(usage.ru_utime) + seconds(usage.ru_stime), frames,
                static_cast<double>(usage.ru_maxrss) / 1024.0, video.firstProgress, video.etaWorst);
    return 0;
}
