#pragma once

// Small helpers shared by the media sources, filters and writers.

#include "av_ptr.h"
#include "clip/clip.h"

#include <string>
#include <utility>

namespace engine::av {

// Opens a local file for demuxing and reads its stream information. The path
// is used verbatim (no protocol prefixes, no image-sequence patterns).
// Throws engine::Error naming the file and the reason.
InputPtr openInputFile(const std::string &path);

// Opens a decoder for stream st of in; threads > 1 lets libavcodec decode on
// its own frame/slice threads.
CodecCtxPtr openDecoder(const AVStream *st, int threads, const std::string &path);

// Shares a decoded or converted picture as an immutable FrameRef.
FrameRef share(FramePtr frame);

// fps as an exact rational: whole numbers give n/1, others the nearest
// fraction with a small denominator.
std::pair<int, int> fpsRational(double fps);

// Rescales a picture of any format and size into a new YUV 4:2:0 frame of
// width x height. ctx is a cache reused across calls.
FramePtr toYuv420(const AVFrame &src, int width, int height, int swsFlags, SwsPtr &ctx,
                  const double *param = nullptr);

} // namespace engine::av
