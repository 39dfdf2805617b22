#pragma once

// Single pictures of a script's clip, as the video pass would encode them,
// turned into RGB for a preview.
//
// The preview opens the script on a clip graph of its own (never the open
// pass's), so it may run while a pass runs. The graph opened last is kept
// for the next request while neither the script's text nor any file it
// names has changed: scrubbing through one job opens it once.
//
// Threading: every member may be called from any thread; calls are
// serialised by an internal mutex.

#include "clip/clip.h"
#include "pipeline/av_ptr.h"
#include "session.h"

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace engine::pass {

// Writes a YUV 4:2:0 picture as 8-bit RGB (3 bytes a pixel, rows top to
// bottom, no padding) with the BT.601 limited-range matrix an MPEG-1 stream
// implies; each chroma sample covers its 2x2 luma pixels. out holds at least
// width * height * 3 bytes.
void yuv420ToRgb(const AVFrame &picture, std::span<std::uint8_t> out);

struct PreviewSize
{
    int width = 0;
    int height = 0;
    std::size_t bytes() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3; }
};

class Previewer
{
public:
    explicit Previewer(ScriptOpener opener);

    // N of the script's clip. Throws engine::Error when the script cannot be
    // opened or its clip has no picture.
    std::int64_t frameCount(const std::string &scriptPath);

    // Frame n (0 <= n < N) of the script's clip at the video pass's size,
    // as RGB into out. Returns the size; when out is smaller than its
    // bytes(), nothing is rendered and the size is returned as well.
    // Throws engine::Error when the script cannot be opened, n is outside
    // the clip, or a source fails.
    PreviewSize render(const std::string &scriptPath, std::int64_t n, std::span<std::uint8_t> out);

private:
    struct Graph
    {
        std::string key;
        ClipPtr clip;
        PreviewSize size;
        av::SwsPtr sws; // the video pass's scaling to its size
    };

    Graph &open(const std::string &scriptPath);

    ScriptOpener m_opener;
    std::mutex m_mutex;
    Graph m_graph; // under m_mutex
};

} // namespace engine::pass
