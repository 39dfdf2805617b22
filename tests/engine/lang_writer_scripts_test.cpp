// The program's own scripts, as its writer produces them, run against the
// real filters and fake sources.

#include "lang_test_clips.h"

#include "filters/register.h"
#include "script/script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using engine::ClipPtr;
using engine::script::ArgType;
using engine::script::CallArgs;
using engine::script::Param;
using engine::script::Value;

// A synthetic clip with the counts of `like` and a new picture size.
ClipPtr reshape(const engine::VideoInfo &like, int width, int height)
{
    testclips::Shape s;
    s.video = like.hasVideo;
    s.frames = like.frameCount;
    s.width = width;
    s.height = height;
    s.audio = like.hasAudio;
    s.rate = like.sampleRate;
    s.channels = like.channels;
    s.samples = like.sampleCount;
    return testclips::make(s);
}

struct Fakes
{
    engine::script::FunctionTable table;
    std::vector<std::string> resizes; // "WxH" per BicubicResize call

    Fakes()
    {
        engine::filters::registerFilterFunctions(table);
        const auto pass = [](const CallArgs &a) -> Value { return a.clip(0); };
        table.add({"DirectShowSource",
                   {Param{"", ArgType::String}, Param{"fps", ArgType::Float, true},
                    Param{"convertfps", ArgType::Bool, true}},
                   [](const CallArgs &a) -> Value {
                       testclips::Shape s;
                       s.frames = 1880; // 125.3 s at 15 fps
                       s.samples = 4009600;
                       s.width = 720;
                       s.height = 480;
                       s.video = a.text(0).find(".mp3") == std::string::npos;
                       return ClipPtr(testclips::make(s));
                   }});
        table.add({"ImageSource",
                   {Param{"", ArgType::String}, Param{"", ArgType::Int}, Param{"", ArgType::Int},
                    Param{"", ArgType::Float}},
                   [](const CallArgs &a) -> Value {
                       testclips::Shape s;
                       s.frames = a.integer(2) - a.integer(1) + 1;
                       s.fpsNum = static_cast<int>(a.real(3));
                       s.width = 640;
                       s.height = 480;
                       s.audio = false;
                       return ClipPtr(testclips::make(s));
                   }});
        table.add({"BicubicResize",
                   {Param{"", ArgType::Clip}, Param{"", ArgType::Int}, Param{"", ArgType::Int}},
                   [this](const CallArgs &a) -> Value {
                       resizes.push_back(std::to_string(a.integer(1)) + "x" + std::to_string(a.integer(2)));
                       return reshape(a.clip(0)->info(), a.integer(1), a.integer(2));
                   }});
        table.add({"ResampleAudio", {Param{"", ArgType::Clip}, Param{"", ArgType::Int}}, pass});
        table.add({"ConvertToYV12", {Param{"", ArgType::Clip}}, pass});
        table.add({"Subtitle",
                   {Param{"", ArgType::Clip}, Param{"", ArgType::String}, Param{"", ArgType::Float},
                    Param{"", ArgType::Float}, Param{"", ArgType::Int}, Param{"", ArgType::Int},
                    Param{"", ArgType::String}, Param{"", ArgType::Float}, Param{"", ArgType::Int}},
                   pass});
        table.add({"TextSub", {Param{"", ArgType::Clip}, Param{"", ArgType::String}}, pass});
    }
};

TEST(WriterScripts, PlainConversion)
{
    Fakes fakes;
    const char *script = "videofile = \"C:\\Videos\\clip.avi\"\r\n"
                         "a = DirectShowSource(videofile, fps=15, convertfps=true)\r\n"
                         "a0 = a\r\n"
                         "aa = BicubicResize(a0,256,256*Height(a)/Width(a))\r\n"
                         "aa2 = ResampleAudio(aa,32000)\r\n"
                         "aaa = ConvertToYV12(aa2)\r\n"
                         "c = aaa\r\n"
                         "Trim(c,0*15,120*15)\r\n";
    const ClipPtr clip = engine::script::runScript(script, fakes.table, {});
    EXPECT_EQ(fakes.resizes, std::vector<std::string>{"256x170"});
    EXPECT_EQ(clip->info().frameCount, 1801);
    EXPECT_EQ(clip->info().sampleCount, 3842133);
    EXPECT_EQ(clip->info().width, 256);
}

TEST(WriterScripts, IntroVideoWithFadeIn)
{
    Fakes fakes;
    const char *script = "videofile = \"C:\\Videos\\clip.avi\"\r\n"
                         "videointfile = \"C:\\Intro\\intro.avi\"\r\n"
                         "a = DirectShowSource(videofile, fps=15, convertfps=true)\r\n"
                         "a0 = a\r\n"
                         "aa = BicubicResize(a0,256,256*Height(a)/Width(a))\r\n"
                         "aa2 = ResampleAudio(aa,32000)\r\n"
                         "aaa = ConvertToYV12(aa2)\r\n"
                         "b = DirectShowSource(videointfile, fps=15, convertfps=true)\r\n"
                         "bb = ResampleAudio(b,32000)\r\n"
                         "bb2 = BicubicResize(bb,256,256*Height(a)/Width(a))\r\n"
                         "bbb = ConvertToYV12(bb2)\r\n"
                         "c1 = Dissolve (bbb,aaa,0)\r\n"
                         "c = FadeIn (c1,2*15)\r\n"
                         "Trim(c,0*15,120*15+Framecount(bbb))\r\n";
    const ClipPtr clip = engine::script::runScript(script, fakes.table, {});
    // 1 black + 1880 intro + 1880 main frames, trimmed to 0..1800+1880.
    EXPECT_EQ(clip->info().frameCount, 3681);
}

TEST(WriterScripts, EveryOptionOn)
{
    Fakes fakes;
    const std::string script = "loadplugin(\"C:\\Conv\\AutoCrop.dll\")\r\n"
                               "loadplugin(\"C:\\Conv\\VSFilter.dll\")\r\n"
                               "videofile = \"C:\\Videos\\clip.avi\"\r\n"
                               "audiofile = \"C:\\Music\\song.mp3\"\r\n"
                               "subfile = \"C:\\Videos\\clip.srt\"\r\n"
                               "imageintfile = \"C:\\Intro\\card.jpg\"\r\n"
                               "a = AudioDub(DirectShowSource(videofile, fps=15, convertfps=true), "
                               "DirectShowSource(audiofile))\r\n"
                               "a0 = AutoCrop(a,mode=0,wmultof=4,hmultof=4,samples=10,aspect=0,threshold=34,"
                               "samplestartframe=0)\r\n"
                               "a1 = BicubicResize(a0,256,256*Height(a)/Width(a))\r\n"
                               "aa = Subtitle(a1,\"\"\"De\"mo\"\"\",10,20,0*15,5*15,\"Arial\",12,16711680)\r\n"
                               "aa1 = ResampleAudio(aa,32000)\r\n"
                               "aa2 = Reverse(aa1)\r\n"
                               "aaa = ConvertToYV12(aa2)\r\n"
                               "b1 = ImageSource(imageintfile,0,3*15,15)\r\n"
                               "b2 = Tone(3,0,32000,2,\"Silence\",1.0)\r\n"
                               "b = AudioDub(b1,b2)\r\n"
                               "bb = ResampleAudio(b,32000)\r\n"
                               "bb2 = BicubicResize(bb,256,256*Height(a)/Width(a))\r\n"
                               "bbb = ConvertToYV12(bb2)\r\n"
                               "c = Dissolve (bbb,aaa,1*15)\r\n"
                               "Trim(c,10*15,(60+3)*15)\r\n"
                               "Tweak(30,1.2,-10,1)\r\n"
                               "Sharpen(0.5)\r\n"
                               "Amplify(1.5)\r\n"
                               "DelayAudio(0.5)\r\n"
                               "GetChannel(1,1)\r\n"
                               "TextSub(subfile)\r\n";
    engine::script::EvalContext context;
    context.scriptFolder = std::string(VELMORA_TEST_TMP) + "/";
    const ClipPtr clip = engine::script::runScript(script, fakes.table, context);
    EXPECT_EQ(fakes.resizes, (std::vector<std::string>{"256x170", "256x170"}));
    // 46 - 15 + 1880 = 1911 frames, trimmed to 150..945; audio
    // S(946) - S(150) = 1698133, then 0.5 s (16000 samples) later.
    EXPECT_EQ(clip->info().frameCount, 796);
    EXPECT_EQ(clip->info().sampleCount, 1714133);
    EXPECT_EQ(clip->info().channels, 2);
    EXPECT_EQ(clip->info().width, 256);
}

TEST(WriterScripts, UnknownPluginAndMissingFunctionNameTheLine)
{
    Fakes fakes;
    try {
        engine::script::runScript("loadplugin(\"C:\\Conv\\Other.dll\")\r\nx = 1\r\n", fakes.table, {});
        FAIL();
    } catch (const engine::script::ScriptError &e) {
        EXPECT_EQ(e.line(), 1);
        EXPECT_NE(std::string(e.what()).find("LoadPlugin: unable to load \"C:\\Conv\\Other.dll\""), std::string::npos)
            << e.what();
    }
    // A "video" without video: Width is 0, so the height expression divides by zero.
    try {
        engine::script::runScript("a = DirectShowSource(\"x.mp3\")\r\naa = BicubicResize(a,256,256*Height(a)/Width(a))"
                                  "\r\naa\r\n",
                                  fakes.table, {});
        FAIL();
    } catch (const engine::script::ScriptError &e) {
        EXPECT_EQ(e.line(), 2);
        EXPECT_NE(std::string(e.what()).find("division by zero"), std::string::npos) << e.what();
    }
}

} // namespace
