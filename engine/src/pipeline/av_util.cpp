#include "av_util.h"

#include "clip/error.h"

#include <cmath>
#include <filesystem>
#include <system_error>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/pixdesc.h>
#include <libavutil/rational.h>
}

namespace engine::av {

namespace {

std::string avMessage(int ret)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(ret, buf, sizeof buf);
    return buf;
}

} // namespace

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
    const std::string quoted = "\"" + path + "\"";
    std::error_code ec;
    if (path.empty())
        throw Error("no file name given");
    if (!std::filesystem::exists(path, ec))
        throw Error("the file " + quoted + " does not exist");
    if (std::filesystem::is_directory(path, ec))
        throw Error(quoted + " is a folder, not a file");
    if (std::filesystem::file_size(path, ec) == 0 && !ec)
        throw Error("the file " + quoted + " is empty");

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
        throw Error("cannot read " + quoted + " as a video, audio or image file (" + avMessage(ret) + ")");
    const int info = avformat_find_stream_info(in.get(), nullptr);
    if (info < 0)
        throw Error("cannot read the streams of " + quoted + " (" + avMessage(info) + ")");
    return in;
}

CodecCtxPtr openDecoder(const AVStream *st, int threads, const std::string &path)
{
    const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        throw Error("\"" + path + "\" uses a codec the engine cannot decode (" +
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
        throw Error("cannot open the " + std::string(codec->name) + " decoder for \"" + path + "\" (" +
                    avMessage(ret) + ")");
    return ctx;
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

FramePtr toYuv420(const AVFrame &src, int width, int height, int swsFlags, SwsPtr &ctx, const double *param)
{
    ctx.reset(sws_getCachedContext(ctx.release(), src.width, src.height, static_cast<AVPixelFormat>(src.format),
                                   width, height, AV_PIX_FMT_YUV420P, swsFlags, nullptr, nullptr, param));
    if (!ctx)
        throw Error("cannot convert pictures of format " +
                    std::string(av_get_pix_fmt_name(static_cast<AVPixelFormat>(src.format))
                                    ? av_get_pix_fmt_name(static_cast<AVPixelFormat>(src.format))
                                    : "unknown"));
    FramePtr out = allocFrame();
    out->format = AV_PIX_FMT_YUV420P;
    out->width = width;
    out->height = height;
    check(av_frame_get_buffer(out.get(), 0), "allocating a picture");
    check(sws_scale(ctx.get(), src.data, src.linesize, 0, src.height, out->data, out->linesize),
          "converting a picture");
    return out;
}

} // namespace engine::av
