// Prints the MD5 of every frame of a script's clip, one "frame md5" line
// each, then one "audio md5" line for its whole sound at the clip's own
// rate. Comparing the output of two builds shows whether a change to the
// pipeline altered any picture or sample a conversion would encode.
//
// usage: bench_frames SCRIPT [RAW.yuv]
//   RAW.yuv also gets every frame as raw YUV 4:2:0, for ffmpeg to compare
//   two builds' pictures (-f rawvideo -pix_fmt yuv420p -s WxH) or show them.

#include "clip/error.h"
#include "pass/session.h"

#include <cstdio>
#include <fstream>
#include <vector>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/md5.h>
}

namespace {

struct Md5
{
    Md5() : ctx(av_md5_alloc()) { av_md5_init(ctx); }
    ~Md5() { av_free(ctx); }
    Md5(const Md5 &) = delete;
    Md5 &operator=(const Md5 &) = delete;

    void add(const void *data, std::size_t size) { av_md5_update(ctx, static_cast<const std::uint8_t *>(data), size); }
    void print(const char *label)
    {
        std::uint8_t sum[16];
        av_md5_final(ctx, sum);
        std::printf("%s ", label);
        for (const std::uint8_t b : sum)
            std::printf("%02x", b);
        std::printf("\n");
    }

    AVMD5 *ctx;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s SCRIPT [RAW.yuv]\n", argv[0]);
        return 2;
    }
    std::ofstream raw;
    if (argc == 3)
        raw.open(argv[2], std::ios::binary);
    av_log_set_level(AV_LOG_QUIET);
    try {
        const engine::ClipPtr clip = engine::pass::defaultScriptOpener()(argv[1], engine::script::ScriptUse::VideoPass);
        const engine::VideoInfo &vi = clip->info();
        for (std::int64_t n = 0; vi.hasVideo && n < vi.frameCount; ++n) {
            const engine::FrameRef f = clip->frame(n);
            Md5 md5;
            for (int plane = 0; plane < 3; ++plane) {
                const int w = plane ? (f->width + 1) / 2 : f->width;
                const int h = plane ? (f->height + 1) / 2 : f->height;
                for (int y = 0; y < h; ++y) {
                    const std::uint8_t *row = f->data[plane] + std::ptrdiff_t{y} * f->linesize[plane];
                    md5.add(row, static_cast<std::size_t>(w));
                    if (raw.is_open())
                        raw.write(reinterpret_cast<const char *>(row), w);
                }
            }
            char label[32];
            std::snprintf(label, sizeof label, "%lld", static_cast<long long>(n));
            md5.print(label);
        }
        Md5 sound;
        constexpr std::int64_t kChunk = 65536;
        std::vector<float> samples;
        for (std::int64_t pos = 0; vi.hasAudio && pos < vi.sampleCount; pos += kChunk) {
            const std::int64_t count = std::min(kChunk, vi.sampleCount - pos);
            samples.resize(static_cast<std::size_t>(count * vi.channels));
            clip->audio(pos, count, samples);
            sound.add(samples.data(), samples.size() * sizeof(float));
        }
        sound.print("audio");
    } catch (const engine::Error &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
