// What the script files cannot show: the language's limits and line ends,
// Sharpen's blocked loops against the kernel worked out pixel by pixel,
// Reverse's spill file, progress and stop, and AutoCrop's window.

#include "support/scratch.h"
#include "support/script_table.h"
#include "support/synthetic_clip.h"

#include "filters/filters.h"
#include "script/script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
namespace f = engine::filters;
using engine::ClipPtr;
using engine::script::ScriptError;
using support::pixel;
using support::synthetic;

engine::script::Value eval(const std::string &text, engine::script::ScriptUse use = engine::script::ScriptUse::Probe)
{
    static const engine::script::FunctionTable table = support::scriptTableWithFakeSources(support::scriptTestHelpers());
    engine::script::EvalContext context;
    context.scriptFolder = std::string(VELMORA_TEST_TMP) + "/";
    context.use = use;
    return engine::script::evaluateScript(text, table, context);
}

int errorLine(const std::string &text)
{
    try {
        eval(text);
    } catch (const ScriptError &e) {
        return e.line();
    }
    return 0;
}

std::string repeated(const std::string &piece, int times)
{
    std::string s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

TEST(Language, LinesEndInLfCrLfOrCrAloneAndTextsMayHoldThem)
{
    for (const char *end : {"\n", "\r\n", "\r"})
        EXPECT_EQ(errorLine(std::string("a = 1") + end + "b = a" + end + "c = Nope(b)"), 3) << int(end[0]);
    EXPECT_EQ(errorLine("a = 1\r\nb = a\nc = Nope(b)"), 3);
    EXPECT_EQ(eval("\"a\r\nb\""), engine::script::Value(std::string("a\r\nb")));
    EXPECT_EQ(errorLine("x = \"a\r\nb\"\r\nNope(1)"), 3);
}

// Expressions and chains are bounded: too deep is an error, never a crash
// (evaluating or freeing the tree recurses that deep); sane lengths run.
TEST(Language, DeepNestingAndLongChainsAreErrorsNotCrashes)
{
    EXPECT_THROW(eval(std::string(100000, '(') + "1" + std::string(100000, ')')), ScriptError);
    EXPECT_THROW(eval("x = " + std::string(100000, '-') + "1"), ScriptError);
    EXPECT_EQ(eval("x = 1" + repeated("+1", 299) + "\nWhole(x)"), engine::script::Value(300));
    EXPECT_EQ(std::get<ClipPtr>(eval("Synth(frames=1)" + repeated(".FadeIn(0)", 20)))->info().frameCount, 21);
    for (const std::string &chain : {"x = 1" + repeated("+1", 3000), "x = 2" + repeated("*1-1", 3000),
                                     "x = Synth()" + repeated(".FadeIn(0)", 3000), "x = 1" + repeated("+1", 100000) + "\n)"})
        EXPECT_THROW(eval(chain), ScriptError);
}

TEST(Language, JoinedTextHasALimitOf1MiB)
{
    // Doubling eight characters passes 1 MiB on the 18th doubling (line 19).
    EXPECT_EQ(errorLine("a = \"xxxxxxxx\"\n" + repeated("a = a + a\n", 40) + "a"), 19);
    EXPECT_EQ(std::get<std::string>(eval("a = \"xxxxxxxx\"\n" + repeated("a = a + a\n", 17) + "a")).size(), 1u << 20);
}

// A missing script file is the C interface's (api and preview tests).
TEST(Language, ARunNeedsAClipAtTheEnd)
{
    const auto table = support::scriptTableWithFakeSources(support::scriptTestHelpers());
    EXPECT_EQ(engine::script::runScript("c = Synth(frames=3)\r\nc", table, {})->info().frameCount, 3);
    for (const char *text : {"c = Synth(frames=3)", "1+1", "# nothing\n"})
        EXPECT_THROW(engine::script::runScript(text, table, {}), ScriptError) << text;
}

// Widths around the 16-pixel blocks and their tails, odd chroma sizes.
TEST(Sharpen, WideRowsMatchTheKernelWorkedOutPixelByPixel)
{
    const auto kernel = [](double amount, int p, int sides) {
        if (std::fabs(amount) < 0.00002)
            return p;
        const int a = static_cast<int>(32768.0 * std::pow(2.0, amount) + 0.5);
        return std::clamp((2 * a * p + (32768 - a) * sides + 32768) >> 16, 0, 255);
    };
    const auto noise = [](std::int64_t, int p, int x, int y) {
        return static_cast<std::uint8_t>((x * 73 + y * 151 + p * 29 + x * y * 7) % 256);
    };
    for (const int width : {1, 2, 15, 16, 17, 18, 33, 35, 50}) {
        const ClipPtr in = synthetic({.frames = 1, .width = width, .height = 5}, noise);
        for (const auto &[h, v] : {std::pair{1.0, 1.0}, {0.5, 0.5}, {-1.58, -1.58}, {0.3, 0.0}, {0.0, -0.7}}) {
            const auto out = f::sharpen(in, h, v)->frame(0);
            for (int p = 0; p < 3; ++p) {
                const int pw = p == 0 ? width : (width + 1) / 2;
                const int ph = p == 0 ? 5 : 3;
                const auto at = [&](int x, int y) {
                    const auto src = [&](int xx, int yy) { return int(noise(0, p, xx, yy)); };
                    return kernel(v, src(x, y), src(x, std::max(y - 1, 0)) + src(x, std::min(y + 1, ph - 1)));
                };
                for (int y = 0; y < ph; ++y)
                    for (int x = 0; x < pw; ++x)
                        ASSERT_EQ(pixel(out, p, x, y),
                                  kernel(h, at(x, y), at(std::max(x - 1, 0), y) + at(std::min(x + 1, pw - 1), y)))
                            << "width " << width << " plane " << p << " at " << x << "," << y << " amounts " << h
                            << "," << v;
            }
        }
    }
}

TEST(Reverse, ReadsItsSourceOnceInOrderAndLeavesNoFile)
{
    const fs::path dir = support::scratchFolder();
    // The sound outlasts the picture: its overhang comes first.
    const auto source = synthetic({.frames = 3000, .width = 18, .height = 6, .samples = 6400123});
    {
        const ClipPtr rev = f::reverse(source, dir.string() + "/");
        ASSERT_EQ(rev->info().frameCount, 3000);
        for (std::int64_t n = 0; n < 3000; n += 7)
            for (int p = 0; p < 3; ++p)
                ASSERT_EQ(pixel(rev->frame(n), p, 5, 2), support::defaultPaint(2999 - n, p, 5, 2)) << n;
        ASSERT_EQ(source->requested.size(), 3000u);
        EXPECT_TRUE(std::is_sorted(source->requested.begin(), source->requested.end()));

        std::vector<float> a(2 * 4);
        rev->audio(0, 4, a);
        EXPECT_EQ(a[1], support::rampSample(6400122, 1));
        EXPECT_EQ(a[6], support::rampSample(6400119, 0));
        rev->audio(6400121, 4, a); // the last two, then silence past the end
        EXPECT_EQ(a[0], support::rampSample(1, 0));
        EXPECT_EQ(a[3], support::rampSample(0, 1));
        EXPECT_EQ(a[4], 0.0f);
        EXPECT_TRUE(fs::is_empty(dir));
    }
    EXPECT_TRUE(fs::is_empty(dir));
    EXPECT_THROW(f::reverse(synthetic({}), dir.string() + "/missing/")->frame(0), engine::Error);
}

// The first pull reads the whole input, reporting each frame as done work,
// and gives up at the next frame once the pass asks it to stop.
TEST(Reverse, LongReadsReportProgressAndStopWhenAsked)
{
    const auto source = synthetic({.frames = 500});
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
    EXPECT_EQ(source->requested.size(), 120u);
    EXPECT_EQ(seen.back(), 120);

    // The sound in several steps, then a stop asked before the read begins.
    const ClipPtr sound = f::reverse(synthetic({.frames = 10, .samples = 300000}), VELMORA_TEST_TMP);
    auto watch = std::make_shared<engine::WorkControl>();
    sound->adoptControl(watch);
    std::vector<std::int64_t> done;
    watch->setListener([&] { done.push_back(watch->workDone()); });
    std::vector<float> a(2 * 4);
    sound->audio(0, 4, a);
    EXPECT_EQ(a[0], support::rampSample(299999, 0));
    EXPECT_GT(done.size(), 2u);
    EXPECT_EQ(done.back(), 300000);
    const ClipPtr again = f::reverse(synthetic({.frames = 10, .samples = 300000}), VELMORA_TEST_TMP);
    auto stopped = std::make_shared<engine::WorkControl>();
    stopped->requestStop();
    again->adoptControl(stopped);
    EXPECT_THROW(again->audio(0, 4, a), engine::Stopped);
}

// 64x48, luma [level] inside [left..right] x [top..bottom], black (16) around.
ClipPtr box(int left, int top, int right, int bottom, std::uint8_t level = 200)
{
    return synthetic({.width = 64, .height = 48}, [=](std::int64_t, int p, int x, int y) -> std::uint8_t {
        return p ? 128 : (x >= left && x <= right && y >= top && y <= bottom) ? level : 16;
    });
}

// Rows [from..to] at a level each, black around, for the row-run rules.
ClipPtr rows(std::vector<std::tuple<int, int, std::uint8_t>> ranges)
{
    return synthetic({.width = 64, .height = 48}, [=](std::int64_t, int p, int, int y) -> std::uint8_t {
        for (const auto &[from, to, level] : ranges)
            if (y >= from && y <= to)
                return p ? 128 : level;
        return p ? 128 : 16;
    });
}

// With the writer's settings. Row averages over 64 columns: 16 content
// pixels at level L over black average L/4 + 12, so L = 88 gives exactly the
// threshold 34.
TEST(AutoCrop, FindsTheWindowTheWriterAsksFor)
{
    const f::AutoCropSettings writer{.wMultOf = 4, .hMultOf = 4, .threshold = 34, .samples = 10};
    const std::tuple<const char *, ClipPtr, f::CropRect> cases[] = {
        {"letterbox", box(0, 8, 63, 39), {0, 8, 64, 32}},
        {"remainder off right and bottom", box(4, 8, 60, 40), {4, 8, 56, 32}},
        {"odd start shifts", box(5, 9, 60, 40), {6, 10, 56, 32}},
        {"threshold is inclusive", box(24, 8, 39, 39, 88), {24, 8, 16, 32}},
        {"one below the threshold is dark", rows({{2, 4, 33}, {8, 39, 200}}), {0, 8, 64, 32}},
        {"lonely bright lines do not count", rows({{1, 2, 200}, {8, 39, 200}}), {0, 8, 64, 32}},
        {"a run of three counts", rows({{2, 4, 200}, {8, 41, 200}}), {0, 2, 64, 40}},
        // Frame 10, the first sampled, reaches higher than the rest.
        {"union over the sampled frames",
         synthetic({.width = 64, .height = 48}, [](std::int64_t n, int p, int, int y) {
             return std::uint8_t(p ? 128 : (y >= (n == 10 ? 4 : 12) && y <= 35) ? 200 : 16);
         }),
         {0, 4, 64, 32}}};
    for (const auto &[name, clip, e] : cases) {
        SCOPED_TRACE(name);
        const std::optional<f::CropRect> found = f::detectCrop(*clip, writer);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(std::tuple(found->left, found->top, found->width, found->height),
                  std::tuple(e.left, e.top, e.width, e.height));
        const ClipPtr out = f::autoCrop(clip, writer);
        EXPECT_EQ(std::pair(out->info().width, out->frame(50)->height), std::pair(e.width, e.height));
    }
}

TEST(AutoCrop, AllDarkKeepsThePictureAndOnlyAPassCrops)
{
    EXPECT_FALSE(f::detectCrop(*box(0, 0, -1, -1), {}).has_value());
    // The writer's line: the probe keeps the size, a video pass crops.
    const std::string text = "AutoCrop(Picture(\"16 16 | 200 200 | 200 200 | 200 200 | 200 200 | 16 16\"),"
                             "mode=0,wmultof=2,hmultof=2,samples=1,aspect=0,threshold=34,samplestartframe=0)";
    EXPECT_EQ(std::get<ClipPtr>(eval(text))->info().height, 6);
    EXPECT_EQ(std::get<ClipPtr>(eval(text, engine::script::ScriptUse::VideoPass))->info().height, 4);
}

} // namespace
