#pragma once

// The clip filters of the script language, as plain factories (the script
// functions in register.cpp bind arguments and call these). Each returns a
// new clip over its input(s) with the frame and sample counts the script
// language defines; nothing is decoded until frames or audio are pulled,
// except where noted. Invalid arguments throw engine::Error with a message
// that does not repeat the function's name (the evaluator adds it).

#include "clip/clip.h"

#include <optional>
#include <string>
#include <vector>

namespace engine::filters {

// Video of `video`, audio of `audio`; the roles swap when only the other
// way round works. No length adjustment.
ClipPtr audioDub(ClipPtr video, ClipPtr audio);

// Frames first..last inclusive (last 0 = to the end, -k = k frames); audio
// S(first)..S(last+1), padded with silence or cut when pad is true.
ClipPtr trim(ClipPtr clip, int first, int last, bool pad = true);

// A generated audio-only clip of int64(length*rate+0.5) samples. type is
// Silence, Sine, Noise, Square, Triangle or Sawtooth (any case).
ClipPtr tone(double lengthSec, double frequencyHz, int sampleRate, int channels, const std::string &type,
             double level);

// Joins a and b with `overlap` frames blended (0 = plain aligned join);
// fps matters only for audio-only clips.
ClipPtr dissolve(ClipPtr a, ClipPtr b, int overlap, double fps = 24.0);

// A clip shaped like `like` (size, fps, audio format) of `frames` frames in
// one RGB colour ($RRGGBB, converted with Rec.601 to TV range), with silent
// audio of S(frames) samples.
ClipPtr blankLike(const ClipPtr &like, int frames, int rgbColor);

ClipPtr fadeIn(ClipPtr clip, int frames, int rgbColor = 0, double fps = 24.0);
ClipPtr fadeOut(ClipPtr clip, int frames, int rgbColor = 0, double fps = 24.0);
ClipPtr fadeIO(ClipPtr clip, int frames, int rgbColor = 0, double fps = 24.0);

// Frames and samples in reverse order. On first use the input is read once
// from start to end into an unnamed temporary file in tempFolder (empty =
// the system's temporary folder), so memory stays bounded whatever the
// length; the file never outlives the clip. byIndex fetches each frame from
// the input by its index instead (a seek per frame): for a few pictures, as a
// preview wants them, that costs far less than reading the whole input.
ClipPtr reverse(ClipPtr clip, std::string tempFolder, bool byIndex = false);

// Hue in degrees (-180..180), saturation 0..10, brightness -255..255,
// contrast 0..10; with coring, luma stays in 16..235 and chroma in 16..240.
ClipPtr tweak(ClipPtr clip, double hue, double saturation, double brightness, double contrast, bool coring = true);

// 3-tap sharpen (positive) or blur (negative), vertical pass first, on all
// three planes; each amount must lie in -1.58..1.
ClipPtr sharpen(ClipPtr clip, double amountH, double amountV);

// Multiplies channel i by factors[min(i, size-1)], in float (clipping is
// left to the final conversion to 16 bits).
ClipPtr amplify(ClipPtr clip, std::vector<double> factors);

// Shifts the audio later by seconds (earlier when negative); S' = S + d.
ClipPtr delayAudio(ClipPtr clip, double seconds);

// One output channel per listed 1-based input channel.
ClipPtr getChannel(ClipPtr clip, const std::vector<int> &channels);

struct CropRect
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// A window of every frame; left and top must be even.
ClipPtr crop(ClipPtr clip, CropRect rect);

struct AutoCropSettings
{
    int wMultOf = 4;
    int hMultOf = 2;
    int leftAdd = 0;
    int topAdd = 0;
    int rightAdd = 0;
    int bottomAdd = 0;
    int threshold = 40;
    int samples = 5;
    int sampleStartFrame = 0;
    int sampleEndFrame = -1;
};

// Samples frames of clip and finds the window of non-dark content; nothing
// when no sampled frame has any (the caller then keeps the whole picture).
// Decodes the sampled frames.
std::optional<CropRect> detectCrop(Clip &clip, const AutoCropSettings &settings);

// detectCrop, then crop (or the clip unchanged when nothing was found).
ClipPtr autoCrop(ClipPtr clip, const AutoCropSettings &settings);

} // namespace engine::filters
