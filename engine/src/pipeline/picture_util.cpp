#include "picture_util.h"

#include "av_util.h"
#include "clip/error.h"

#include <algorithm>
#include <cstdint>
#include <string>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace engine::av {

namespace {

// A new YUV 4:2:0 frame of width x height with uninitialised pixels.
FramePtr blankYuv420(int width, int height)
{
    FramePtr out = allocFrame();
    out->format = AV_PIX_FMT_YUV420P;
    out->width = width;
    out->height = height;
    check(av_frame_get_buffer(out.get(), 0), "allocating a picture");
    return out;
}

// Turns one plane of w x h by quarter turns counter-clockwise.
void rotatePlane(const std::uint8_t *src, int srcStride, std::uint8_t *dst, int dstStride, int w, int h, int turns)
{
    const int dw = turns == 2 ? w : h;
    const int dh = turns == 2 ? h : w;
    for (int y = 0; y < dh; ++y) {
        std::uint8_t *out = dst + std::ptrdiff_t{y} * dstStride;
        for (int x = 0; x < dw; ++x) {
            int sx = 0;
            int sy = 0;
            if (turns == 1) { // counter-clockwise: the right column becomes the top row
                sx = w - 1 - y;
                sy = x;
            } else if (turns == 2) {
                sx = w - 1 - x;
                sy = h - 1 - y;
            } else { // clockwise: the left column becomes the top row
                sx = y;
                sy = h - 1 - x;
            }
            out[x] = src[std::ptrdiff_t{sy} * srcStride + sx];
        }
    }
}

void blendPlane(const std::uint8_t *src, int srcStride, std::uint8_t *dst, int dstStride, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *above = src + std::ptrdiff_t{std::max(y - 1, 0)} * srcStride;
        const std::uint8_t *row = src + std::ptrdiff_t{y} * srcStride;
        const std::uint8_t *below = src + std::ptrdiff_t{std::min(y + 1, height - 1)} * srcStride;
        std::uint8_t *out = dst + std::ptrdiff_t{y} * dstStride;
        for (int x = 0; x < width; ++x)
            out[x] = static_cast<std::uint8_t>((above[x] + 2 * row[x] + below[x] + 2) >> 2);
    }
}

} // namespace

FramePtr toYuv420(const AVFrame &src, int width, int height, int swsFlags, SwsPtr &ctx, const double *param,
                  bool blendFields)
{
    // The blend as a source filter: swscale convolves it into its vertical
    // taps whenever it (re)builds the context.
    SwsFilter fields{};
    SwsVecPtr blend;
    if (blendFields) {
        blend.reset(sws_allocVec(3));
        if (!blend)
            throw Error("out of memory");
        blend->coeff[0] = 0.25;
        blend->coeff[1] = 0.5;
        blend->coeff[2] = 0.25;
        fields.lumV = blend.get();
        fields.chrV = blend.get();
    }
    ctx.reset(sws_getCachedContext(ctx.release(), src.width, src.height, static_cast<AVPixelFormat>(src.format),
                                   width, height, AV_PIX_FMT_YUV420P, swsFlags, blend ? &fields : nullptr, nullptr,
                                   param));
    if (!ctx) {
        const char *name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(src.format));
        throw Error("cannot convert pictures of format " + std::string(name ? name : "unknown"));
    }
    FramePtr out = blankYuv420(width, height);
    check(sws_scale(ctx.get(), src.data, src.linesize, 0, src.height, out->data, out->linesize),
          "converting a picture");
    return out;
}

FramePtr fitYuv420(const AVFrame &src, int width, int height, SwsPtr &ctx)
{
    if (src.format == AV_PIX_FMT_YUV420P && src.width == width && src.height == height)
        return clone(src);
    return toYuv420(src, width, height, SWS_BICUBIC | SWS_ACCURATE_RND, ctx);
}

FramePtr rotate(const AVFrame &src, int turns)
{
    FramePtr out = blankYuv420(turns == 2 ? src.width : src.height, turns == 2 ? src.height : src.width);
    const int cw = (src.width + 1) / 2;
    const int ch = (src.height + 1) / 2;
    rotatePlane(src.data[0], src.linesize[0], out->data[0], out->linesize[0], src.width, src.height, turns);
    rotatePlane(src.data[1], src.linesize[1], out->data[1], out->linesize[1], cw, ch, turns);
    rotatePlane(src.data[2], src.linesize[2], out->data[2], out->linesize[2], cw, ch, turns);
    return out;
}

FramePtr deinterlace(const AVFrame &src)
{
    FramePtr out = blankYuv420(src.width, src.height);
    const int cw = (src.width + 1) / 2;
    const int ch = (src.height + 1) / 2;
    blendPlane(src.data[0], src.linesize[0], out->data[0], out->linesize[0], src.width, src.height);
    blendPlane(src.data[1], src.linesize[1], out->data[1], out->linesize[1], cw, ch);
    blendPlane(src.data[2], src.linesize[2], out->data[2], out->linesize[2], cw, ch);
    return out;
}

} // namespace engine::av
