#pragma once

// Picture helpers of the media pipeline: conversion to the clips' YUV 4:2:0,
// and the corrections a source applies before a script sees its pictures.
// Every function returns a new frame and leaves its input untouched.

#include "av_ptr.h"

namespace engine::av {

// Rescales a picture of any format and size into a new YUV 4:2:0 frame of
// width x height. ctx is a cache reused across calls; param, when given, is
// swscale's pair of scaler parameters (bicubic B and C). blendFields folds
// deinterlace()'s [1 2 1] blend into the same pass (the scaler's vertical
// filter becomes the two convolved); swscale keeps that choice with the
// context, so a ctx must always be used with the same blendFields.
FramePtr toYuv420(const AVFrame &src, int width, int height, int swsFlags, SwsPtr &ctx,
                  const double *param = nullptr, bool blendFields = false);

// src as YUV 4:2:0 of width x height: a new reference when it already is
// one, else rescaled (bicubic, accurate rounding) through ctx.
FramePtr fitYuv420(const AVFrame &src, int width, int height, SwsPtr &ctx);

// A YUV 4:2:0 picture turned by quarter turns counter-clockwise (1 to 3).
FramePtr rotate(const AVFrame &src, int turns);

// A YUV 4:2:0 interlaced picture with its two fields folded into one by a
// [1 2 1] vertical blend, so that scaling down does not comb moving edges.
FramePtr deinterlace(const AVFrame &src);

} // namespace engine::av
