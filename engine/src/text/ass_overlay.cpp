#include "text/ass_overlay.h"

#include "clip/error.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" {
#include <ass/ass.h>
}

namespace engine::text {

void AssOverlay::LibraryDeleter::operator()(ass_library *p) const noexcept
{
    ass_library_done(p);
}

void AssOverlay::RendererDeleter::operator()(ass_renderer *p) const noexcept
{
    ass_renderer_done(p);
}

void AssOverlay::TrackDeleter::operator()(ass_track *p) const noexcept
{
    ass_free_track(p);
}

namespace {

// libass talks a lot about font fallbacks; none of it is the user's business.
void quietMessages(int, const char *, va_list, void *) {}

// True when an event's look changes while it shows: override tags that
// move, fade, sweep karaoke or transform over time, or a scrolling effect.
bool changesOverTime(const ASS_Event &e)
{
    if (e.Effect && e.Effect[0] != '\0')
        return true;
    if (!e.Text)
        return false;
    const std::string_view text(e.Text);
    for (const char *tag : {"\\t(", "\\move", "\\fad", "\\k", "\\K"})
        if (text.find(tag) != std::string_view::npos)
            return true;
    return false;
}

std::uint8_t clampByte(double v)
{
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

} // namespace

AssOverlay::AssOverlay(const CaptionStyle &style, const std::vector<SubtitleEvent> &events, int width, int height)
{
    setUp(width, height);
    std::string header = assHeader(style, width, height);
    m_track.reset(ass_read_memory(m_library.get(), header.data(), header.size(), nullptr));
    if (!m_track)
        throw Error("cannot set up the text renderer");
    for (const auto &e : events) {
        const int id = ass_alloc_event(m_track.get());
        if (id < 0)
            throw Error("out of memory");
        ASS_Event &ev = m_track->events[id];
        ev.Start = e.startMs;
        ev.Duration = std::max<std::int64_t>(e.endMs - e.startMs, 0);
        ev.ReadOrder = id;
        ev.Layer = 0;
        ev.Style = m_track->default_style;
        // libass frees event texts with free().
        ev.Text = strdup(e.text.c_str());
        if (!ev.Text)
            throw Error("out of memory");
    }
}

AssOverlay::AssOverlay(std::string assDocument, int width, int height)
{
    setUp(width, height);
    m_track.reset(ass_read_memory(m_library.get(), assDocument.data(), assDocument.size(), nullptr));
    if (!m_track)
        throw Error("the subtitle file could not be read as SSA/ASS");
}

AssOverlay::~AssOverlay()
{
    // The track must go before the library it belongs to; members are
    // destroyed in reverse order of declaration, which is that order.
}

void AssOverlay::setUp(int width, int height)
{
    m_width = width;
    m_height = height;
    m_library.reset(ass_library_init());
    if (!m_library)
        throw Error("cannot start the text renderer (libass)");
    ass_set_message_cb(m_library.get(), quietMessages, nullptr);
    ass_set_extract_fonts(m_library.get(), 1);
}

// The renderer is made on the first picture: loading the font
// configuration is costly, and an audio pass never draws.
void AssOverlay::startRenderer()
{
    m_renderer.reset(ass_renderer_init(m_library.get()));
    if (!m_renderer)
        throw Error("cannot start the text renderer (libass)");
    ass_set_frame_size(m_renderer.get(), m_width, m_height);
    ass_set_storage_size(m_renderer.get(), m_width, m_height);
    ass_set_shaper(m_renderer.get(), ASS_SHAPING_COMPLEX);
    ass_set_hinting(m_renderer.get(), ASS_HINTING_NONE);
    // Fonts are matched by name through fontconfig; a name it does not know
    // falls back to the default sans-serif face.
    ass_set_fonts(m_renderer.get(), nullptr, "sans-serif", ASS_FONTPROVIDER_AUTODETECT, nullptr, 1);
}

int AssOverlay::eventCount() const
{
    return m_track ? m_track->n_events : 0;
}

FrameRef AssOverlay::draw(const FrameRef &picture, std::int64_t timeMs)
{
    // Rendering is costly (layout, and font fallback through fontconfig for
    // every glyph the font lacks, on every call), while the picture only
    // changes when another set of events shows or one of them animates.
    std::vector<int> shown;
    bool moving = false;
    for (int i = 0; i < m_track->n_events; ++i) {
        const ASS_Event &e = m_track->events[i];
        if (e.Start <= timeMs && timeMs < e.Start + e.Duration) {
            shown.push_back(i);
            moving = moving || changesOverTime(e);
        }
    }
    if (!m_rendered || moving || shown != m_shown)
        render(timeMs);
    m_shown = std::move(shown);
    if (m_sprites.empty())
        return picture;
    auto out = makeFrame(picture->width, picture->height);
    check(av_frame_copy(out.get(), picture.get()), "copying a picture");
    blend(*out);
    return out;
}

void AssOverlay::render(std::int64_t timeMs)
{
    if (!m_renderer)
        startRenderer();
    int changed = 0;
    ASS_Image *images = ass_render_frame(m_renderer.get(), m_track.get(), static_cast<long long>(timeMs), &changed);
    if (changed || !m_rendered) {
        m_sprites.clear();
        for (ASS_Image *img = images; img; img = img->next) {
            if (img->w <= 0 || img->h <= 0)
                continue;
            const std::uint32_t c = img->color;
            const double r = c >> 24 & 0xFF, g = c >> 16 & 0xFF, b = c >> 8 & 0xFF;
            const unsigned opacity = 255 - (c & 0xFF);
            if (opacity == 0)
                continue;
            Sprite s;
            s.x = img->dst_x;
            s.y = img->dst_y;
            s.w = img->w;
            s.h = img->h;
            // Rec.601, TV range: the same matrix the pictures use.
            s.luma = clampByte(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255);
            s.cb = clampByte(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255);
            s.cr = clampByte(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255);
            s.alpha.resize(static_cast<std::size_t>(s.w) * static_cast<std::size_t>(s.h));
            for (int y = 0; y < s.h; ++y)
                for (int x = 0; x < s.w; ++x)
                    s.alpha[static_cast<std::size_t>(y * s.w + x)] =
                        static_cast<std::uint8_t>((img->bitmap[y * img->stride + x] * opacity + 127) / 255);
            m_sprites.push_back(std::move(s));
        }
        m_rendered = true;
    }
}

void AssOverlay::blend(AVFrame &dst) const
{
    const int w = dst.width, h = dst.height;
    for (const Sprite &s : m_sprites) {
        // Luma, pixel by pixel.
        for (int y = std::max(0, s.y); y < std::min(h, s.y + s.h); ++y) {
            std::uint8_t *row = dst.data[0] + static_cast<std::ptrdiff_t>(y) * dst.linesize[0];
            for (int x = std::max(0, s.x); x < std::min(w, s.x + s.w); ++x) {
                const unsigned a = s.alpha[static_cast<std::size_t>((y - s.y) * s.w + (x - s.x))];
                if (a)
                    row[x] = static_cast<std::uint8_t>((row[x] * (255 - a) + s.luma * a + 127) / 255);
            }
        }
        // Chroma: the mean coverage of the 2x2 luma pixels of each sample.
        const int cw = (w + 1) / 2, ch = (h + 1) / 2;
        for (int cy = std::max(0, s.y / 2); cy < std::min(ch, (s.y + s.h + 1) / 2); ++cy) {
            std::uint8_t *u = dst.data[1] + static_cast<std::ptrdiff_t>(cy) * dst.linesize[1];
            std::uint8_t *v = dst.data[2] + static_cast<std::ptrdiff_t>(cy) * dst.linesize[2];
            for (int cx = std::max(0, s.x / 2); cx < std::min(cw, (s.x + s.w + 1) / 2); ++cx) {
                unsigned sum = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        const int sx = cx * 2 + dx - s.x, sy = cy * 2 + dy - s.y;
                        if (sx >= 0 && sy >= 0 && sx < s.w && sy < s.h)
                            sum += s.alpha[static_cast<std::size_t>(sy * s.w + sx)];
                    }
                const unsigned a = (sum + 2) / 4;
                if (a) {
                    u[cx] = static_cast<std::uint8_t>((u[cx] * (255 - a) + s.cb * a + 127) / 255);
                    v[cx] = static_cast<std::uint8_t>((v[cx] * (255 - a) + s.cr * a + 127) / 255);
                }
            }
        }
    }
}

} // namespace engine::text
