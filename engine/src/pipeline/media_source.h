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
    // The number its frames' source moments carry (frame n is the moment
    // n / fps of the file, counted from its first picture).
    SourceNumber source = 0;
};

// Opens path for DirectShowSource. Only container metadata is read here;
// decoding starts with the first frame()/audio() call. Throws engine::Error
// naming the file and the reason.
//
// Video: YUV 4:2:0 at the size it is shown at (a stream whose display
// matrix turns it by 90 or 270 degrees has width and height swapped, and its
// pictures are turned upright), N = ceil(duration * fps), duration being
// the pictures' own length (never a container's that also covers sound
// going on after them; counted from the packets where nothing states it);
// frame n is the last
// decoded picture starting at or before n / fps, counted from the first
// picture; interlaced pictures are deinterlaced. When decoding ends early,
// the last picture is repeated up to N if the shortfall is at most 1 s or 5 %
// of N, whichever is larger; beyond that, and when no stream of the file
// reaches the announced length either (the file was cut off), frame() throws
// engine::Error saying the file is damaged and where its video ends.
// Audio: always stereo (mono duplicated, more channels mixed down) at the
// stream's own rate. In a file with a picture, sample 0 plays with the first
// picture (the video stream's start): sound starting later gets leading
// silence, sound starting earlier loses its head, and S = (end of the sound -
// start of the picture) * rate, at least 0. A file without a picture counts
// from its sound's own start, S = duration * rate. Silence of the video's
// length when the file has no audio stream.
ClipPtr openMediaSource(const std::string &path, const MediaSourceOptions &options);

// ImageSource: one still picture, decoded once, repeated for frames
// start..end inclusive (end - start + 1 frames) at fps. No audio.
ClipPtr openImageSource(const std::string &path, int start, int end, double fps);

} // namespace engine
