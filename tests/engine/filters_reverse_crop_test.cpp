// Reverse (through a temporary file) and AutoCrop on synthetic clips.

#include "lang_test_clips.h"

#include "filters/filters.h"
#include "filters/register.h"
#include "script/script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

using engine::ClipPtr;
using testclips::pixel;
namespace f = engine::filters;
namespace fs = std::filesystem;

fs::path freshFolder(const char *name)
{
    const fs::path dir = fs::path(VELMORA_TEST_TMP) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

TEST(Reverse, LongClipComesBackInOrderWithoutLeavingFiles)
{
    const fs::path dir = freshFolder("reverse-long");
    testclips::Shape s;
    s.frames = 3000;
    s.width = 18;
    s.height = 6;
    s.samples = 6400123; // longer than the video: the overhang comes first
    const auto source = testclips::make(s);
    {
        const ClipPtr rev = f::reverse(source, dir.string() + "/");
        ASSERT_EQ(rev->info().frameCount, 3000);
        for (std::int64_t n = 0; n < 3000; n += 7) {
            const auto fr = rev->frame(n);
            for (int p = 0; p < 3; ++p)
                ASSERT_EQ(pixel(fr, p, 5, 2), testclips::defaultPaint(2999 - n, p, 5, 2)) << n;
        }
        // The source is read once, first to last, whatever order we ask in.
        ASSERT_EQ(source->requested.size(), 3000u);
        for (std::size_t i = 0; i < source->requested.size(); ++i)
            ASSERT_EQ(source->requested[i], static_cast<std::int64_t>(i));

        std::vector<float> a(2 * 4);
        rev->audio(0, 4, a);
        EXPECT_EQ(a[0], testclips::rampSample(6400122, 0));
        EXPECT_EQ(a[1], testclips::rampSample(6400122, 1));
        EXPECT_EQ(a[6], testclips::rampSample(6400119, 0));
        rev->audio(6400121, 4, a); // the last two, then zeros past the end
        EXPECT_EQ(a[0], testclips::rampSample(1, 0));
        EXPECT_EQ(a[3], testclips::rampSample(0, 1));
        EXPECT_EQ(a[4], 0.0f);
        EXPECT_TRUE(fs::is_empty(dir));
    }
    EXPECT_TRUE(fs::is_empty(dir));
    fs::remove(dir);
}

TEST(Reverse, UnwritableFolderIsAnError)
{
    testclips::Shape s;
    const ClipPtr rev = f::reverse(testclips::make(s), std::string(VELMORA_TEST_TMP) + "/no-such-folder/");
    EXPECT_THROW(rev->frame(0), engine::Error);
}

// The first pull reads the whole input: it reports every frame as done
// work and gives up at the next frame once the pass asks it to stop.
TEST(Reverse, FirstPullReportsProgressAndStopsWhenAsked)
{
    testclips::Shape s;
    s.frames = 500;
    const auto source = testclips::make(s);
    const ClipPtr rev = f::reverse(source, VELMORA_TEST_TMP);
    auto work = std::make_shared<engine::WorkControl>();
    rev->adoptControl(work);
    std::vector<std::int64_t> seen;
    work->setListener([&] {
        seen.push_back(work->workDone());
        EXPECT_EQ(work->workTotal(), 500);
        if (seen.size() == 120)
            work->requestStop();
    });
    EXPECT_THROW(rev->frame(0), engine::Stopped);
    EXPECT_EQ(source->requested.size(), 120u); // not one frame more
    ASSERT_EQ(seen.size(), 120u);
    for (std::size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], static_cast<std::int64_t>(i + 1));
}

TEST(Reverse, AudioReadReportsSamplesAndStopsBetweenChunks)
{
    testclips::Shape s;
    s.frames = 10;
    s.samples = 300000;
    const ClipPtr rev = f::reverse(testclips::make(s), VELMORA_TEST_TMP);
    auto work = std::make_shared<engine::WorkControl>();
    rev->adoptControl(work);
    std::vector<std::int64_t> done;
    work->setListener([&] { done.push_back(work->workDone()); });
    std::vector<float> a(2 * 4);
    rev->audio(0, 4, a);
    EXPECT_EQ(a[0], testclips::rampSample(299999, 0));
    EXPECT_EQ(work->workTotal(), 300000);
    ASSERT_FALSE(done.empty());
    EXPECT_EQ(done.back(), 300000);
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    EXPECT_GT(done.size(), 2u); // in several steps, not one

    // A stop asked for before the read begins ends it at the first step.
    const ClipPtr again = f::reverse(testclips::make(s), VELMORA_TEST_TMP);
    auto stopped = std::make_shared<engine::WorkControl>();
    stopped->requestStop();
    again->adoptControl(stopped);
    EXPECT_THROW(again->audio(0, 4, a), engine::Stopped);
}

// Every clip a script makes carries that script's control, so the pass can
// reach a Reverse deep inside the graph through the clip it is given.
TEST(Reverse, ScriptClipsShareTheScriptsControl)
{
    engine::script::FunctionTable table;
    f::registerFilterFunctions(table);
    table.add({"Make", {{"", engine::script::ArgType::Int}}, [](const engine::script::CallArgs &a) -> engine::script::Value {
                   testclips::Shape s;
                   s.frames = a.integer(0);
                   return ClipPtr(testclips::make(s));
               }});
    engine::script::EvalContext context;
    context.scriptFolder = std::string(VELMORA_TEST_TMP) + "/";
    context.control = std::make_shared<engine::WorkControl>();
    const ClipPtr clip =
        engine::script::runScript("a = Reverse(Make(40))\r\nc = Trim(a,0,9)\r\nFadeIn(c,3)\r\n", table, context);
    EXPECT_EQ(clip->control(), context.control);
    context.control->requestStop();
    EXPECT_THROW(clip->frame(5), engine::Stopped); // frame 0 is FadeIn's black one

    // Without a control of the caller's, the run makes its own.
    engine::script::EvalContext plain;
    plain.scriptFolder = context.scriptFolder;
    const ClipPtr own = engine::script::runScript("Reverse(Make(5))", table, plain);
    ASSERT_NE(own->control(), nullptr);
    EXPECT_EQ(own->frame(0)->width, 16);
}

// 64x48 letterbox: content (Y `level`) inside [left, right] x [top, bottom],
// black (16) elsewhere.
ClipPtr letterbox(int left, int top, int right, int bottom, std::uint8_t level = 200, std::int64_t frames = 100)
{
    testclips::Shape s;
    s.frames = frames;
    s.width = 64;
    s.height = 48;
    return testclips::make(s, [=](std::int64_t, int p, int x, int y) -> std::uint8_t {
        if (p != 0)
            return 128;
        return (x >= left && x <= right && y >= top && y <= bottom) ? level : 16;
    });
}

f::AutoCropSettings writerSettings()
{
    f::AutoCropSettings s;
    s.wMultOf = 4;
    s.hMultOf = 4;
    s.samples = 10;
    s.threshold = 34;
    return s;
}

struct CropCase
{
    const char *name;
    std::function<ClipPtr()> clip;
    int left, top, width, height;
};

class AutoCrop : public testing::TestWithParam<CropCase>
{
};

TEST_P(AutoCrop, FindsTheWindow)
{
    const CropCase &c = GetParam();
    const ClipPtr out = f::autoCrop(c.clip(), writerSettings());
    const std::optional<f::CropRect> r = f::detectCrop(*c.clip(), writerSettings());
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->left, c.left);
    EXPECT_EQ(r->top, c.top);
    EXPECT_EQ(r->width, c.width);
    EXPECT_EQ(r->height, c.height);
    EXPECT_EQ(out->info().width, c.width);
    EXPECT_EQ(out->info().height, c.height);
    EXPECT_EQ(out->frame(50)->width, c.width);
    EXPECT_EQ(out->info().frameCount, 100);
}

// Row averages over 64 columns: a row of 16 content pixels at level L over
// black averages (16*L + 48*16)/64 = L/4 + 12. L = 88 gives exactly 34.
INSTANTIATE_TEST_SUITE_P(
    Cases, AutoCrop,
    testing::Values(
        CropCase{"Letterbox", [] { return letterbox(0, 8, 63, 39); }, 0, 8, 64, 32},
        CropCase{"RemainderOffRightAndBottom", [] { return letterbox(4, 8, 60, 40); }, 4, 8, 56, 32},
        CropCase{"OddStartShifts", [] { return letterbox(5, 9, 60, 40); }, 6, 10, 56, 32},
        CropCase{"ThresholdIsInclusive", [] { return letterbox(24, 8, 39, 39, 88); }, 24, 8, 16, 32},
        CropCase{"OneBelowThresholdIsDark",
                 [] {
                     testclips::Shape s;
                     s.width = 64;
                     s.height = 48;
                     // Rows 2..4 average 33 (one short of content); 8..39 are content.
                     return testclips::make(s, [](std::int64_t, int p, int, int y) -> std::uint8_t {
                         return p ? 128 : (y >= 2 && y <= 4) ? 33 : (y >= 8 && y <= 39) ? 200 : 16;
                     });
                 },
                 0, 8, 64, 32},
        CropCase{"LonelyBrightLinesDoNotCount",
                 [] {
                     testclips::Shape s;
                     s.width = 64;
                     s.height = 48;
                     // Two bright rows (1, 2) and a gap: not a run of three.
                     return testclips::make(s, [](std::int64_t, int p, int, int y) -> std::uint8_t {
                         return p ? 128 : (y == 1 || y == 2 || (y >= 8 && y <= 39)) ? 200 : 16;
                     });
                 },
                 0, 8, 64, 32},
        CropCase{"RunOfThreeCounts",
                 [] {
                     testclips::Shape s;
                     s.width = 64;
                     s.height = 48;
                     return testclips::make(s, [](std::int64_t, int p, int, int y) -> std::uint8_t {
                         return p ? 128 : ((y >= 2 && y <= 4) || (y >= 8 && y <= 41)) ? 200 : 16;
                     });
                 },
                 0, 2, 64, 40},
        CropCase{"UnionOverSampledFrames",
                 [] {
                     testclips::Shape s;
                     s.width = 64;
                     s.height = 48;
                     // Frame 10 (the first sampled) reaches higher than the rest.
                     return testclips::make(s, [](std::int64_t n, int p, int, int y) -> std::uint8_t {
                         return p ? 128 : (y >= (n == 10 ? 4 : 12) && y <= 35) ? 200 : 16;
                     });
                 },
                 0, 4, 64, 32}),
    [](const testing::TestParamInfo<CropCase> &p) { return std::string(p.param.name); });

TEST(AutoCropDark, AllDarkKeepsThePicture)
{
    const ClipPtr dark = letterbox(0, 0, -1, -1);
    EXPECT_FALSE(f::detectCrop(*dark, writerSettings()).has_value());
    EXPECT_EQ(f::autoCrop(dark, writerSettings()), dark);
}

TEST(AutoCropDark, OnlyWhenAPassWillRun)
{
    engine::script::FunctionTable table;
    engine::filters::registerFilterFunctions(table);
    table.add({"Letterbox", {}, [](const engine::script::CallArgs &) -> engine::script::Value {
                   return letterbox(0, 8, 63, 39);
               }});
    const char *text = "loadplugin(\"C:\\Conv\\AutoCrop.dll\")\r\n"
                       "a = Letterbox()\r\n"
                       "AutoCrop(a,mode=0,wmultof=4,hmultof=4,samples=10,aspect=0,threshold=34,samplestartframe=0)\r\n";
    engine::script::EvalContext probe;
    EXPECT_EQ(engine::script::runScript(text, table, probe)->info().height, 48);
    engine::script::EvalContext pass;
    pass.use = engine::script::ScriptUse::VideoPass;
    EXPECT_EQ(engine::script::runScript(text, table, pass)->info().height, 32);
}

} // namespace
