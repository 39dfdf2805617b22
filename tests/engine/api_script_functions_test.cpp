// The converter's complete scripts, every script function together, through
// the C interface of the built libTarvikDll.so and both passes. Inputs are
// generated with the ffmpeg command line; the expected counts are worked
// out here from the inputs' known lengths with the language's own rules.

#include "api_support.h"
#include "media_support.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <thread>

using mediatest::make;
using mediatest::probe;

namespace {

using Api = mediatest::TarvikApi;

constexpr int kFps = 15;
constexpr int kRate = 32000;

// S(f) at kFps and kRate.
std::int64_t samplesFor(std::int64_t frames)
{
    return frames * kRate / kFps;
}

// Layer II frames (1152 samples each) that hold S(N) samples.
std::int64_t mp2Frames(std::int64_t videoFrames)
{
    return (samplesFor(videoFrames) + 1151) / 1152;
}

// Frames Trim(c, first, last) keeps of a clip of n frames: last 0 is the end,
// everything clamped, at least one frame.
std::int64_t trimmed(std::int64_t n, std::int64_t first, std::int64_t last)
{
    first = std::clamp<std::int64_t>(first, 0, n - 1);
    if (last == 0)
        last = n - 1;
    last = std::clamp<std::int64_t>(last, first, n - 1);
    return last - first + 1;
}

enum class Fade { In = 0, Out = 1, InOut = 2, Overlap = 3 };

// Frames of c after the composition lines: the intro joined to the main
// clip (Dissolve(...,0)) and faded, or dissolved over `overlap` frames.
std::int64_t composed(std::int64_t intro, std::int64_t main, Fade fade, std::int64_t overlap)
{
    switch (fade) {
    case Fade::In:
    case Fade::Out: return intro + main + 1; // one black frame
    case Fade::InOut: return intro + main + 2;
    case Fade::Overlap: return std::max<std::int64_t>(intro - overlap, 0) + main;
    }
    return 0;
}

// A job as the script writer sees it; the lines below follow its templates.
struct Job
{
    std::string folder; // the program folder, ending in '/'
    std::string video;
    std::string audio;   // empty: none
    std::string subs;    // empty: none
    std::string introVideo;
    std::string introImage;
    bool autoCrop = false;
    std::string logoLiteral; // the logo text as a script literal; empty: no logo
    bool reverse = false;
    Fade fade = Fade::In;
    std::string fadeTime = "1";
    std::string imageTime = "3";
    std::string start = "0";
    std::string end = "0";
    std::vector<std::string> filters; // the lines after Trim, TextSub excluded
};

std::string scriptFor(const Job &j)
{
    const std::string f = std::to_string(kFps);
    std::vector<std::string> l;
    if (j.autoCrop)
        l.push_back("loadplugin(\"" + j.folder + "AutoCrop.dll\")");
    if (!j.subs.empty())
        l.push_back("loadplugin(\"" + j.folder + "VSFilter.dll\")");
    l.push_back("videofile = \"" + j.video + "\"");
    if (!j.audio.empty())
        l.push_back("audiofile = \"" + j.audio + "\"");
    if (!j.subs.empty())
        l.push_back("subfile = \"" + j.subs + "\"");
    if (!j.introVideo.empty())
        l.push_back("videointfile = \"" + j.introVideo + "\"");
    if (!j.introImage.empty())
        l.push_back("imageintfile = \"" + j.introImage + "\"");
    const std::string source = "DirectShowSource(videofile, fps=" + f + ", convertfps=true)";
    l.push_back(j.audio.empty() ? "a = " + source : "a = AudioDub(" + source + ", DirectShowSource(audiofile))");
    l.push_back(j.autoCrop ? "a0 = AutoCrop(a,mode=0,wmultof=4,hmultof=4,samples=10,aspect=0,threshold=34,samplestartframe=0)"
                           : "a0 = a");
    if (j.logoLiteral.empty()) {
        l.push_back("aa = BicubicResize(a0,256,256*Height(a)/Width(a))");
    } else {
        l.push_back("a1 = BicubicResize(a0,256,256*Height(a)/Width(a))");
        l.push_back("aa = Subtitle(a1," + j.logoLiteral + ",10,20,0*" + f + ",5*" + f + ",\"Arial\",12,16711680)");
    }
    if (j.reverse) {
        l.push_back("aa1 = ResampleAudio(aa," + std::to_string(kRate) + ")");
        l.push_back("aa2 = Reverse(aa1)");
    } else {
        l.push_back("aa2 = ResampleAudio(aa," + std::to_string(kRate) + ")");
    }
    l.push_back("aaa = ConvertToYV12(aa2)");
    const bool v = !j.introVideo.empty();
    const bool i = !j.introImage.empty();
    if (v)
        l.push_back("b = " + source.substr(0, source.find('(') + 1) + "videointfile" + source.substr(source.find(',')));
    if (i) {
        l.push_back("b1 = ImageSource(imageintfile,0," + j.imageTime + "*" + f + "," + f + ")");
        l.push_back("b2 = Tone(" + j.imageTime + ",0," + std::to_string(kRate) + ",2,\"Silence\",1.0)");
        l.push_back("b = AudioDub(b1,b2)");
    }
    if (v || i) {
        l.push_back("bb = ResampleAudio(b," + std::to_string(kRate) + ")");
        l.push_back("bb2 = BicubicResize(bb,256,256*Height(a)/Width(a))");
        l.push_back("bbb = ConvertToYV12(bb2)");
        const std::string ft = j.fadeTime + "*" + f + ")";
        switch (j.fade) {
        case Fade::Overlap: l.push_back("c = Dissolve (bbb,aaa," + ft); break;
        case Fade::In: l.insert(l.end(), {"c1 = Dissolve (bbb,aaa,0)", "c = FadeIn (c1," + ft}); break;
        case Fade::Out: l.insert(l.end(), {"c1 = Dissolve (bbb,aaa,0)", "c = FadeOut (c1," + ft}); break;
        case Fade::InOut: l.insert(l.end(), {"c1 = Dissolve (bbb,aaa,0)", "c = FadeIO (c1," + ft}); break;
        }
    } else {
        l.push_back("c = aaa");
    }
    if (v)
        l.push_back("Trim(c," + j.start + "*" + f + "," + j.end + "*" + f + "+Framecount(bbb))");
    else if (i)
        l.push_back("Trim(c," + j.start + "*" + f + ",(" + j.end + "+" + j.imageTime + ")*" + f + ")");
    else
        l.push_back("Trim(c," + j.start + "*" + f + "," + j.end + "*" + f + ")");
    l.insert(l.end(), j.filters.begin(), j.filters.end());
    if (!j.subs.empty())
        l.push_back("TextSub(subfile)");

    std::string text;
    for (const std::string &line : l)
        text += line + "\r\n";
    return text;
}

// The scratch folder doubles as the program folder; a blank in its name
// keeps every path honest.
std::string scratch(const std::string &name)
{
    const std::filesystem::path dir = std::filesystem::path(mediatest::tmpPath("script functions"));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

// 10 s of a 320x180 picture letterboxed to 320x240 (AutoCrop finds the
// bars), with a stereo tone.
std::string mainVideo()
{
    return make("sf_main.mp4", mediatest::avInputs(320, 180, 25, 10.0) +
                                   " -vf pad=320:240:0:30:black -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac");
}

std::string shortVideo()
{
    return make("sf_short.mp4", mediatest::avInputs(160, 120, 25, 4.0) +
                                    " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac");
}

std::string introVideo()
{
    return make("sf_intro.avi", mediatest::avInputs(176, 144, 30, 2.0, 22050, 1) + " -c:v mpeg4 -c:a pcm_s16le");
}

std::string introImage()
{
    return make("sf_card.png", "-f lavfi -i testsrc=size=200x150:rate=1:duration=1 -frames:v 1");
}

std::string song()
{
    return make("sf_song.mp3", "-f lavfi -i sine=frequency=330:sample_rate=44100:duration=12 -ac 2 -c:a libmp3lame");
}

std::string subtitles()
{
    const std::string path = scratch("clip subs.srt");
    mediatest::writeText(path, "1\r\n00:00:00,000 --> 00:00:02,000\r\n\"Quoted\" 100% C:\\Videos\\ {\\i1}x{\\i0}: ok\r\n\r\n"
                               "2\r\n00:00:02,500 --> 00:00:05,000\r\nÜbergrößenträger – Ελληνικά – 日本語 – עברית\r\n\r\n");
    return path;
}

class ScriptFunctions : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(Api::get().handle, nullptr) << dlerror();
    }

    // The video pass: returns Encode_Frame and checks the stream decodes to
    // exactly that many 256-wide frames.
    int32_t videoPass(const std::string &script, const std::string &m1v, int expectedHeight)
    {
        EXPECT_EQ(api.begin(script.c_str(), m1v.c_str(), 427, 128, kRate, 1, 2), 0) << api.lastError();
        const int32_t frames = api.frame();
        EXPECT_EQ(api.waitAndEnd(), 0) << api.lastError();
        auto v = probe(m1v, "v:0", "stream=width,height,nb_read_frames", true);
        EXPECT_EQ(v["width"], "256");
        EXPECT_EQ(v["height"], std::to_string(expectedHeight));
        EXPECT_EQ(v["nb_read_frames"], std::to_string(frames));
        return frames;
    }

    void audioPass(const std::string &script, const std::string &mp2, std::int64_t videoFrames)
    {
        ASSERT_EQ(api.begin(script.c_str(), mp2.c_str(), 427, 128, kRate, 0, 2), 0) << api.lastError();
        EXPECT_EQ(api.waitAndEnd(), 0) << api.lastError();
        auto a = probe(mp2, "a:0", "stream=sample_rate,channels,nb_read_frames", true);
        EXPECT_EQ(a["sample_rate"], std::to_string(kRate));
        EXPECT_EQ(a["channels"], "2");
        EXPECT_EQ(a["nb_read_frames"], std::to_string(mp2Frames(videoFrames)));
    }

    const Api &api = Api::get();
};

// The script writer's complete example with every option on: plug-ins,
// external audio, subtitles, auto-crop, a logo, reverse, an image intro
// dissolved in, trimming and all six filter lines.
TEST_F(ScriptFunctions, CompleteExampleWithEveryOptionRunsBothPasses)
{
    Job j;
    j.folder = scratch("");
    j.video = mainVideo();
    j.audio = song();
    j.subs = subtitles();
    j.introImage = introImage();
    j.autoCrop = true;
    j.logoLiteral = "\"Demo\"";
    j.reverse = true;
    j.fade = Fade::Overlap;
    j.fadeTime = "1";
    j.imageTime = "3";
    j.start = "2";
    j.end = "6";
    j.filters = {"Tweak(30,1.2,-10,1)", "Sharpen(0.5)", "Amplify(1.5)", "DelayAudio(0.5)", "GetChannel(1,1)"};
    const std::string text = scriptFor(j);
    ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 27) << text;
    const std::string script = scratch("temp.avs");
    mediatest::writeText(script, text);

    // 10 s at 15 fps; the image lasts 3*15 frames, end included; the
    // overlap is 1*15 frames.
    const std::int64_t main = 10 * kFps;
    const std::int64_t intro = 3 * kFps + 1;
    const std::int64_t c = composed(intro, main, Fade::Overlap, 1 * kFps);
    const std::int64_t expected = trimmed(c, 2 * kFps, (6 + 3) * kFps);

    const int32_t frames = videoPass(script, scratch("temp.m1v"), 256 * 240 / 320);
    EXPECT_EQ(frames, expected);
    audioPass(script, scratch("temp.mp2"), expected);
}

struct IntroCase
{
    bool image;
    Fade fade;
};

class IntroChain : public ScriptFunctions, public ::testing::WithParamInterface<IntroCase>
{
};

// The introduction lines for a video and an image intro in each fade mode,
// with the writer's trimming line that moves the end back by the intro.
TEST_P(IntroChain, FrameCountsFollowTheJoinFadeAndTrimRules)
{
    const IntroCase &p = GetParam();
    const std::string tag = std::string(p.image ? "image" : "video") + std::to_string(static_cast<int>(p.fade));
    Job j;
    j.folder = scratch("");
    j.video = shortVideo();
    (p.image ? j.introImage : j.introVideo) = p.image ? introImage() : introVideo();
    j.fade = p.fade;
    j.fadeTime = "1";
    j.imageTime = "2";
    j.start = "1";
    j.end = "3";
    const std::string script = scratch("intro_" + tag + ".avs");
    mediatest::writeText(script, scriptFor(j));

    const std::int64_t main = 4 * kFps;
    // A video intro of 2 s has ceil(2 * 15) frames; an image lasts
    // IMAGETIME*FPS frames, end included.
    const std::int64_t intro = p.image ? 2 * kFps + 1 : 2 * kFps;
    const std::int64_t c = composed(intro, main, p.fade, 1 * kFps);
    const std::int64_t last = p.image ? (3 + 2) * kFps : 3 * kFps + intro;
    const std::int64_t expected = trimmed(c, 1 * kFps, last);

    const int32_t frames = videoPass(script, scratch("intro_" + tag + ".m1v"), 192);
    EXPECT_EQ(frames, expected);
    audioPass(script, scratch("intro_" + tag + ".mp2"), expected);
}

std::string introName(const ::testing::TestParamInfo<IntroCase> &info)
{
    static const char *const fades[] = {"In", "Out", "InOut", "Overlap"};
    return std::string(info.param.image ? "Image" : "Video") + fades[static_cast<int>(info.param.fade)];
}

INSTANTIATE_TEST_SUITE_P(Api, IntroChain,
                         ::testing::Values(IntroCase{false, Fade::In}, IntroCase{false, Fade::Out},
                                           IntroCase{false, Fade::InOut}, IntroCase{false, Fade::Overlap},
                                           IntroCase{true, Fade::In}, IntroCase{true, Fade::Out},
                                           IntroCase{true, Fade::InOut}, IntroCase{true, Fade::Overlap}),
                         introName);

// Logo texts as the writer writes them (triple quotes around a value with a
// quote, runs of three or more quotes split into literals joined with "+")
// and a subtitle file full of characters that mean something to a
// subtitle renderer or a format string.
TEST_F(ScriptFunctions, AwkwardLogoTextsAndSubtitlesRunThroughAPass)
{
    const std::vector<std::string> logos = {
        "\"\"\"He said \"hi\": 100% \\N C:\\dir\\ {\\b1} ü 日本\"\"\"",
        "\"\"\"a\"\"\"+\"\"\"\"\"b\"\"\"",
        "\"\"\"\"\"\"\"\"\"+\"%s%n%d \\\\server\\share\"",
        "\"100%\"+\" \"+\"\"\"\"quoted\"\"\"\"\"\"",
    };
    for (std::size_t k = 0; k < logos.size(); ++k) {
        SCOPED_TRACE(logos[k]);
        Job j;
        j.folder = scratch("");
        j.video = shortVideo();
        j.subs = subtitles();
        j.logoLiteral = logos[k];
        j.end = "2";
        const std::string script = scratch("logo" + std::to_string(k) + ".avs");
        mediatest::writeText(script, scriptFor(j));
        EXPECT_EQ(videoPass(script, scratch("logo" + std::to_string(k) + ".m1v"), 192), trimmed(4 * kFps, 0, 2 * kFps));
    }
}

} // namespace
