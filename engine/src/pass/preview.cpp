#include "preview.h"

#include "clip/error.h"
#include "encode_pass.h"
#include "pipeline/picture_util.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace engine::pass {

namespace {

std::uint8_t clampByte(int v)
{
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

// What decides whether the graph opened last still shows this script: its
// text, and the size and time of every file its string literals name (a
// source replaced, a subtitle file deleted). Empty when the script cannot
// be read; such a script is never kept.
std::string graphKey(const std::string &scriptPath)
{
    std::ifstream in(scriptPath, std::ios::binary);
    if (!in)
        return {};
    std::string key(std::istreambuf_iterator<char>(in), {});
    if (key.empty())
        return {};
    const std::string text = key;
    for (std::size_t open = text.find('"'); open != std::string::npos;) {
        const std::size_t close = text.find('"', open + 1);
        if (close == std::string::npos)
            break;
        std::error_code ec;
        const std::filesystem::path named(text.substr(open + 1, close - open - 1));
        key += '\n';
        if (!named.empty() && std::filesystem::is_regular_file(named, ec)) {
            key += std::to_string(std::filesystem::file_size(named, ec)) + ":";
            key += std::to_string(std::filesystem::last_write_time(named, ec).time_since_epoch().count());
        }
        open = text.find('"', close + 1);
    }
    return key;
}

} // namespace

void yuv420ToRgb(const AVFrame &picture, std::span<std::uint8_t> out)
{
    // Y in 16..235 and chroma in 16..240 span the full 0..255 of RGB:
    // R = 1.164 (Y-16) + 1.596 (V-128), G = 1.164 (Y-16) - 0.391 (U-128) -
    // 0.813 (V-128), B = 1.164 (Y-16) + 2.018 (U-128), in 8.8 fixed point.
    std::uint8_t *p = out.data();
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t *luma = picture.data[0] + std::ptrdiff_t{y} * picture.linesize[0];
        const std::uint8_t *cb = picture.data[1] + std::ptrdiff_t{y / 2} * picture.linesize[1];
        const std::uint8_t *cr = picture.data[2] + std::ptrdiff_t{y / 2} * picture.linesize[2];
        for (int x = 0; x < picture.width; ++x, p += 3) {
            const int c = 298 * (luma[x] - 16) + 128;
            const int d = cb[x / 2] - 128;
            const int e = cr[x / 2] - 128;
            p[0] = clampByte((c + 409 * e) >> 8);
            p[1] = clampByte((c - 100 * d - 208 * e) >> 8);
            p[2] = clampByte((c + 516 * d) >> 8);
        }
    }
}

Previewer::Previewer(ScriptOpener opener) : m_opener(std::move(opener)) {}

Previewer::Graph &Previewer::open(const std::string &scriptPath)
{
    std::string key = graphKey(scriptPath);
    if (m_graph.clip && !key.empty() && key == m_graph.key)
        return m_graph;
    m_graph = Graph{};
    ClipPtr clip = m_opener(scriptPath, script::ScriptUse::Preview);
    if (!clip)
        throw Error("the script gave no clip");
    const VideoInfo &vi = clip->info();
    if (!vi.hasVideo)
        throw Error("the script's clip has no video");
    if (vi.frameCount <= 0)
        throw Error("the script's clip has no frames");
    const auto [width, height] = videoOutputSize(vi);
    m_graph.size = {width, height};
    m_graph.clip = std::move(clip);
    m_graph.key = std::move(key);
    return m_graph;
}

std::int64_t Previewer::frameCount(const std::string &scriptPath)
{
    std::lock_guard lock(m_mutex);
    return open(scriptPath).clip->info().frameCount;
}

PreviewSize Previewer::render(const std::string &scriptPath, std::int64_t n, std::span<std::uint8_t> out)
{
    std::lock_guard lock(m_mutex);
    Graph &graph = open(scriptPath);
    const std::int64_t count = graph.clip->info().frameCount;
    if (n < 0 || n >= count)
        throw Error("frame " + std::to_string(n) + " is outside the clip, which has frames 0 to " +
                    std::to_string(count - 1));
    if (out.size() < graph.size.bytes())
        return graph.size;
    try {
        // Scaled exactly as the video pass's writer scales what it encodes.
        const av::FramePtr picture =
            av::fitYuv420(*graph.clip->frame(n), graph.size.width, graph.size.height, graph.sws);
        yuv420ToRgb(*picture, out);
    } catch (...) {
        // A source that failed part-way is opened afresh next time.
        m_graph = Graph{};
        throw;
    }
    return graph.size;
}

} // namespace engine::pass
