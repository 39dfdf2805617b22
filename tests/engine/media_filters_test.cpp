// BicubicResize, ResampleAudio, ConvertToYV12 and the stream writers'
// rules, on synthetic in-memory clips.

#include "clip/error.h"
#include "pipeline/media_filters.h"
#include "pipeline/stream_writers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

using namespace engine;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Flat grey pictures and a stereo sine: left at `hz`, right its negation.
class SyntheticClip final : public Clip
{
public:
    SyntheticClip(int width, int height, std::int64_t frames, int rate, std::int64_t samples, double hz = 1000.0)
        : m_hz(hz)
    {
        m_info.hasVideo = true;
        m_info.width = width;
        m_info.height = height;
        m_info.fpsNum = 15;
        m_info.frameCount = frames;
        m_info.hasAudio = rate > 0;
        m_info.sampleRate = rate;
        m_info.channels = 2;
        m_info.sampleCount = samples;
    }

protected:
    FrameRef frameAt(std::int64_t) override
    {
        auto f = makeFrame(m_info.width, m_info.height);
        for (int p = 0; p < 3; ++p) {
            const int h = p ? (m_info.height + 1) / 2 : m_info.height;
            for (int y = 0; y < h; ++y)
                std::memset(f->data[p] + y * f->linesize[p], p ? 128 : 120, static_cast<std::size_t>(f->linesize[p]));
        }
        return f;
    }

    void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) override
    {
        for (std::int64_t i = 0; i < count; ++i) {
            const auto v = static_cast<float>(
                0.5 * std::sin(2 * kPi * m_hz * static_cast<double>(start + i) / m_info.sampleRate));
            out[static_cast<std::size_t>(2 * i)] = v;
            out[static_cast<std::size_t>(2 * i + 1)] = -v;
        }
    }

private:
    double m_hz;
};

struct SizeCase
{
    int srcW, srcH, outW, outH; // out = what BicubicResize(256, 256*H/W) must give
};

class ResizeSizes : public ::testing::TestWithParam<SizeCase>
{
};

// The converter asks for 256 x (256*H div W); odd results drop to the even
// size below instead of failing.
TEST_P(ResizeSizes, GivesTheEvenSizeAtOrBelowTheRequest)
{
    const SizeCase c = GetParam();
    auto src = std::make_shared<SyntheticClip>(c.srcW, c.srcH, 3, 0, 0);
    ClipPtr resized = bicubicResize(src, 256, 256 * c.srcH / c.srcW);
    EXPECT_EQ(resized->info().width, c.outW);
    EXPECT_EQ(resized->info().height, c.outH);
    FrameRef f = resized->frame(1);
    EXPECT_EQ(f->width, c.outW);
    EXPECT_EQ(f->height, c.outH);
    // A flat picture stays flat at the same level.
    EXPECT_NEAR(f->data[0][(c.outH / 2) * f->linesize[0] + c.outW / 2], 120, 1);
    EXPECT_NEAR(f->data[1][(c.outH / 4) * f->linesize[1] + c.outW / 4], 128, 1);
}

INSTANTIATE_TEST_SUITE_P(Media, ResizeSizes,
                         ::testing::Values(SizeCase{320, 240, 256, 192}, SizeCase{720, 480, 256, 170},
                                           SizeCase{352, 288, 256, 208}, SizeCase{176, 144, 256, 208},
                                           SizeCase{854, 480, 256, 142}, SizeCase{1920, 1080, 256, 144},
                                           SizeCase{33, 25, 256, 192}));

TEST(BicubicResize, SizesThatLeaveNothingAreErrors)
{
    auto src = std::make_shared<SyntheticClip>(64, 48, 3, 0, 0);
    EXPECT_THROW(bicubicResize(src, 256, 1), Error);
    EXPECT_THROW(bicubicResize(src, 0, 100), Error);
}

TEST(ConvertToYV12, KeepsEvenClipsAndTrimsOddOnes)
{
    auto even = std::make_shared<SyntheticClip>(64, 48, 3, 0, 0);
    EXPECT_EQ(convertToYv12(even), even);
    auto odd = std::make_shared<SyntheticClip>(65, 49, 3, 0, 0);
    ClipPtr c = convertToYv12(odd);
    EXPECT_EQ(c->info().width, 64);
    EXPECT_EQ(c->info().height, 48);
    EXPECT_EQ(c->frame(0)->height, 48);
}

struct RateCase
{
    int from;
    std::int64_t samples;
    int to;
    std::int64_t expected; // (S * to + from / 2) div from
};

class ResampleCounts : public ::testing::TestWithParam<RateCase>
{
};

TEST_P(ResampleCounts, RoundTheNewSampleCount)
{
    const RateCase c = GetParam();
    auto src = std::make_shared<SyntheticClip>(16, 16, 1, c.from, c.samples);
    EXPECT_EQ(resampleAudio(src, c.to)->info().sampleCount, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Media, ResampleCounts,
                         ::testing::Values(RateCase{44100, 88200, 32000, 64000}, RateCase{48000, 1, 32000, 1},
                                           RateCase{8000, 16000, 44100, 88200}, RateCase{44100, 3, 32000, 2},
                                           RateCase{22050, 12345, 48000, 26873}));

TEST(ResampleAudio, SameRateOrNoAudioReturnsTheClipItself)
{
    auto src = std::make_shared<SyntheticClip>(16, 16, 1, 32000, 1000);
    EXPECT_EQ(resampleAudio(src, 32000), src);
    auto silent = std::make_shared<SyntheticClip>(16, 16, 1, 0, 0);
    EXPECT_EQ(resampleAudio(silent, 32000), silent);
}

// A 1 kHz tone stays a 1 kHz tone with its level, and a read that starts
// somewhere else gives the same samples as reading straight through.
TEST(ResampleAudio, KeepsPitchLevelAndPosition)
{
    auto src = std::make_shared<SyntheticClip>(16, 16, 1, 44100, 44100);
    ClipPtr out = resampleAudio(src, 32000);
    ASSERT_EQ(out->info().sampleCount, 32000);
    std::vector<float> all(32000 * 2);
    for (std::int64_t pos = 0; pos < 32000; pos += 1000)
        out->audio(pos, 1000, std::span<float>(all).subspan(static_cast<std::size_t>(pos * 2), 2000));
    int crossings = 0;
    float peak = 0;
    for (std::size_t i = 2 * 1000; i < 2 * 31000; i += 2) {
        crossings += (all[i] < 0) != (all[i + 2] < 0);
        peak = std::max(peak, std::fabs(all[i]));
        ASSERT_NEAR(all[i], -all[i + 1], 1e-4);
    }
    EXPECT_NEAR(crossings, 2 * 1000 * 30000 / 32000, 4); // 2 per cycle over 30000 samples
    EXPECT_NEAR(peak, 0.5f, 0.02f);

    ClipPtr fresh = resampleAudio(src, 32000);
    std::vector<float> part(500 * 2);
    fresh->audio(20000, 500, part);
    for (std::size_t i = 0; i < part.size(); ++i)
        ASSERT_NEAR(part[i], all[20000 * 2 + i], 0.002f) << "sample " << i / 2;
}

struct BitrateCase
{
    int rate;
    int asked;
    int expected;
};

class Mp2Bitrates : public ::testing::TestWithParam<BitrateCase>
{
};

TEST_P(Mp2Bitrates, AreMovedToTheNearestAllowedRate)
{
    const BitrateCase c = GetParam();
    EXPECT_EQ(Mp2AudioWriter::nearestBitrate(c.rate, c.asked), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Media, Mp2Bitrates,
    ::testing::Values(BitrateCase{44100, 448, 384}, BitrateCase{48000, 384, 384}, BitrateCase{32000, 32, 32},
                      BitrateCase{32000, 100, 96}, BitrateCase{44100, 40, 32}, BitrateCase{48000, 288, 256},
                      BitrateCase{22050, 192, 160}, BitrateCase{16000, 448, 160}, BitrateCase{16000, 32, 32},
                      BitrateCase{24000, 136, 128}, BitrateCase{22050, 4, 8}));

TEST(Mp2AudioWriter, RefusesRatesLayerTwoCannotCarryAndNamesTheGoodOnes)
{
    for (const int rate : {8000, 11250, 11025, 96000}) {
        try {
            Mp2AudioWriter::nearestBitrate(rate, 128);
            FAIL() << rate;
        } catch (const Error &e) {
            EXPECT_NE(std::string(e.what()).find("16000, 22050, 32000, 44100 or 48000"), std::string::npos);
            EXPECT_NE(std::string(e.what()).find(std::to_string(rate)), std::string::npos);
        }
    }
}

TEST(Mp2AudioWriter, FloatToSixteenBitsClips)
{
    EXPECT_EQ(toS16(0.0f), 0);
    EXPECT_EQ(toS16(0.5f), 16384);
    EXPECT_EQ(toS16(-1.0f), -32768);
    EXPECT_EQ(toS16(1.0f), 32767);
    EXPECT_EQ(toS16(3.7f), 32767);
    EXPECT_EQ(toS16(-2.0f), -32768);
}

} // namespace
