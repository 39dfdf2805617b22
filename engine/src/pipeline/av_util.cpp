#include "av_util.h"

#include "clip/error.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

extern "C" {
#include <libavutil/rational.h>
}

namespace engine::av {

std::string quoted(const std::string &path)
{
    return "\"" + path + "\"";
}

std::string clockText(std::int64_t seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return buf;
}

FramePtr allocFrame()
{
    FramePtr f(av_frame_alloc());
    if (!f)
        throw Error("out of memory");
    return f;
}

PacketPtr allocPacket()
{
    PacketPtr p(av_packet_alloc());
    if (!p)
        throw Error("out of memory");
    return p;
}

InputPtr openInputFile(const std::string &path)
{
    const std::string name = quoted(path);
    std::error_code ec;
    if (path.empty())
        throw Error("no file name given");
    if (!std::filesystem::exists(path, ec))
        throw Error("the file " + name + " does not exist");
    if (std::filesystem::is_directory(path, ec))
        throw Error(name + " is a folder, not a file");
    if (std::filesystem::file_size(path, ec) == 0 && !ec)
        throw Error("the file " + name + " is empty");

    // "file:" keeps a name with a colon from being read as a protocol, and
    // pattern_type=none keeps a '%' in a still image's name from being read
    // as a frame-number pattern.
    AVDictionary *rawOpts = nullptr;
    av_dict_set(&rawOpts, "pattern_type", "none", 0);
    DictPtr opts(rawOpts);
    AVFormatContext *raw = nullptr;
    rawOpts = opts.release();
    const int ret = avformat_open_input(&raw, ("file:" + path).c_str(), nullptr, &rawOpts);
    opts.reset(rawOpts);
    InputPtr in(raw);
    if (ret < 0)
        throw Error("cannot read " + name + " as a video, audio or image file (" + avErrorText(ret) + ")");
    const int info = avformat_find_stream_info(in.get(), nullptr);
    if (info < 0)
        throw Error("cannot read the streams of " + name + " (" + avErrorText(info) + ")");
    return in;
}

int pickVideoStream(const AVFormatContext &in)
{
    int best = -1;
    std::int64_t bestArea = -1;
    for (unsigned i = 0; i < in.nb_streams; ++i) {
        const AVStream *st = in.streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || (st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        const std::int64_t area = std::int64_t{st->codecpar->width} * st->codecpar->height;
        if (area > bestArea) {
            best = static_cast<int>(i);
            bestArea = area;
        }
    }
    return best;
}

AVRational streamFrameRate(const AVStream &st)
{
    const AVRational rate = st.avg_frame_rate.num > 0 ? st.avg_frame_rate : st.r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        return AVRational{25, 1};
    return rate;
}

CodecCtxPtr openDecoder(const AVStream *st, int threads, const std::string &path)
{
    const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        throw Error(quoted(path) + " uses a codec the engine cannot decode (" +
                    avcodec_get_name(st->codecpar->codec_id) + ")");
    CodecCtxPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx)
        throw Error("out of memory");
    check(avcodec_parameters_to_context(ctx.get(), st->codecpar), "reading the decoder parameters");
    ctx->pkt_timebase = st->time_base;
    ctx->thread_count = threads;
    if (threads > 1)
        ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    const int ret = avcodec_open2(ctx.get(), codec, nullptr);
    if (ret < 0)
        throw Error("cannot open the " + std::string(codec->name) + " decoder for " + quoted(path) + " (" +
                    avErrorText(ret) + ")");
    return ctx;
}

FramePtr clone(const AVFrame &src)
{
    FramePtr copy(av_frame_clone(&src));
    if (!copy)
        throw Error("out of memory");
    return copy;
}

FrameRef share(FramePtr frame)
{
    return FrameRef(frame.release(), [](const AVFrame *p) {
        AVFrame *f = const_cast<AVFrame *>(p);
        av_frame_free(&f);
    });
}

std::pair<int, int> fpsRational(double fps)
{
    if (!(fps > 0.0) || fps > 1000.0)
        throw Error("the frame rate must be between 0 and 1000");
    const double whole = std::round(fps);
    if (std::fabs(fps - whole) < 1e-9)
        return {static_cast<int>(whole), 1};
    const AVRational q = av_d2q(fps, 1001000);
    return {q.num, q.den};
}

} // namespace engine::av
