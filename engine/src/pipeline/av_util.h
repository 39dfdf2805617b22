#pragma once

// Small helpers shared by the media sources, filters and writers.

#include "av_ptr.h"
#include "clip/clip.h"

#include <cstdint>
#include <string>
#include <utility>

namespace engine::av {

// A file name as messages show it: in double quotes.
std::string quoted(const std::string &path);

// hh:mm:ss, as the converter shows lengths and times.
std::string clockText(std::int64_t seconds);

// Opens a local file for demuxing and reads its stream information. The path
// is used verbatim (no protocol prefixes, no image-sequence patterns).
// Throws engine::Error naming the file and the reason.
InputPtr openInputFile(const std::string &path);

// The file's main picture stream: the largest real video stream, never a
// cover image attached to an audio file. -1 when there is none.
int pickVideoStream(const AVFormatContext &in);

// The stream's own frame rate: its average rate, else its base rate, else
// 25 fps when the file tells neither.
AVRational streamFrameRate(const AVStream &st);

// Opens a decoder for stream st of in; threads > 1 lets libavcodec decode on
// its own frame/slice threads.
CodecCtxPtr openDecoder(const AVStream *st, int threads, const std::string &path);

// A new reference to src's buffers (no pixel is copied).
FramePtr clone(const AVFrame &src);

// Shares a decoded or converted picture as an immutable FrameRef.
FrameRef share(FramePtr frame);

// fps as an exact rational: whole numbers give n/1, others the nearest
// fraction with a small denominator.
std::pair<int, int> fpsRational(double fps);

} // namespace engine::av
