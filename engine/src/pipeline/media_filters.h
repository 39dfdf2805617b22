#pragma once

// The media functions that change pictures or sound: BicubicResize,
// ResampleAudio and ConvertToYV12.

#include "clip/clip.h"

namespace engine {

// BicubicResize: bicubic with parameters b and c (Mitchell-Netravali,
// B = C = 1/3, by default) to width x height.
// An odd width or height becomes the even size just below; a size below 2
// is an error. Audio passes through.
ClipPtr bicubicResize(ClipPtr clip, int width, int height, double b = 1.0 / 3.0, double c = 1.0 / 3.0);

// ResampleAudio: the audio at rateHz; S' = (S * rateHz + old / 2) div old.
// The clip itself when it has no audio or already has that rate.
ClipPtr resampleAudio(ClipPtr clip, int rateHz);

// ConvertToYV12: pictures are already YUV 4:2:0, so only an odd width or
// height changes, to the even size just below (the right column or bottom
// row is dropped). The clip itself when both are even.
ClipPtr convertToYv12(ClipPtr clip);

// The even size just below an odd one; throws for sizes that leave nothing.
int evenSize(int size, const char *what);

} // namespace engine
