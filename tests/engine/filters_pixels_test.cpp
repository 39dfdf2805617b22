// Pixel and sample arithmetic of the filters on tiny synthetic clips.

#include "lang_test_clips.h"

#include "clip/error.h"
#include "filters/filters.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>

#include <array>
#include <vector>

namespace {

using engine::ClipPtr;
using testclips::pixel;
namespace f = engine::filters;

// A 4x4 picture whose luma rows come from `luma`, U from `chroma` (2x2), V 128.
ClipPtr picture(std::array<std::array<std::uint8_t, 4>, 4> luma, std::array<std::array<std::uint8_t, 2>, 2> chroma)
{
    testclips::Shape s;
    s.frames = 1;
    s.width = 4;
    s.height = 4;
    return testclips::make(s, [=](std::int64_t, int p, int x, int y) -> std::uint8_t {
        return p == 0 ? luma[y][x] : p == 1 ? chroma[y][x] : 128;
    });
}

TEST(Tweak, LumaAndChromaFollowTheFormulas)
{
    const ClipPtr in = picture({{{0, 16, 100, 230}, {235, 240, 255, 126}, {16, 16, 16, 16}, {16, 16, 16, 16}}},
                               {{{160, 128}, {200, 10}}});
    {
        // Brightness adds code values, clamped to 16..235.
        const auto out = f::tweak(in, 0, 1, 10, 1)->frame(0);
        EXPECT_EQ(pixel(out, 0, 0, 0), 16);  // (0-16)+10+16.5 -> 10 -> 16
        EXPECT_EQ(pixel(out, 0, 1, 0), 26);
        EXPECT_EQ(pixel(out, 0, 2, 0), 110);
        EXPECT_EQ(pixel(out, 0, 3, 0), 235); // 240 clamps
        EXPECT_EQ(pixel(out, 1, 0, 0), 160); // chroma untouched at sat 1, hue 0
    }
    {
        // Contrast pivots at 16: 0 gives flat black; chroma clamps to 16..240.
        const auto out = f::tweak(in, 0, 1, 0, 0)->frame(0);
        EXPECT_EQ(pixel(out, 0, 2, 0), 16);
        EXPECT_EQ(pixel(out, 0, 2, 1), 16);
        EXPECT_EQ(pixel(out, 1, 1, 1), 16);  // U 10 -> 16
    }
    {
        // hue 30, sat 1.2 on U 160 / V 128 (u 32, v 0): iSat 614,
        // du = int(32*cos30*614) >> 9 = 33, dv = int(-16*614) >> 9 = -20.
        const auto out = f::tweak(in, 30, 1.2, -10, 1)->frame(0);
        EXPECT_EQ(pixel(out, 1, 0, 0), 161);
        EXPECT_EQ(pixel(out, 2, 0, 0), 108);
        EXPECT_EQ(pixel(out, 0, 2, 0), 90);
    }
    {
        // hue 180 mirrors chroma about 128; sat 0 removes it.
        EXPECT_EQ(pixel(f::tweak(in, 180, 1, 0, 1)->frame(0), 1, 0, 1), 56);
        EXPECT_EQ(pixel(f::tweak(in, 0, 0, 0, 1)->frame(0), 1, 0, 1), 128);
    }
    {
        // Without coring the full range is kept.
        const auto out = f::tweak(in, 0, 1, 0, 1, false)->frame(0);
        EXPECT_EQ(pixel(out, 0, 0, 0), 0);
        EXPECT_EQ(pixel(out, 0, 2, 1), 255);
    }
    EXPECT_THROW(f::tweak(in, 181, 1, 0, 1), engine::Error);
    EXPECT_THROW(f::tweak(in, 0, 10.5, 0, 1), engine::Error);
}

TEST(Sharpen, KernelsEdgesAndPassOrder)
{
    // Identical rows: the vertical pass changes nothing, so each row shows
    // the horizontal kernel, with the edge pixel standing in for its
    // missing neighbour.
    const std::array<std::uint8_t, 4> step{10, 10, 200, 200};
    const ClipPtr steps = picture({{step, step, step, step}}, {{{0, 0}, {255, 255}}});
    const auto sharp = f::sharpen(steps, 1, 1)->frame(0);
    EXPECT_EQ((std::array{pixel(sharp, 0, 0, 2), pixel(sharp, 0, 1, 2), pixel(sharp, 0, 2, 2), pixel(sharp, 0, 3, 2)}),
              (std::array<std::uint8_t, 4>{10, 0, 255, 200}));

    const std::array<std::uint8_t, 4> ramp{0, 0, 255, 255};
    const ClipPtr ramps = picture({{ramp, ramp, ramp, ramp}}, {{{0, 0}, {255, 255}}});
    const auto blur = f::sharpen(ramps, -1.58, -1.58)->frame(0);
    EXPECT_EQ((std::array{pixel(blur, 0, 0, 1), pixel(blur, 0, 1, 1), pixel(blur, 0, 2, 1), pixel(blur, 0, 3, 1)}),
              (std::array<std::uint8_t, 4>{0, 85, 170, 255}));
    // Chroma is filtered too: a vertical step in U.
    EXPECT_EQ(pixel(blur, 1, 0, 0), 85);
    EXPECT_EQ(pixel(blur, 1, 0, 1), 170);

    // The vertical pass runs first and is clamped before the horizontal one.
    const ClipPtr mixed = picture({{{10, 200, 10, 40}, {200, 10, 120, 40}, {60, 60, 250, 40}, {0, 90, 30, 40}}},
                                  {{{128, 128}, {128, 128}}});
    const auto out = f::sharpen(mixed, 1, 1)->frame(0);
    const std::array<std::array<std::uint8_t, 4>, 4> expected{
        {{0, 255, 0, 60}, {255, 0, 200, 5}, {0, 3, 255, 0}, {0, 210, 0, 60}}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(pixel(out, 0, x, y), expected[y][x]) << x << "," << y;

    for (double bad : {1.01, -1.6}) {
        try {
            f::sharpen(mixed, bad, bad);
            FAIL() << bad;
        } catch (const engine::Error &e) {
            EXPECT_STREQ(e.what(), "arguments must be in the range -1.58 to 1.0");
        }
    }
}

// Rows long enough for the blocked inner loops and their tails (widths
// around multiples of 16, odd chroma sizes) agree with the kernel worked
// out pixel by pixel, as the reference defines it.
TEST(Sharpen, WideRowsMatchThePixelByPixelKernel)
{
    const auto expected = [](const std::vector<std::vector<int>> &in, double amountH, double amountV) {
        const auto kernel = [](double amount, int p, int sides) {
            if (std::fabs(amount) < 0.00002)
                return p;
            const int a = static_cast<int>(32768.0 * std::pow(2.0, amount) + 0.5);
            return std::clamp((2 * a * p + (32768 - a) * sides + 32768) >> 16, 0, 255);
        };
        const int h = static_cast<int>(in.size());
        const int w = static_cast<int>(in[0].size());
        std::vector<std::vector<int>> v(in), out(in);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                v[y][x] = kernel(amountV, in[y][x], in[std::max(y - 1, 0)][x] + in[std::min(y + 1, h - 1)][x]);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                out[y][x] = kernel(amountH, v[y][x], v[y][std::max(x - 1, 0)] + v[y][std::min(x + 1, w - 1)]);
        return out;
    };
    for (const int width : {1, 2, 15, 16, 17, 18, 33, 35, 50}) {
        testclips::Shape s;
        s.frames = 1;
        s.width = width;
        s.height = 5;
        const auto noise = [](std::int64_t, int p, int x, int y) {
            return static_cast<std::uint8_t>((x * 73 + y * 151 + p * 29 + x * y * 7) % 256);
        };
        const ClipPtr in = testclips::make(s, noise);
        for (const auto &[h, v] : {std::pair{1.0, 1.0}, {0.5, 0.5}, {-1.58, -1.58}, {0.3, 0.0}, {0.0, -0.7}}) {
            const auto out = f::sharpen(in, h, v)->frame(0);
            for (int p = 0; p < 3; ++p) {
                const int pw = p == 0 ? width : (width + 1) / 2;
                const int ph = p == 0 ? 5 : 3;
                std::vector<std::vector<int>> plane(static_cast<std::size_t>(ph), std::vector<int>(static_cast<std::size_t>(pw)));
                for (int y = 0; y < ph; ++y)
                    for (int x = 0; x < pw; ++x)
                        plane[y][x] = noise(0, p, x, y);
                const auto want = expected(plane, h, v);
                for (int y = 0; y < ph; ++y)
                    for (int x = 0; x < pw; ++x)
                        ASSERT_EQ(pixel(out, p, x, y), want[y][x])
                            << "width " << width << " plane " << p << " at " << x << "," << y << " amounts " << h << "," << v;
            }
        }
    }
}

ClipPtr flatClip(std::int64_t frames, std::uint8_t y, float sound)
{
    testclips::Shape s;
    s.frames = frames;
    s.width = 4;
    s.height = 2;
    return testclips::make(s, testclips::flat(y), [sound](std::int64_t, int) { return sound; });
}

TEST(Dissolve, PictureWeightsTruncateTowardZero)
{
    // Overlap 3: weights 1/4, 2/4, 3/4 of the second clip, never 0 or 1.
    const auto up = f::dissolve(flatClip(5, 0, 0), flatClip(5, 200, 0), 3);
    const auto down = f::dissolve(flatClip(5, 200, 0), flatClip(5, 0, 0), 3);
    ASSERT_EQ(up->info().frameCount, 7);
    const std::vector<int> upExpected{0, 0, 50, 100, 150, 200, 200};
    const std::vector<int> downExpected{200, 200, 151, 101, 51, 0, 0};
    for (int n = 0; n < 7; ++n) {
        EXPECT_EQ(pixel(up->frame(n), 0, 1, 1), upExpected[static_cast<std::size_t>(n)]) << n;
        EXPECT_EQ(pixel(down->frame(n), 0, 1, 1), downExpected[static_cast<std::size_t>(n)]) << n;
    }
}

TEST(Fades, BlackFrameAndRampWeights)
{
    // Y 216 is 200 above black (16); n = 3 gives k/4 steps.
    const auto in = f::fadeIn(flatClip(6, 216, 1.0f), 3);
    const std::vector<int> inExpected{16, 66, 116, 166, 216, 216, 216};
    for (int n = 0; n < 7; ++n)
        EXPECT_EQ(pixel(in->frame(n), 0, 0, 0), inExpected[static_cast<std::size_t>(n)]) << n;
    EXPECT_EQ(pixel(in->frame(0), 1, 0, 0), 128);

    const auto out = f::fadeOut(flatClip(6, 216, 1.0f), 3);
    // 216 + (-200*m + 1)/4 truncates toward zero: 167, not 166.
    const std::vector<int> outExpected{216, 216, 216, 167, 117, 67, 16};
    for (int n = 0; n < 7; ++n)
        EXPECT_EQ(pixel(out->frame(n), 0, 0, 0), outExpected[static_cast<std::size_t>(n)]) << n;
}

std::vector<float> readAudio(const ClipPtr &clip, std::int64_t start, std::int64_t count)
{
    std::vector<float> out(static_cast<std::size_t>(count * clip->info().channels));
    clip->audio(start, count, out);
    return out;
}

TEST(Dissolve, AudioJoinAndCrossFade)
{
    // Plain join: clip 1's audio cut (longer) or padded (shorter) at S(N1) = 2133.
    testclips::Shape longer;
    longer.frames = 1;
    longer.width = 4;
    longer.height = 2;
    longer.samples = 5000;
    testclips::Shape shorter = longer;
    shorter.samples = 2000;
    const ClipPtr second = flatClip(2, 0, -1.0f);
    for (const auto &shape : {longer, shorter}) {
        const ClipPtr join = f::dissolve(testclips::make(shape), second, 0);
        ASSERT_EQ(join->info().sampleCount, 2133 + second->info().sampleCount);
        const auto a = readAudio(join, 1999, 135);
        EXPECT_EQ(a[0], testclips::rampSample(1999, 0));
        EXPECT_EQ(a[2 * 1], shape.samples > 2000 ? testclips::rampSample(2000, 0) : 0.0f);
        EXPECT_EQ(a[2 * 134], -1.0f); // sample 2133 is the second clip's first
        EXPECT_EQ(a[2 * 133], shape.samples > 2000 ? testclips::rampSample(2132, 0) : 0.0f);
    }

    // Overlap 1 frame: 2133 samples fade linearly from clip 1 (1.0) to clip 2 (0.0).
    const auto fade = f::dissolve(flatClip(2, 0, 1.0f), flatClip(2, 0, 0.0f), 1);
    ASSERT_EQ(fade->info().sampleCount, 2133 + 4266);
    const auto a = readAudio(fade, 2131, 2136);
    EXPECT_EQ(a[0], 1.0f);                            // 2131: before the fade
    EXPECT_NEAR(a[2 * 2], 1.0f, 1e-3f);               // 2133: first faded sample
    EXPECT_NEAR(a[2 * 1068], 0.5f, 1e-3f);            // the middle
    EXPECT_EQ(a[2 * 2134], 0.0f);                     // 4265: the last is clip 2's
}

TEST(AudioFilters, DelayShiftsBySamples)
{
    testclips::Shape s;
    s.frames = 3;
    const ClipPtr clip = testclips::make(s);

    const auto delayed = readAudio(f::delayAudio(clip, 0.001), 0, 34); // 32 samples
    EXPECT_EQ(delayed[2 * 31], 0.0f);
    EXPECT_EQ(delayed[2 * 32], testclips::rampSample(0, 0));
    const auto early = readAudio(f::delayAudio(clip, -0.001), 0, 1);
    // -32 + 0.5 = -31.5 truncates toward zero: 31 samples cut, not 32.
    EXPECT_EQ(early[0], testclips::rampSample(31, 0));
}

TEST(AudioFilters, GetChannelAndAmplify)
{
    testclips::Shape s;
    s.frames = 3;
    const ClipPtr clip = testclips::make(s);
    for (int ch : {1, 2}) {
        const auto both = readAudio(f::getChannel(clip, {ch, ch}), 10, 1);
        ASSERT_EQ(both.size(), 2u);
        EXPECT_EQ(both[0], testclips::rampSample(10, ch - 1));
        EXPECT_EQ(both[1], testclips::rampSample(10, ch - 1));
    }
    EXPECT_THROW(f::getChannel(clip, {3, 3}), engine::Error);
    testclips::Shape silent = s;
    silent.audio = false;
    EXPECT_THROW(f::getChannel(testclips::make(silent), {1, 1}), engine::Error);

    // Float gain without clipping here; 0 silences.
    const auto loud = readAudio(f::amplify(clip, {1.5}), 100, 1);
    EXPECT_EQ(loud[0], 1.5f * testclips::rampSample(100, 0));
    EXPECT_EQ(loud[1], 1.5f * testclips::rampSample(100, 1));
    EXPECT_EQ(readAudio(f::amplify(clip, {0.0}), 5, 1)[1], 0.0f);
}

} // namespace
