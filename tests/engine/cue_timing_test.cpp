// Subtitle cues over the pictures they were written for: the program's own
// scripts (trimming, an introduction and its fade, Reverse) with the real
// TextSub over small flat sources, so that a frame shows a cue exactly when
// its picture is not flat.

#include "support/scratch.h"
#include "support/synthetic_clip.h"

#include "filters/register.h"
#include "pipeline/register.h"
#include "script/script.h"
#include "script/script_writer.h"
#include "text/register.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using engine::ClipPtr;
using engine::script::ArgType;
using engine::script::CallArgs;
using engine::script::Value;
namespace fs = support::fs;

// The user's video lasts 10 s and an introduction video 2 s, both at the
// script's rate; pictures are flat grey of 64x48, one level per file.
engine::script::FunctionTable fakeSources()
{
    engine::script::FunctionTable table;
    const auto flat = [](std::uint8_t level) {
        return [level](std::int64_t, int p, int, int) { return p ? std::uint8_t{128} : level; };
    };
    table.add({"DirectShowSource",
               {{"filename", ArgType::String}, {"fps", ArgType::Float, true}, {"convertfps", ArgType::Bool, true}},
               [flat](const CallArgs &a) -> Value {
                   const bool intro = a.text(0).find("intro") != std::string::npos;
                   const int fps = static_cast<int>(a.real(1));
                   engine::WorkControl &control = *a.context->control;
                   const int source = control.nextPictureSource();
                   control.addPictureSource();
                   return ClipPtr(support::synthetic({.frames = (intro ? 2 : 10) * fps, .width = 64, .height = 48,
                                                      .fpsNum = fps, .source = source},
                                                     flat(intro ? 60 : 120)));
               }});
    table.add({"ImageSource",
               {{"file", ArgType::String}, {"start", ArgType::Int}, {"end", ArgType::Int}, {"fps", ArgType::Float}},
               [flat](const CallArgs &a) -> Value {
                   return ClipPtr(support::synthetic({.frames = a.integer(2) - a.integer(1) + 1, .width = 64,
                                                      .height = 48, .fpsNum = static_cast<int>(a.real(3)),
                                                      .audio = false},
                                                     flat(200)));
               }});
    engine::registerMediaFunctions(table);
    engine::filters::registerFilterFunctions(table);
    engine::text::registerTextFunctions(table);
    return table;
}

enum class Intro { None, Video, Still };

struct Row
{
    const char *name;
    int start, end; // seconds
    Intro intro;
    int fadeMode; // 0 In, 1 Out, 2 In/Out, 3 Overlap (with an introduction)
    int fadeSec;
    bool reverse;
    std::int64_t frames;
    std::vector<std::pair<int, int>> shown; // output frames showing a cue, ranges inclusive
};

// Cues in the user's video at 15 fps: D on its frames 0-7, A on 15-44, B on
// 60-74, C on 105-127.
const char *const kCues = "1\n00:00:00,000 --> 00:00:00,500\nD\n\n"
                          "2\n00:00:01,000 --> 00:00:03,000\nA\n\n"
                          "3\n00:00:04,000 --> 00:00:05,000\nB\n\n"
                          "4\n00:00:07,000 --> 00:00:08,500\nC\n";

// Each row's output frame k shows frame src(k) of the user's video, or none:
// the cues' frames above carried through that by hand.
const Row kRows[] = {
    // k = src
    {"WholeClip", 0, 0, Intro::None, 0, 0, false, 150, {{0, 7}, {15, 44}, {60, 74}, {105, 127}}},
    // Trim 30..120: A and C cut through, D before the cut.
    {"TrimCutsThroughCues", 2, 8, Intro::None, 0, 0, false, 91, {{0, 14}, {30, 44}, {75, 90}}},
    // Trim 75..90, between B's last frame 74 and C's first 105.
    {"TrimBetweenCues", 5, 6, Intro::None, 0, 0, false, 16, {}},
    // src = 149 - k
    {"Reversed", 0, 0, Intro::None, 0, 0, true, 150, {{22, 44}, {75, 89}, {105, 134}, {142, 149}}},
    // src = 119 - k: D falls outside.
    {"ReversedAndTrimmed", 2, 8, Intro::None, 0, 0, true, 91, {{0, 14}, {45, 59}, {75, 90}}},
    // One black frame, 30 of the introduction video (a picture source of its
    // own, faded in), then src = k - 31.
    {"IntroVideoFadeIn", 0, 10, Intro::Video, 0, 1, false, 181, {{31, 38}, {46, 75}, {91, 105}, {136, 158}}},
    // Trim 30..150 of 31 still frames then the video: the trim cuts into the
    // introduction, src = k - 1.
    {"StillFadeOutStartInsideIntro", 2, 8, Intro::Still, 1, 1, false, 121, {{1, 8}, {16, 45}, {61, 75}, {106, 120}}},
    // Black, introduction, src = 180 - k, and D on the fade to black.
    {"IntroVideoFadeInOutReversed", 0, 10, Intro::Video, 2, 1, true, 181,
     {{53, 75}, {106, 120}, {136, 165}, {173, 180}}},
    // Still frame 0, then 30 frames blending the still into src = k - 1: D
    // shows from the first faint blend on.
    {"StillOverlap", 0, 10, Intro::Still, 3, 2, false, 151, {{1, 8}, {16, 45}, {61, 75}, {106, 128}}},
    // Trim 15..120 of a 15-frame overlap with the introduction video: src = k.
    {"IntroVideoOverlapTrimmed", 1, 6, Intro::Video, 3, 1, false, 106, {{0, 7}, {15, 44}, {60, 74}, {105, 105}}},
};

class CueTiming : public ::testing::TestWithParam<Row>
{
};

TEST_P(CueTiming, CuesShowOverThePicturesTheyWereWrittenFor)
{
    const Row &r = GetParam();
    const fs::path dir = support::scratchFolder();
    for (const char *name : {"clip.avi", "intro.avi", "intro.jpg"})
        support::writeFile(dir / name, "");
    support::writeFile(dir / "clip.srt", kCues);

    core::ScriptRequest job;
    job.mode = 1;
    job.frameCount = 150;
    job.videoPath = (dir / "clip.avi").string();
    job.appFolder = dir.string() + "/";
    job.scriptPath = job.appFolder + "temp.avs";
    core::JobSettings &s = job.shown;
    s.startTime = std::to_string(r.start);
    s.endTime = std::to_string(r.end);
    s.reverse = r.reverse ? 1 : 0;
    s.subtitleFile = (dir / "clip.srt").string();
    s.introType = r.intro == Intro::Still ? 1 : 0;
    s.introVideoFile = r.intro == Intro::Video ? (dir / "intro.avi").string() : "";
    s.introImageFile = r.intro == Intro::Still ? (dir / "intro.jpg").string() : "";
    s.introImageTime = "2";
    s.introFadeMode = r.fadeMode;
    s.introFadeTime = std::to_string(r.fadeSec);
    const core::ScriptResult written = core::writeScript(job);
    ASSERT_EQ(written.result, 1);

    engine::script::EvalContext context;
    context.scriptFolder = job.appFolder;
    context.use = engine::script::ScriptUse::VideoPass;
    const ClipPtr clip = engine::script::runScript(written.text, fakeSources(), context);
    ASSERT_EQ(clip->info().frameCount, r.frames) << written.text;

    std::vector<std::pair<int, int>> shown;
    for (int k = 0; k < r.frames; ++k) {
        const engine::FrameRef f = clip->frame(k);
        std::uint8_t low = 255, high = 0;
        for (int y = 0; y < f->height; ++y) {
            const std::uint8_t *row = f->data[0] + y * f->linesize[0];
            const auto [a, b] = std::minmax_element(row, row + f->width);
            low = std::min(low, *a);
            high = std::max(high, *b);
        }
        if (high - low > 40) {
            if (!shown.empty() && shown.back().second == k - 1)
                shown.back().second = k;
            else
                shown.emplace_back(k, k);
        }
    }
    EXPECT_EQ(shown, r.shown) << written.text;
}

INSTANTIATE_TEST_SUITE_P(WriterScripts, CueTiming, ::testing::ValuesIn(kRows),
                         [](const auto &param) { return std::string(param.param.name); });

} // namespace
