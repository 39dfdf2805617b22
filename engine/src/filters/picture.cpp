// Pixel filters: Tweak (colour) and Sharpen (3-tap kernel).

#include "filters/filters.h"

#include "clip/error.h"
#include "filters/frame_util.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

namespace engine::filters {

namespace {

class TweakClip final : public FilterClip
{
public:
    TweakClip(ClipPtr child, double hue, double sat, double bright, double cont, bool coring)
        : FilterClip(std::move(child))
    {
        const int yMin = coring ? 16 : 0;
        const int yMax = coring ? 235 : 255;
        const int cMin = coring ? 16 : 0;
        const int cMax = coring ? 240 : 255;
        for (int i = 0; i < 256; ++i) {
            // Contrast pivots at black (16), brightness adds code values.
            const double y = coring ? (i - 16) * cont + bright + 16.5 : i * cont + bright + 0.5;
            m_luma[static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(std::clamp(static_cast<int>(y), yMin, yMax));
        }
        const double angle = hue * std::numbers::pi / 180.0;
        const double sinH = std::sin(angle);
        const double cosH = std::cos(angle);
        const int iSat = static_cast<int>(sat * 512);
        m_chroma.resize(256 * 256);
        for (int u = 0; u < 256; ++u) {
            for (int v = 0; v < 256; ++v) {
                const int du = static_cast<int>(((u - 128) * cosH + (v - 128) * sinH) * iSat) >> 9;
                const int dv = static_cast<int>(((v - 128) * cosH - (u - 128) * sinH) * iSat) >> 9;
                const int outU = std::clamp(du + 128, cMin, cMax);
                const int outV = std::clamp(dv + 128, cMin, cMax);
                m_chroma[static_cast<std::size_t>(u * 256 + v)] = static_cast<std::uint16_t>(outU << 8 | outV);
            }
        }
    }

protected:
    FrameRef frameAt(std::int64_t n) override
    {
        const FrameRef in = m_child->frame(n);
        std::shared_ptr<AVFrame> out = makeFrame(in->width, in->height);
        for (int y = 0; y < planeHeight(*in, 0); ++y) {
            const std::uint8_t *s = row(*in, 0, y);
            std::uint8_t *d = row(*out, 0, y);
            for (int x = 0; x < in->width; ++x)
                d[x] = m_luma[s[x]];
        }
        const int cw = planeWidth(*in, 1);
        for (int y = 0; y < planeHeight(*in, 1); ++y) {
            const std::uint8_t *su = row(*in, 1, y);
            const std::uint8_t *sv = row(*in, 2, y);
            std::uint8_t *du = row(*out, 1, y);
            std::uint8_t *dv = row(*out, 2, y);
            for (int x = 0; x < cw; ++x) {
                const std::uint16_t uv = m_chroma[static_cast<std::size_t>(su[x] << 8 | sv[x])];
                du[x] = static_cast<std::uint8_t>(uv >> 8);
                dv[x] = static_cast<std::uint8_t>(uv & 0xFF);
            }
        }
        return out;
    }

private:
    std::array<std::uint8_t, 256> m_luma{};
    std::vector<std::uint16_t> m_chroma; // (U << 8 | V) -> (U' << 8 | V')
};

// Kernel [outer, centre, outer] in 1/65536 units, summing to 65536.
struct Kernel
{
    bool active = false;
    int centre = 65536;
    int outer = 0;
};

Kernel kernelFor(double amount)
{
    Kernel k;
    if (std::fabs(amount) < 0.00002)
        return k;
    const int a = static_cast<int>(32768.0 * std::pow(2.0, amount) + 0.5);
    k.active = true;
    k.centre = 2 * a;
    k.outer = 32768 - a;
    return k;
}

inline std::uint8_t apply(const Kernel &k, int centre, int sides)
{
    return static_cast<std::uint8_t>(std::clamp((k.centre * centre + k.outer * sides + 32768) >> 16, 0, 255));
}

// The rows are worked in blocks of a fixed length: loops of a known trip
// count over unaliased pointers are what the compiler turns into vector
// code at the optimisation level the library is built with.
constexpr int kBlock = 16;

// out[i] = kernel over (centre[i], sideA[i] + sideB[i]) for one block.
inline void block(const Kernel &k, const std::uint8_t *__restrict sideA, const std::uint8_t *__restrict centre,
                  const std::uint8_t *__restrict sideB, std::uint8_t *__restrict out)
{
    const int c = k.centre;
    const int o = k.outer;
    for (int i = 0; i < kBlock; ++i) {
        const int v = (c * centre[i] + o * (sideA[i] + sideB[i]) + 32768) >> 16;
        out[i] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

// out[x] = kernel over (up[x], mid[x], down[x]).
void verticalRow(const Kernel &k, const std::uint8_t *up, const std::uint8_t *mid, const std::uint8_t *down,
                 std::uint8_t *out, int w)
{
    int x = 0;
    for (; x + kBlock <= w; x += kBlock)
        block(k, up + x, mid + x, down + x, out + x);
    for (; x < w; ++x)
        out[x] = apply(k, mid[x], up[x] + down[x]);
}

// out[x] = kernel over (in[x-1], in[x], in[x+1]); a missing neighbour at
// either end is the pixel itself.
void horizontalRow(const Kernel &k, const std::uint8_t *in, std::uint8_t *out, int w)
{
    if (w == 1) {
        out[0] = apply(k, in[0], 2 * in[0]);
        return;
    }
    out[0] = apply(k, in[0], in[0] + in[1]);
    int x = 1;
    for (; x + kBlock <= w - 1; x += kBlock)
        block(k, in + x - 1, in + x, in + x + 1, out + x);
    for (; x < w - 1; ++x)
        out[x] = apply(k, in[x], in[x - 1] + in[x + 1]);
    out[w - 1] = apply(k, in[w - 1], in[w - 2] + in[w - 1]);
}

class SharpenClip final : public FilterClip
{
public:
    SharpenClip(ClipPtr child, Kernel horizontal, Kernel vertical)
        : FilterClip(std::move(child)), m_h(horizontal), m_v(vertical)
    {
    }

protected:
    FrameRef frameAt(std::int64_t n) override
    {
        const FrameRef in = m_child->frame(n);
        std::shared_ptr<AVFrame> out = makeFrame(in->width, in->height);
        for (int p = 0; p < 3; ++p) {
            const int w = planeWidth(*in, p);
            const int h = planeHeight(*in, p);
            m_row.resize(static_cast<std::size_t>(w));
            for (int y = 0; y < h; ++y) {
                // Vertical pass first; a missing neighbour is the pixel itself.
                const std::uint8_t *mid = row(*in, p, y);
                const std::uint8_t *up = y > 0 ? row(*in, p, y - 1) : mid;
                const std::uint8_t *down = y + 1 < h ? row(*in, p, y + 1) : mid;
                std::uint8_t *d = row(*out, p, y);
                std::uint8_t *v = m_h.active ? m_row.data() : d;
                if (m_v.active)
                    verticalRow(m_v, up, mid, down, v, w);
                else
                    std::memcpy(v, mid, static_cast<std::size_t>(w));
                // Then the horizontal pass on the clamped result of the first.
                if (m_h.active)
                    horizontalRow(m_h, v, d, w);
            }
        }
        return out;
    }

private:
    Kernel m_h;
    Kernel m_v;
    std::vector<std::uint8_t> m_row;
};

void checkRange(double value, double low, double high, const char *what)
{
    if (!(value >= low && value <= high)) {
        char text[160];
        std::snprintf(text, sizeof text, "%s must be between %g and %g (got %g)", what, low, high, value);
        throw Error(text);
    }
}

} // namespace

ClipPtr tweak(ClipPtr clip, double hue, double saturation, double brightness, double contrast, bool coring)
{
    if (!clip->info().hasVideo)
        throw Error("the clip has no video");
    checkRange(hue, -180.0, 180.0, "hue");
    checkRange(saturation, 0.0, 10.0, "saturation");
    checkRange(brightness, -255.0, 255.0, "brightness");
    checkRange(contrast, 0.0, 10.0, "contrast");
    return std::make_shared<TweakClip>(std::move(clip), hue, saturation, brightness, contrast, coring);
}

ClipPtr sharpen(ClipPtr clip, double amountH, double amountV)
{
    // 2^-1.5849625 = 1/3: the strongest blur the kernel allows.
    constexpr double kMin = -1.5849625;
    const auto inRange = [](double a) { return a >= kMin - 1e-9 && a <= 1.0 + 1e-9; };
    if (!inRange(amountH) || !inRange(amountV))
        throw Error("arguments must be in the range -1.58 to 1.0");
    if (!clip->info().hasVideo)
        throw Error("the clip has no video");
    const Kernel h = kernelFor(amountH);
    const Kernel v = kernelFor(amountV);
    if (!h.active && !v.active)
        return clip;
    return std::make_shared<SharpenClip>(std::move(clip), h, v);
}

} // namespace engine::filters
