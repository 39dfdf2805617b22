// Frame and sample counts of the joining and trimming filters, at 15 fps
// and 32000 Hz where S(f) = floor(f * 32000 / 15).

#include "lang_test_clips.h"

#include "filters/filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <span>
#include <vector>

namespace {

using engine::ClipPtr;
namespace f = engine::filters;

// 125.3 s of video at 15 fps: 1880 frames, 4009600 samples of its own.
ClipPtr mainClip()
{
    testclips::Shape s;
    s.frames = 1880;
    s.samples = 4009600;
    return testclips::make(s);
}

// The image intro: 46 frames without audio, dubbed with 3 s of silence.
ClipPtr introClip()
{
    testclips::Shape s;
    s.frames = 46;
    s.audio = false;
    return f::audioDub(testclips::make(s), f::tone(3, 0, 32000, 2, "Silence", 1.0));
}

ClipPtr shortClip(std::int64_t frames)
{
    testclips::Shape s;
    s.frames = frames;
    return testclips::make(s);
}

struct CountCase
{
    const char *name;
    std::function<ClipPtr()> build;
    std::int64_t frames;
    std::int64_t samples;
};

class Counts : public testing::TestWithParam<CountCase>
{
};

TEST_P(Counts, MatchTheLanguage)
{
    const ClipPtr clip = GetParam().build();
    EXPECT_EQ(clip->info().frameCount, GetParam().frames);
    EXPECT_EQ(clip->info().sampleCount, GetParam().samples);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, Counts,
    testing::Values(
        CountCase{"TrimToEnd", [] { return f::trim(mainClip(), 0, 120 * 15); }, 1801, 3842133},
        CountCase{"TrimZeroIsWholeClipWithPaddedAudio", [] { return f::trim(mainClip(), 0, 0); }, 1880, 4010666},
        CountCase{"TrimNegativeIsLength", [] { return f::trim(mainClip(), 10, -5); }, 5, 10667},
        CountCase{"TrimFirstAfterLastIsOneFrame", [] { return f::trim(mainClip(), 100, 50); }, 1, 2133},
        CountCase{"TrimFirstPastEndIsLastFrame", [] { return f::trim(mainClip(), 5000, 6000); }, 1, 2133},
        CountCase{"TrimNegativeFirstClamps", [] { return f::trim(mainClip(), -5, 3); }, 4, 8533},
        CountCase{"TrimPastEndClamps", [] { return f::trim(mainClip(), 1800, 5000); }, 80, 170666},
        CountCase{"TrimWithoutPadKeepsShortAudio", [] { return f::trim(mainClip(), 1800, 0, false); }, 80, 169600},
        CountCase{"ToneSilence", [] { return f::tone(3, 0, 32000, 2, "Silence", 1.0); }, 0, 96000},
        CountCase{"ToneRoundsHalfUp", [] { return f::tone(2.5, 440, 44101, 1, "sine", 1.0); }, 0, 110253},
        CountCase{"IntroDub", introClip, 46, 96000},
        CountCase{"PlainJoinPadsIntroAudio", [] { return f::dissolve(introClip(), mainClip(), 0); }, 1926, 4107733},
        CountCase{"FadeInAddsBlackFrame",
                  [] { return f::fadeIn(f::dissolve(introClip(), mainClip(), 0), 30); }, 1927, 4109866},
        CountCase{"FadeInThenTrim",
                  [] { return f::trim(f::fadeIn(f::dissolve(introClip(), mainClip(), 0), 30), 0, (120 + 3) * 15); },
                  1846, 3938133},
        // FadeIO over the joined intro: a black frame at each end; the
        // fade-out keeps the joined audio only up to S(N - n).
        CountCase{"FadeIOOnJoinedIntro",
                  [] { return f::fadeIO(f::dissolve(introClip(), mainClip(), 0), 30); }, 1928, 4113066},
        CountCase{"FadeIOOnJoinedIntroThenTrim",
                  [] { return f::trim(f::fadeIO(f::dissolve(introClip(), mainClip(), 0), 30), 0, (120 + 3) * 15); },
                  1846, 3938133},
        CountCase{"FadeInZero", [] { return f::fadeIn(mainClip(), 0); }, 1881, 4011733},
        CountCase{"FadeOutDropsAudioPastVideo", [] { return f::fadeOut(mainClip(), 30); }, 1881, 4012799},
        CountCase{"FadeIO", [] { return f::fadeIO(mainClip(), 30); }, 1882, 4014933},
        CountCase{"DissolveOverlap", [] { return f::dissolve(introClip(), mainClip(), 15); }, 1911, 4075733},
        CountCase{"DissolveOverlapLongerThanFirst", [] { return f::dissolve(shortClip(10), mainClip(), 15); }, 1880,
                  4009600},
        CountCase{"DissolveOverlapEqualToFirst", [] { return f::dissolve(shortClip(10), mainClip(), 10); }, 1880,
                  4009600},
        CountCase{"DissolveOverlapLongerThanFirstIntro",
                  [] { return f::dissolve(introClip(), mainClip(), 60); }, 1880, 4009600},
        CountCase{"TrimFirstAtEndIsLastFrame", [] { return f::trim(mainClip(), 1880, 0); }, 1, 2133},
        CountCase{"TrimFirstPastEndNegativeLast", [] { return f::trim(mainClip(), 1900, -10); }, 1, 2133},
        CountCase{"DelayPositive", [] { return f::delayAudio(mainClip(), 0.5); }, 1880, 4025600},
        CountCase{"DelayNegativeTruncates", [] { return f::delayAudio(mainClip(), -0.5); }, 1880, 3993601},
        CountCase{"Reverse", [] { return f::reverse(mainClip(), VELMORA_TEST_TMP); }, 1880, 4009600}),
    [](const testing::TestParamInfo<CountCase> &p) { return std::string(p.param.name); });

} // namespace

// Reads that reach outside [0, S) get zeros there and the clip's own samples
// inside, whatever the buffer held before; a clip without audio reads as
// zeros throughout.
namespace {

TEST(ClipAudio, OutsideTheClipReadsAsZerosInsideAsTheClip)
{
    testclips::Shape s;
    s.frames = 3;
    s.samples = 10;
    const ClipPtr clip = testclips::make(s);
    std::vector<float> out(2 * 16, -7.0f);
    clip->audio(-3, 16, out);
    for (std::int64_t i = -3; i < 13; ++i)
        for (int c = 0; c < 2; ++c) {
            const float want = i >= 0 && i < 10 ? testclips::rampSample(i, c) : 0.0f;
            EXPECT_EQ(out[static_cast<std::size_t>((i + 3) * 2 + c)], want) << "sample " << i << " channel " << c;
        }

    std::fill(out.begin(), out.end(), -7.0f);
    clip->audio(12, 4, std::span<float>(out).first(8));
    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 8, [](float v) { return v == 0.0f; }));
    EXPECT_EQ(out[8], -7.0f); // nothing written past the request

    s.audio = false;
    const ClipPtr silent = testclips::make(s);
    std::vector<float> none(4, -7.0f);
    silent->audio(0, 4, none);
    EXPECT_TRUE(std::all_of(none.begin(), none.end(), [](float v) { return v == 0.0f; }));
}

} // namespace
