#pragma once

// DirectShowSource and ImageSource: clips read from files with libavformat
// and libavcodec.

#include "clip/clip.h"

#include <optional>
#include <string>

namespace engine {

struct MediaSourceOptions
{
    // Frames per second of the result. With a value the file must have a
    // video stream, converted to exactly this rate; without one the stream's
    // own rate is used and a file without video gives an audio-only clip.
    std::optional<double> fps;
    bool video = true;
    bool audio = true;
};

// Opens path for DirectShowSource. Only container metadata is read here;
// decoding starts with the first frame()/audio() call. Throws engine::Error
// naming the file and the reason.
//
// Video: YUV 4:2:0 at the stream's stored size, N = ceil(duration * fps);
// frame n is the last decoded picture starting at or before n / fps,
// counted from the first picture; interlaced pictures are deinterlaced.
// Audio: always stereo (mono duplicated, more channels mixed down) at the
// stream's own rate, S = duration * rate; silence of the video's length when
// the file has no audio stream.
ClipPtr openMediaSource(const std::string &path, const MediaSourceOptions &options);

// ImageSource: one still picture, decoded once, repeated for frames
// start..end inclusive (end - start + 1 frames) at fps. No audio.
ClipPtr openImageSource(const std::string &path, int start, int end, double fps);

} // namespace engine
