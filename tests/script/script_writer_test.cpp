#include "script/script_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using core::ScriptWarning;

class ScriptWriterTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const auto *info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        m_dir = fs::path(VELMORA_TEST_TMP) / ("script_" + name);
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }

    void TearDown() override
    {
        if (!HasFailure())
            fs::remove_all(m_dir);
    }

    // The stand-in for a Windows path of the examples ("C:\Videos\clip.avi"
    // -> <scratch>/Videos/clip.avi); the folder is made, the file is not.
    std::string real(const std::string &windowsPath)
    {
        std::string rest = windowsPath.substr(3); // drop "C:\"
        std::replace(rest.begin(), rest.end(), '\\', '/');
        const fs::path path = m_dir / rest;
        fs::create_directories(path.parent_path());
        m_substitutions[windowsPath] = path.string();
        return path.string();
    }

    std::string makeFile(const std::string &windowsPath)
    {
        const std::string path = real(windowsPath);
        std::ofstream(path, std::ios::binary) << "x";
        return path;
    }

    // The plain conversion job of the eight-line example.
    core::ScriptRequest exampleRequest()
    {
        core::ScriptRequest request;
        request.mode = 1;
        request.videoPath = makeFile("C:\\Videos\\clip.avi");
        request.appFolder = (m_dir / "Conv").string() + "/";
        fs::create_directories(m_dir / "Conv");
        m_substitutions["C:\\Conv\\"] = request.appFolder;
        request.scriptPath = request.appFolder + "temp.avs";
        request.frameCount = 120;
        request.logoFontSize = 12.0;
        core::JobSettings &s = request.shown;
        s.frameRateIndex = 14; // "15"
        s.videoBitrate = "256";
        s.audioBitrateIndex = 4; // "128"
        s.sampleRateIndex = 4;   // "32000"
        s.startTime = "0";
        s.endTime = "120";
        s.totalTime = 120;
        // No colour filter: the window's saturation and sharpness defaults add one.
        s.saturation = 10;
        s.sharpness = 0;
        s.introType = 0;
        s.introFadeMode = 1;
        s.logoFontName = "Arial";
        s.logoBold = "0";
        s.logoItalic = "0";
        return request;
    }

    // Example lines with CR LF after each and the Windows paths replaced by
    // their stand-ins.
    std::string expected(std::initializer_list<std::string> lines) const
    {
        std::string text;
        for (const auto &line : lines)
            text += line + "\r\n";
        for (const auto &[from, to] : m_substitutions) {
            for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
                text.replace(at, from.size(), to);
        }
        return text;
    }

    static std::optional<std::string> readFile(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // The script's lines; fails the test unless every line ends in CR LF.
    static std::vector<std::string> linesOf(const std::string &text)
    {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < text.size()) {
            const auto end = text.find("\r\n", start);
            if (end == std::string::npos) {
                ADD_FAILURE() << "line without CR LF: " << text.substr(start);
                break;
            }
            lines.push_back(text.substr(start, end - start));
            EXPECT_EQ(lines.back().find_first_of("\r\n"), std::string::npos) << lines.back();
            start = end + 2;
        }
        return lines;
    }

    std::vector<std::string> writeAndRead(const core::ScriptRequest &request)
    {
        const auto result = core::writeScript(request);
        EXPECT_EQ(result.result, 1);
        EXPECT_EQ(result.warning, ScriptWarning::None);
        const auto text = readFile(request.scriptPath);
        if (!text) {
            ADD_FAILURE() << "no script written";
            return {};
        }
        return linesOf(*text);
    }

    // The lines after the trimming line.
    std::vector<std::string> filterLines(const core::ScriptRequest &request)
    {
        const auto lines = writeAndRead(request);
        const auto trim = std::find_if(lines.begin(), lines.end(),
                                       [](const std::string &l) { return l.rfind("Trim(c,", 0) == 0; });
        EXPECT_NE(trim, lines.end());
        return trim == lines.end() ? std::vector<std::string>{} : std::vector<std::string>(trim + 1, lines.end());
    }

    static bool contains(const std::vector<std::string> &lines, const std::string &line)
    {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    fs::path m_dir;
    std::map<std::string, std::string> m_substitutions;
};

TEST_F(ScriptWriterTest, EightLineExample)
{
    const auto request = exampleRequest();
    const auto result = core::writeScript(request);
    EXPECT_EQ(result.result, 1);
    EXPECT_EQ(result.warning, ScriptWarning::None);
    EXPECT_EQ(result.run.frameRate, 15);
    EXPECT_EQ(result.run.videoBitrate, 427);
    EXPECT_EQ(result.run.audioBitrate, 128);
    EXPECT_EQ(result.run.sampleRate, 32000);
    EXPECT_EQ(readFile(request.scriptPath), expected({
                                                "videofile = \"C:\\Videos\\clip.avi\"",
                                                "a = DirectShowSource(videofile, fps=15, convertfps=true)",
                                                "a0 = a",
                                                "aa = BicubicResize(a0,256,256*Height(a)/Width(a))",
                                                "aa2 = ResampleAudio(aa,32000)",
                                                "aaa = ConvertToYV12(aa2)",
                                                "c = aaa",
                                                "Trim(c,0*15,120*15)",
                                            }));
}

TEST_F(ScriptWriterTest, ProbeVersionOfTheExampleKeepsTheWholeClip)
{
    auto request = exampleRequest();
    request.mode = 0;
    const auto result = core::writeScript(request);
    EXPECT_EQ(result.result, 1);
    EXPECT_EQ(result.run.videoBitrate, 427);
    EXPECT_EQ(readFile(request.scriptPath), expected({
                                                "videofile = \"C:\\Videos\\clip.avi\"",
                                                "a = DirectShowSource(videofile, fps=15, convertfps=true)",
                                                "a0 = a",
                                                "aa = BicubicResize(a0,256,256*Height(a)/Width(a))",
                                                "aa2 = ResampleAudio(aa,32000)",
                                                "aaa = ConvertToYV12(aa2)",
                                                "c = aaa",
                                                "Trim(c,0,0)",
                                            }));
}

TEST_F(ScriptWriterTest, IntroductionVideoExample)
{
    auto request = exampleRequest();
    request.shown.introVideoFile = makeFile("C:\\Intro\\intro.avi");
    request.shown.introType = 0;
    request.shown.introFadeMode = 0;
    request.shown.introFadeTime = "2";
    EXPECT_EQ(core::writeScript(request).result, 1);
    EXPECT_EQ(readFile(request.scriptPath), expected({
                                                "videofile = \"C:\\Videos\\clip.avi\"",
                                                "videointfile = \"C:\\Intro\\intro.avi\"",
                                                "a = DirectShowSource(videofile, fps=15, convertfps=true)",
                                                "a0 = a",
                                                "aa = BicubicResize(a0,256,256*Height(a)/Width(a))",
                                                "aa2 = ResampleAudio(aa,32000)",
                                                "aaa = ConvertToYV12(aa2)",
                                                "b = DirectShowSource(videointfile, fps=15, convertfps=true)",
                                                "bb = ResampleAudio(b,32000)",
                                                "bb2 = BicubicResize(bb,256,256*Height(a)/Width(a))",
                                                "bbb = ConvertToYV12(bb2)",
                                                "c1 = Dissolve (bbb,aaa,0)",
                                                "c = FadeIn (c1,2*15)",
                                                "Trim(c,0*15,120*15+Framecount(bbb))",
                                            }));
}

TEST_F(ScriptWriterTest, EveryOptionOnExample)
{
    auto request = exampleRequest();
    core::JobSettings &s = request.shown;
    s.audioFile = makeFile("C:\\Music\\song.mp3");
    s.subtitleFile = makeFile("C:\\Videos\\clip.srt");
    s.autoCrop = 1;
    s.logoText = "Demo";
    s.logoX = "10";
    s.logoY = "20";
    s.logoStart = "0";
    s.logoEnd = "5";
    s.logoFontName = "Arial";
    s.logoFontSize = 12;
    request.logoFontSize = 12.0;
    s.logoColor = 255;
    s.reverse = 1;
    s.introType = 1;
    s.introImageFile = makeFile("C:\\Intro\\card.jpg");
    s.introImageTime = "3";
    s.introFadeMode = 3;
    s.introFadeTime = "1";
    s.startTime = "10";
    s.endTime = "60";
    s.hue = 30;
    s.saturation = 12;
    s.brightness = -10;
    s.contrast = 10;
    s.sharpness = 50;
    s.volume = 150;
    s.audioDelay = 5;
    s.channelMode = 1;
    EXPECT_EQ(core::writeScript(request).result, 1);
    EXPECT_EQ(readFile(request.scriptPath),
              expected({
                  "loadplugin(\"C:\\Conv\\AutoCrop.dll\")",
                  "loadplugin(\"C:\\Conv\\VSFilter.dll\")",
                  "videofile = \"C:\\Videos\\clip.avi\"",
                  "audiofile = \"C:\\Music\\song.mp3\"",
                  "subfile = \"C:\\Videos\\clip.srt\"",
                  "imageintfile = \"C:\\Intro\\card.jpg\"",
                  "a = AudioDub(DirectShowSource(videofile, fps=15, convertfps=true), DirectShowSource(audiofile))",
                  "a0 = AutoCrop(a,mode=0,wmultof=4,hmultof=4,samples=10,aspect=0,threshold=34,samplestartframe=0)",
                  "a1 = BicubicResize(a0,256,256*Height(a)/Width(a))",
                  "aa = Subtitle(a1,\"Demo\",10,20,0*15,5*15,\"Arial\",12,16711680)",
                  "aa1 = ResampleAudio(aa,32000)",
                  "aa2 = Reverse(aa1)",
                  "aaa = ConvertToYV12(aa2)",
                  "b1 = ImageSource(imageintfile,0,3*15,15)",
                  "b2 = Tone(3,0,32000,2,\"Silence\",1.0)",
                  "b = AudioDub(b1,b2)",
                  "bb = ResampleAudio(b,32000)",
                  "bb2 = BicubicResize(bb,256,256*Height(a)/Width(a))",
                  "bbb = ConvertToYV12(bb2)",
                  "c = Dissolve (bbb,aaa,1*15)",
                  "Trim(c,10*15,(60+3)*15)",
                  "Tweak(30,1.2,-10,1)",
                  "Sharpen(0.5)",
                  "Amplify(1.5)",
                  "DelayAudio(0.5)",
                  "GetChannel(1,1)",
                  "TextSub(subfile)",
              }));
}

struct TimeCase
{
    const char *start;
    const char *end;
    std::int32_t frameCount;
    ScriptWarning warning;
};

TEST_F(ScriptWriterTest, TimeCheckRefusesBadRangesAndRemovesTheOldScript)
{
    const TimeCase cases[] = {
        {"30", "20", 120, ScriptWarning::TimeControl}, {"-1", "20", 120, ScriptWarning::TimeControl},
        {"121", "200", 120, ScriptWarning::TimeControl}, {"1", "5", 0, ScriptWarning::TimeControl},
        {"abc", "20", 120, ScriptWarning::Parameter},  {"0", "xyz", 120, ScriptWarning::Parameter},
        {"", "20", 120, ScriptWarning::Parameter},     {"0", "500", 120, ScriptWarning::None},
        {"120", "120", 120, ScriptWarning::None},      {"0", "0", 0, ScriptWarning::None},
        {" 5 ", "6.5", 120, ScriptWarning::None},      {"-0.4", "10", 120, ScriptWarning::None},
        {"-0.6", "10", 120, ScriptWarning::TimeControl},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.start) + " .. " + c.end + " of " + std::to_string(c.frameCount));
        auto request = exampleRequest();
        request.shown.startTime = c.start;
        request.shown.endTime = c.end;
        request.frameCount = c.frameCount;
        std::ofstream(request.scriptPath, std::ios::binary) << "stale";

        const auto result = core::writeScript(request);
        EXPECT_EQ(result.warning, c.warning);
        EXPECT_EQ(result.result, c.warning == ScriptWarning::None ? 1 : 0);
        EXPECT_EQ(fs::exists(request.scriptPath), c.warning == ScriptWarning::None);
        // The run values are set before the check, also when it refuses.
        EXPECT_EQ(result.run.frameRate, 15);
        EXPECT_EQ(result.run.videoBitrate, 427);
        EXPECT_EQ(result.run.sampleRate, 32000);
    }
}

TEST_F(ScriptWriterTest, EmptyClipTrimsTheWholeClip)
{
    auto request = exampleRequest();
    request.frameCount = 0;
    request.shown.endTime = "0";
    const auto lines = writeAndRead(request);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Trim(c,0,0)");
}

struct BitrateCase
{
    std::int32_t frameRateIndex;
    const char *kbps;
    std::optional<std::int32_t> encoderValue;
};

TEST_F(ScriptWriterTest, VideoBitrateForTheEncoder)
{
    const BitrateCase cases[] = {
        {14, "256", 427},         {1, "1", 12},          // 12.5 -> even below
        {1, "3", 38},             {1, "-1", -12},        // 37.5 -> even above; -12.5 -> -12
        {19, "-100", -125},       {14, " 256.4 ", 427},  {0, "85899345", 2147483625},
        {0, "85899346", std::nullopt},                   // 2147483650 does not fit 32 bits
        {0, "-85899346", std::nullopt}, {14, "", std::nullopt}, {14, "fast", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string("\"") + c.kbps + "\" at " + std::to_string(c.frameRateIndex + 1));
        auto request = exampleRequest();
        request.shown.frameRateIndex = c.frameRateIndex;
        request.shown.videoBitrate = c.kbps;
        const auto result = core::writeScript(request);
        EXPECT_EQ(result.run.frameRate, c.frameRateIndex + 1);
        if (c.encoderValue) {
            EXPECT_EQ(result.result, 1);
            EXPECT_EQ(result.run.videoBitrate, *c.encoderValue);
            EXPECT_EQ(result.run.sampleRate, 32000);
        } else {
            EXPECT_EQ(result.result, 0);
            EXPECT_EQ(result.warning, ScriptWarning::Parameter);
            EXPECT_EQ(result.run.videoBitrate, 0);
            EXPECT_FALSE(fs::exists(request.scriptPath));
        }
    }
}

TEST_F(ScriptWriterTest, ChoiceItemsAndBadIndexes)
{
    auto request = exampleRequest();
    request.shown.audioBitrateIndex = 10;
    request.shown.sampleRateIndex = 1;
    auto result = core::writeScript(request);
    EXPECT_EQ(result.run.audioBitrate, 448);
    EXPECT_EQ(result.run.sampleRate, 11250);

    for (auto bad : {&core::JobSettings::frameRateIndex, &core::JobSettings::audioBitrateIndex,
                     &core::JobSettings::sampleRateIndex}) {
        for (std::int32_t index : {-1, 20}) {
            request = exampleRequest();
            request.shown.*bad = index;
            result = core::writeScript(request);
            EXPECT_EQ(result.warning, ScriptWarning::Parameter) << index;
            EXPECT_FALSE(fs::exists(request.scriptPath));
        }
    }
}

TEST_F(ScriptWriterTest, InputVideoMustBeAnExistingFile)
{
    fs::create_directories(m_dir / "folder.avi");
    for (const std::string &video : {std::string(), (m_dir / "missing.avi").string(), (m_dir / "folder.avi").string()}) {
        SCOPED_TRACE(video);
        auto request = exampleRequest();
        request.videoPath = video;
        const auto result = core::writeScript(request);
        EXPECT_EQ(result.result, 0);
        EXPECT_EQ(result.warning, ScriptWarning::NoInputVideo);
        EXPECT_FALSE(fs::exists(request.scriptPath));
    }
}

TEST_F(ScriptWriterTest, OptionalFilesCountOnlyAsExistingPlainFiles)
{
    fs::create_directories(m_dir / "folder.mp3");
    const std::string absent[] = {(m_dir / "missing.mp3").string(), (m_dir / "folder.mp3").string()};
    const auto plain = [this] {
        auto request = exampleRequest();
        return writeAndRead(request);
    }();
    for (const auto &path : absent) {
        SCOPED_TRACE(path);
        auto request = exampleRequest();
        request.shown.audioFile = path;
        request.shown.subtitleFile = path;
        request.shown.introVideoFile = path;
        EXPECT_EQ(writeAndRead(request), plain);

        request.shown.introType = 1;
        request.shown.introImageFile = path;
        EXPECT_EQ(writeAndRead(request), plain);
    }
}

TEST_F(ScriptWriterTest, ProbeNeverHoldsTheIntroduction)
{
    const std::string video = makeFile("C:\\Intro\\intro.avi");
    const std::string image = makeFile("C:\\Intro\\card.jpg");
    for (std::int32_t mode : {0, 2, -1}) {
        for (std::int32_t type : {0, 1}) {
            for (std::int32_t fade : {0, 1, 2, 3}) {
                SCOPED_TRACE("mode " + std::to_string(mode) + " type " + std::to_string(type) + " fade "
                             + std::to_string(fade));
                auto request = exampleRequest();
                request.mode = mode;
                request.shown.introType = type;
                request.shown.introFadeMode = fade;
                request.shown.introVideoFile = video;
                request.shown.introImageFile = image;
                request.shown.introImageTime = "3";
                request.shown.introFadeTime = "2";
                request.shown.startTime = "5";
                const auto lines = writeAndRead(request);
                for (const auto &line : lines) {
                    EXPECT_EQ(line.find("intfile"), std::string::npos) << line;
                    EXPECT_NE(line[0], 'b') << line;
                    EXPECT_EQ(line.find("Dissolve"), std::string::npos) << line;
                    EXPECT_EQ(line.find("Fade"), std::string::npos) << line;
                }
                EXPECT_TRUE(contains(lines, "c = aaa"));
                EXPECT_EQ(lines.back(), "Trim(c,0,0)");
            }
        }
    }
}

TEST_F(ScriptWriterTest, IntroductionImageLines)
{
    auto request = exampleRequest();
    request.shown.introType = 1;
    request.shown.introImageFile = makeFile("C:\\Intro\\card.jpg");
    request.shown.introImageTime = "3";
    request.shown.introFadeMode = 2;
    request.shown.introFadeTime = "1.5";
    const auto lines = writeAndRead(request);
    const std::vector<std::string> tail(lines.end() - 9, lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{
                        "b1 = ImageSource(imageintfile,0,3*15,15)",
                        "b2 = Tone(3,0,32000,2,\"Silence\",1.0)",
                        "b = AudioDub(b1,b2)",
                        "bb = ResampleAudio(b,32000)",
                        "bb2 = BicubicResize(bb,256,256*Height(a)/Width(a))",
                        "bbb = ConvertToYV12(bb2)",
                        "c1 = Dissolve (bbb,aaa,0)",
                        "c = FadeIO (c1,1.5*15)",
                        "Trim(c,0*15,(120+3)*15)",
                    }));
}

TEST_F(ScriptWriterTest, IntroductionTypeMustMatchThePresentFile)
{
    const auto plain = [this] {
        auto request = exampleRequest();
        return writeAndRead(request);
    }();
    auto request = exampleRequest();
    request.shown.introType = 0; // video chosen, only an image present
    request.shown.introImageFile = makeFile("C:\\Intro\\card.jpg");
    EXPECT_EQ(writeAndRead(request), plain);

    request.shown.introType = 1; // image chosen, only a video present
    request.shown.introImageFile.clear();
    request.shown.introVideoFile = makeFile("C:\\Intro\\intro.avi");
    EXPECT_EQ(writeAndRead(request), plain);
}

struct FilterCase
{
    const char *name;
    std::int32_t core::JobSettings::*field;
    std::int32_t value;
    std::vector<std::string> lines;
};

TEST_F(ScriptWriterTest, FilterLines)
{
    const FilterCase cases[] = {
        {"neutral", &core::JobSettings::hue, 0, {}},
        {"saturation", &core::JobSettings::saturation, 15, {"Tweak(0,1.5,0,1)"}},
        {"contrast", &core::JobSettings::contrast, 0, {"Tweak(0,1,0,0)"}},
        {"hue", &core::JobSettings::hue, -180, {"Tweak(-180,1,0,1)"}},
        {"brightness", &core::JobSettings::brightness, 255, {"Tweak(0,1,255,1)"}},
        {"sharp low", &core::JobSettings::sharpness, -158, {"Sharpen(-1.58)"}},
        {"sharp high", &core::JobSettings::sharpness, 100, {"Sharpen(1)"}},
        {"sharp small", &core::JobSettings::sharpness, 7, {"Sharpen(0.07)"}},
        {"mute", &core::JobSettings::volume, 0, {"Amplify(0)"}},
        {"loud", &core::JobSettings::volume, 1000, {"Amplify(10)"}},
        {"early", &core::JobSettings::audioDelay, -100, {"DelayAudio(-10)"}},
        {"late", &core::JobSettings::audioDelay, 3, {"DelayAudio(0.3)"}},
        {"left", &core::JobSettings::channelMode, 1, {"GetChannel(1,1)"}},
        {"right", &core::JobSettings::channelMode, 2, {"GetChannel(2,2)"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto request = exampleRequest();
        request.shown.*c.field = c.value;
        EXPECT_EQ(filterLines(request), c.lines);
    }
}

TEST_F(ScriptWriterTest, SubtitlesComeLastAndLoadTheirPlugin)
{
    auto request = exampleRequest();
    request.shown.subtitleFile = makeFile("C:\\Videos\\clip.srt");
    request.shown.channelMode = 2;
    request.shown.autoCrop = 1;
    const auto lines = writeAndRead(request);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "loadplugin(\"" + request.appFolder + "AutoCrop.dll\")");
    EXPECT_EQ(lines[1], "loadplugin(\"" + request.appFolder + "VSFilter.dll\")");
    EXPECT_EQ(lines[lines.size() - 2], "GetChannel(2,2)");
    EXPECT_EQ(lines.back(), "TextSub(subfile)");
}

TEST_F(ScriptWriterTest, LogoLineOnlyWithLogoText)
{
    auto request = exampleRequest();
    request.shown.logoX = "10";
    request.shown.logoY = "20";
    request.shown.logoColor = 255;
    auto lines = writeAndRead(request);
    EXPECT_TRUE(contains(lines, "aa = BicubicResize(a0,256,256*Height(a)/Width(a))"));
    for (const auto &line : lines)
        EXPECT_EQ(line.find("Subtitle"), std::string::npos);

    request.shown.logoText = "Hi";
    request.shown.logoStart = "1";
    request.shown.logoEnd = "2";
    request.shown.logoColor = 0x00336699;
    request.logoFontSize = 10.5;
    lines = writeAndRead(request);
    EXPECT_TRUE(contains(lines, "a1 = BicubicResize(a0,256,256*Height(a)/Width(a))"));
    EXPECT_TRUE(contains(lines, "aa = Subtitle(a1,\"Hi\",10,20,1*15,2*15,\"Arial\",10.5,10053171)"));
}

TEST_F(ScriptWriterTest, QuotesInValuesUseTripleQuotes)
{
    auto request = exampleRequest();
    request.videoPath = makeFile("C:\\Videos\\my \"best\" clip.avi");
    request.shown.logoText = "5\"";
    request.shown.logoX = "0";
    request.shown.logoY = "0";
    request.shown.logoStart = "0";
    request.shown.logoEnd = "1";
    const auto lines = writeAndRead(request);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "videofile = \"\"\"" + request.videoPath + "\"\"\"");
    EXPECT_EQ(lines[4], "aa = Subtitle(a1,\"\"\"5\"\"\"\",0,0,0*15,1*15,\"Arial\",12,0)");
}

TEST_F(ScriptWriterTest, UnwritableScriptIsAParameterError)
{
    auto request = exampleRequest();
    request.scriptPath = (m_dir / "no such folder" / "temp.avs").string();
    auto result = core::writeScript(request);
    EXPECT_EQ(result.result, 0);
    EXPECT_EQ(result.warning, ScriptWarning::Parameter);
    EXPECT_EQ(result.run.videoBitrate, 427);

    // A folder in the script's place is neither deleted nor written into.
    request.scriptPath = (m_dir / "busy.avs").string();
    fs::create_directories(m_dir / "busy.avs" / "inside");
    result = core::writeScript(request);
    EXPECT_EQ(result.warning, ScriptWarning::Parameter);
    EXPECT_TRUE(fs::is_directory(m_dir / "busy.avs" / "inside"));
}

TEST(ScriptWarningText, UserTexts)
{
    EXPECT_STREQ(core::scriptWarningText(ScriptWarning::None), "");
    EXPECT_STREQ(core::scriptWarningText(ScriptWarning::TimeControl), "Time Control setting Error!");
    EXPECT_STREQ(core::scriptWarningText(ScriptWarning::NoInputVideo),
                 "No Input Video File to convert! Please add Input Video File!");
    EXPECT_STREQ(core::scriptWarningText(ScriptWarning::Parameter),
                 "Parameter Error! Please correct it and try again!");
}

} // namespace
