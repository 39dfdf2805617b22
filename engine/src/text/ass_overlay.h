#pragma once

// Draws ASS-rendered text over YUV 4:2:0 pictures with libass. One overlay
// serves one clip; it keeps the last rendered bitmaps and asks libass again
// only when another set of events shows or a showing one animates, so a
// caption that stays put costs one blend per frame.

#include "clip/clip.h"
#include "text/subtitle_document.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ass_library;
struct ass_renderer;
struct ass_track;

namespace engine::text {

class AssOverlay
{
public:
    // A track with the given style and events, for pictures of width x height.
    AssOverlay(const CaptionStyle &style, const std::vector<SubtitleEvent> &events, int width, int height);
    // A track read from an ASS/SSA document (UTF-8).
    AssOverlay(std::string assDocument, int width, int height);
    ~AssOverlay();
    AssOverlay(const AssOverlay &) = delete;
    AssOverlay &operator=(const AssOverlay &) = delete;

    // Number of events in the track (0 for a document without any).
    int eventCount() const;

    // The picture with whatever shows at timeMs drawn over it; the same
    // picture when nothing shows.
    FrameRef draw(const FrameRef &picture, std::int64_t timeMs);

private:
    struct Sprite
    {
        int x = 0, y = 0, w = 0, h = 0;
        std::vector<std::uint8_t> alpha; // w * h, already scaled by the colour's opacity
        std::uint8_t luma = 16, cb = 128, cr = 128;
    };
    struct LibraryDeleter
    {
        void operator()(ass_library *p) const noexcept;
    };
    struct RendererDeleter
    {
        void operator()(ass_renderer *p) const noexcept;
    };
    struct TrackDeleter
    {
        void operator()(ass_track *p) const noexcept;
    };

    void setUp(int width, int height);
    void startRenderer();
    // Renders what shows at timeMs into m_sprites.
    void render(std::int64_t timeMs);
    void blend(AVFrame &dst) const;

    std::unique_ptr<ass_library, LibraryDeleter> m_library;
    std::unique_ptr<ass_renderer, RendererDeleter> m_renderer;
    std::unique_ptr<ass_track, TrackDeleter> m_track;
    std::vector<Sprite> m_sprites;
    bool m_rendered = false;
    std::vector<int> m_shown; // indexes of the events m_sprites shows
    int m_width = 0;
    int m_height = 0;
};

} // namespace engine::text
