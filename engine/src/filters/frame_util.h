#pragma once

// Plane access for the filters' YUV 4:2:0 pictures.

#include "clip/clip.h"

#include <cstdint>

namespace engine::filters {

inline int planeWidth(const AVFrame &f, int plane)
{
    return plane == 0 ? f.width : (f.width + 1) / 2;
}

inline int planeHeight(const AVFrame &f, int plane)
{
    return plane == 0 ? f.height : (f.height + 1) / 2;
}

inline const std::uint8_t *row(const AVFrame &f, int plane, int y)
{
    return f.data[plane] + static_cast<std::ptrdiff_t>(y) * f.linesize[plane];
}

inline std::uint8_t *row(AVFrame &f, int plane, int y)
{
    return f.data[plane] + static_cast<std::ptrdiff_t>(y) * f.linesize[plane];
}

} // namespace engine::filters
