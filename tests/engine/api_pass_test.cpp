// Both passes through the C interface of the built libTarvikDll.so, loaded
// with dlopen as the program loads it, checked with ffprobe.

#include "api_support.h"
#include "media_support.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <thread>

using mediatest::make;
using mediatest::probe;

namespace {

using Api = mediatest::TarvikApi;

class CApi : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(Api::get().handle, nullptr) << dlerror();
        ASSERT_NE(Api::get().lastError, nullptr);
    }
    const Api &api = Api::get();
};

// The converter's own script shape: resize to 256 wide, resample, trim.
std::string writeScript(const std::string &name, const std::string &video, int fps, int rate,
                        const std::string &trim)
{
    const std::string path = mediatest::tmpPath(name);
    const std::string f = std::to_string(fps);
    mediatest::writeText(path, "videofile = \"" + video + "\"\r\n"
                               "a = DirectShowSource(videofile, fps=" + f + ", convertfps=true)\r\n"
                               "a0 = a\r\n"
                               "aa = BicubicResize(a0,256,256*Height(a)/Width(a))\r\n"
                               "aa2 = ResampleAudio(aa," + std::to_string(rate) + ")\r\n"
                               "aaa = ConvertToYV12(aa2)\r\n"
                               "c = aaa\r\n" + trim + "\r\n");
    return path;
}

struct PassCase
{
    std::string name;
    std::string makeArgs;
    int fps;
    int rate;
    int expectedHeight;
};

class BothPasses : public CApi, public ::testing::WithParamInterface<PassCase>
{
};

TEST_P(BothPasses, WriteExactlyTheAnnouncedStreams)
{
    const PassCase &c = GetParam();
    const std::string video = make("api_" + c.name, c.makeArgs);
    const std::string f = std::to_string(c.fps);
    const std::string script = writeScript("api_" + c.name + ".avs", video, c.fps, c.rate, "Trim(c,0*" + f + ",2*" + f + ")");
    const std::string m1v = mediatest::tmpPath("api_" + c.name + ".m1v");
    const std::string mp2 = mediatest::tmpPath("api_" + c.name + ".mp2");

    ASSERT_EQ(api.begin(script.c_str(), m1v.c_str(), 427, 448, c.rate, 1, 1), 0) << api.lastError();
    const int32_t frames = api.frame();
    EXPECT_EQ(frames, 2 * c.fps + 1); // END*FPS is inclusive
    EXPECT_EQ(api.waitAndEnd(), 0) << api.lastError();
    EXPECT_STREQ(api.lastError(), "");

    auto v = probe(m1v, "v:0", "stream=codec_name,width,height,r_frame_rate,nb_read_frames", true);
    EXPECT_EQ(v["codec_name"], "mpeg1video");
    EXPECT_EQ(v["width"], "256");
    EXPECT_EQ(v["height"], std::to_string(c.expectedHeight));
    EXPECT_EQ(v["r_frame_rate"], "25/1");
    EXPECT_EQ(v["nb_read_frames"], std::to_string(frames));
    const std::string bytes = mediatest::readBytes(m1v);
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x00\x00\x01\xB3", 4));
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x00\x00\x01\xB7", 4));

    ASSERT_EQ(api.begin(script.c_str(), mp2.c_str(), 427, 448, c.rate, 0, 1), 0) << api.lastError();
    EXPECT_EQ(api.waitAndEnd(), 0) << api.lastError();
    auto a = probe(mp2, "a:0", "stream=codec_name,sample_rate,channels,bit_rate,nb_read_frames", true);
    EXPECT_EQ(a["codec_name"], "mp2");
    EXPECT_EQ(a["sample_rate"], std::to_string(c.rate));
    EXPECT_EQ(a["channels"], "2");
    EXPECT_EQ(a["bit_rate"], c.rate >= 32000 ? "384000" : "160000"); // 448 is moved to the nearest allowed
    // S(N) samples, in whole 1152-sample Layer II frames.
    const std::int64_t samples = std::int64_t{frames} * c.rate / c.fps;
    EXPECT_EQ(a["nb_read_frames"], std::to_string((samples + 1151) / 1152));
}

INSTANTIATE_TEST_SUITE_P(
    Api, BothPasses,
    ::testing::Values(
        PassCase{"h264.mp4", mediatest::avInputs(320, 240, 25, 3.0) + " -c:v libx264 -pix_fmt yuv420p -c:a aac", 15, 32000, 192},
        PassCase{"mpeg4.avi", mediatest::avInputs(352, 288, 30, 3.0) + " -c:v mpeg4 -c:a mp3", 12, 22050, 208},
        PassCase{"mpeg2.mpg", mediatest::avInputs(720, 480, 25, 3.0) + " -c:v mpeg2video -c:a mp2", 20, 44100, 170},
        PassCase{"vp8.webm", mediatest::avInputs(176, 144, 25, 3.0, 48000, 1) + " -c:v libvpx -c:a libopus", 10, 48000, 208},
        PassCase{"noaudio.mkv", "-f lavfi -i testsrc=size=320x180:rate=24:duration=3 -c:v libx264 -pix_fmt yuv420p", 5, 16000, 144}),
    [](const auto &param) {
        std::string n = param.param.name;
        std::replace(n.begin(), n.end(), '.', '_');
        return n;
    });

// Encode_GetFrame: ceil(N / fps) seconds of the probe script (Trim(c,0,0)).
TEST_F(CApi, GetFrameGivesTheLengthInWholeSecondsRoundedUp)
{
    const std::string video = make("api_len.mp4", mediatest::avInputs(160, 120, 25, 2.5) +
                                                      " -c:v libx264 -pix_fmt yuv420p -c:a aac");
    const std::string script = writeScript("api_len.avs", video, 15, 32000, "Trim(c,0,0)");
    EXPECT_EQ(api.getFrame(script.c_str()), 3);
    EXPECT_STREQ(api.lastError(), "");
}

// The audio of an AudioDub'ed external file (8 kHz mono wav).
TEST_F(CApi, ExternalAudioFileIsDubbedAndResampled)
{
    const std::string video = make("api_dub.mp4", mediatest::avInputs(160, 120, 25, 2.0) +
                                                      " -c:v libx264 -pix_fmt yuv420p -c:a aac");
    const std::string wav = make("api_dub.wav", "-f lavfi -i sine=frequency=300:sample_rate=8000:duration=5");
    const std::string script = mediatest::tmpPath("api_dub.avs");
    mediatest::writeText(script, "videofile = \"" + video + "\"\r\naudiofile = \"" + wav +
                                     "\"\r\na = AudioDub(DirectShowSource(videofile, fps=10, convertfps=true), "
                                     "DirectShowSource(audiofile))\r\n"
                                     "aa = BicubicResize(a,256,256*Height(a)/Width(a))\r\n"
                                     "aaa = ConvertToYV12(ResampleAudio(aa,32000))\r\nTrim(aaa,0,0)\r\n");
    const std::string mp2 = mediatest::tmpPath("api_dub.mp2");
    ASSERT_EQ(api.begin(script.c_str(), mp2.c_str(), 300, 128, 32000, 0, 2), 0) << api.lastError();
    EXPECT_EQ(api.frame(), 20);
    EXPECT_EQ(api.waitAndEnd(), 0) << api.lastError();
    auto a = probe(mp2, "a:0", "stream=sample_rate,channels,nb_read_frames", true);
    EXPECT_EQ(a["channels"], "2");
    EXPECT_EQ(a["nb_read_frames"], std::to_string((64000 + 1151) / 1152)); // cut to the video's 2 s
}

// Every frame rate the converter offers goes through the MPEG-1 encoder,
// whose sequence header always says 25 fps.
class FrameRates : public CApi, public ::testing::WithParamInterface<int>
{
};

TEST_P(FrameRates, EncodeWithTheNominal25FpsHeader)
{
    const int fps = GetParam();
    const std::string video = make("api_rates.mp4", mediatest::avInputs(64, 48, 25, 1.0) +
                                                        " -c:v libx264 -pix_fmt yuv420p -c:a aac");
    const std::string script = writeScript("api_rate" + std::to_string(fps) + ".avs", video, fps, 32000, "Trim(c,0,0)");
    const std::string m1v = mediatest::tmpPath("api_rate" + std::to_string(fps) + ".m1v");
    const int32_t kbps = (256 * 25 + fps / 2) / fps;
    ASSERT_EQ(api.begin(script.c_str(), m1v.c_str(), kbps, 128, 32000, 1, fps % 3), 0)
        << api.lastError();
    EXPECT_EQ(api.frame(), fps);
    EXPECT_EQ(api.waitAndEnd(), 0) << api.lastError();
    auto v = probe(m1v, "v:0", "stream=r_frame_rate,nb_read_frames,height", true);
    EXPECT_EQ(v["r_frame_rate"], "25/1");
    EXPECT_EQ(v["nb_read_frames"], std::to_string(fps));
    EXPECT_EQ(v["height"], "192");
}

INSTANTIATE_TEST_SUITE_P(Api, FrameRates, ::testing::Range(1, 21));

// Every sample rate x audio bit rate pair the converter offers.
struct AudioChoice
{
    int rate;
    int kbps;
};

class AudioChoices : public CApi, public ::testing::WithParamInterface<AudioChoice>
{
};

TEST_P(AudioChoices, EncodeOrFailWithTheRatesThatWork)
{
    const AudioChoice c = GetParam();
    const std::string video = make("api_short.mp4", mediatest::avInputs(64, 48, 25, 0.4) +
                                                        " -c:v libx264 -pix_fmt yuv420p -c:a aac");
    const std::string tag = std::to_string(c.rate) + "_" + std::to_string(c.kbps);
    const std::string script = writeScript("api_ab" + tag + ".avs", video, 10, c.rate, "Trim(c,0,0)");
    const std::string mp2 = mediatest::tmpPath("api_ab" + tag + ".mp2");
    const int32_t begun = api.begin(script.c_str(), mp2.c_str(), 640, c.kbps, c.rate, 0, 1);
    if (c.rate == 8000 || c.rate == 11250) {
        EXPECT_EQ(begun, -1);
        EXPECT_NE(std::string(api.lastError()).find("16000, 22050, 32000, 44100 or 48000"), std::string::npos)
            << api.lastError();
        EXPECT_EQ(api.end(), 0);
        return;
    }
    ASSERT_EQ(begun, 0) << api.lastError();
    EXPECT_EQ(api.waitAndEnd(), 0) << api.lastError();
    auto a = probe(mp2, "a:0", "stream=sample_rate,channels,bit_rate");
    EXPECT_EQ(a["sample_rate"], std::to_string(c.rate));
    EXPECT_EQ(a["channels"], "2");
    const bool lsf = c.rate < 32000;
    EXPECT_LE(std::stoi(a["bit_rate"]), (lsf ? 160 : 384) * 1000);
}

std::vector<AudioChoice> allAudioChoices()
{
    std::vector<AudioChoice> out;
    for (int rate : {8000, 11250, 16000, 22050, 32000, 44100, 48000})
        for (int kbps : {32, 48, 64, 96, 128, 160, 192, 224, 256, 384, 448})
            out.push_back({rate, kbps});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Api, AudioChoices, ::testing::ValuesIn(allAudioChoices()),
                         [](const auto &param) {
                             return std::to_string(param.param.rate) + "Hz_" + std::to_string(param.param.kbps);
                         });

struct FailingScript
{
    std::string name;
    std::string body; // %V is replaced by the video path
    std::string video; // "", or a name made by makeBad()
    std::string reason;
};

class FailingBegins : public CApi, public ::testing::WithParamInterface<FailingScript>
{
};

std::string makeBad(const std::string &kind)
{
    const std::string path = mediatest::tmpPath("bad_api_" + kind);
    if (kind == "junk.mp4")
        mediatest::writeText(path, std::string(10000, '\x17'));
    else if (kind == "empty.mp4")
        mediatest::writeText(path, "");
    else if (kind == "truncated.mp4") {
        const std::string whole = mediatest::readBytes(
            make("api_whole.mp4", mediatest::avInputs(160, 120, 25, 2.0) + " -c:v libx264 -pix_fmt yuv420p -c:a aac"));
        mediatest::writeText(path, whole.substr(0, whole.size() / 2));
    } else if (kind == "good.mp4")
        return make("api_whole.mp4", mediatest::avInputs(160, 120, 25, 2.0) + " -c:v libx264 -pix_fmt yuv420p -c:a aac");
    else if (kind == "audio.mp3")
        return make("api_audio.mp3", "-f lavfi -i sine=duration=2 -c:a libmp3lame");
    return path;
}

TEST_P(FailingBegins, ReturnMinusOneWithAReasonAndLeaveNothingOpen)
{
    const FailingScript &c = GetParam();
    std::string body = c.body;
    const std::string video = c.video.empty() ? mediatest::tmpPath("does-not-exist.avi") : makeBad(c.video);
    body.replace(body.find("%V"), 2, video);
    const std::string script = mediatest::tmpPath("fail_" + c.name + ".avs");
    mediatest::writeText(script, body);
    const std::string out = mediatest::tmpPath("fail_" + c.name + ".m1v");
    EXPECT_EQ(api.begin(script.c_str(), out.c_str(), 427, 128, 32000, 1, 1), -1);
    const std::string reason = api.lastError();
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    EXPECT_EQ(api.frame(), 0); // the run asks before testing Begin's result
    EXPECT_EQ(api.encoding(), 100);
    EXPECT_EQ(api.end(), 0); // and ends after a failed Begin
    EXPECT_EQ(api.getFrame(script.c_str()), 0);
    EXPECT_FALSE(std::string(api.lastError()).empty());
}

const std::string kSource = "a = DirectShowSource(\"%V\", fps=15, convertfps=true)\r\n"
                            "aa = BicubicResize(a,256,256*Height(a)/Width(a))\r\nTrim(aa,0,0)\r\n";

INSTANTIATE_TEST_SUITE_P(
    Api, FailingBegins,
    ::testing::Values(FailingScript{"missing", kSource, "", "does not exist"},
                      FailingScript{"junk", kSource, "junk.mp4", "cannot read"},
                      FailingScript{"empty", kSource, "empty.mp4", "is empty"},
                      FailingScript{"truncated", kSource, "truncated.mp4", "bad_api_truncated.mp4"},
                      FailingScript{"audioonly", kSource, "audio.mp3", "has no video stream"},
                      FailingScript{"unknown", "a = DirectShowSource(\"%V\", fps=15)\r\nNoSuchFilter(a)\r\n",
                                    "good.mp4", "NoSuchFilter"}),
    [](const auto &param) { return param.param.name; });

TEST_F(CApi, EndWithNothingOpenIsHarmlessAndRepeatable)
{
    EXPECT_EQ(api.end(), 0);
    EXPECT_EQ(api.end(), 0);
    EXPECT_EQ(api.encoding(), 100);
    EXPECT_EQ(api.leftTime(), 0);
}

// Stop: End during a pass returns promptly with -1 and leaves a closed,
// well-formed (shorter) stream.
TEST_F(CApi, EndDuringAPassStopsPromptlyAndClosesTheStream)
{
    const std::string video = make("api_stop.mp4", mediatest::avInputs(640, 360, 25, 40.0) +
                                                       " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac");
    const std::string script = writeScript("api_stop.avs", video, 20, 32000, "Trim(c,0,0)");
    const std::string m1v = mediatest::tmpPath("api_stop.m1v");
    ASSERT_EQ(api.begin(script.c_str(), m1v.c_str(), 320, 128, 32000, 1, 0), 0) << api.lastError();
    EXPECT_EQ(api.frame(), 800);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(api.encoding(), 100);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(api.end(), -1);
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(took, std::chrono::seconds(1));
    EXPECT_NE(std::string(api.lastError()).find("stopped"), std::string::npos) << api.lastError();
    const std::string bytes = mediatest::readBytes(m1v);
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x00\x00\x01\xB7", 4));
    auto v = probe(m1v, "v:0", "stream=nb_read_frames", true);
    EXPECT_LT(std::stoi(v["nb_read_frames"]), 800);
    EXPECT_EQ(api.end(), 0); // nothing open any more
}

// A Reverse reads its whole input before its first frame: that read shows
// as progress, and End during it stops it and still closes the stream.
TEST_F(CApi, EndDuringReversesLongReadStopsItAndClosesTheStream)
{
    const std::string video = make("api_reverse_stop.mp4", mediatest::avInputs(640, 360, 25, 120.0) +
                                                               " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac");
    const std::string script = mediatest::tmpPath("api_reverse_stop.avs");
    mediatest::writeText(script, "a = DirectShowSource(\"" + video + "\", fps=25, convertfps=true)\r\n"
                                 "b = BicubicResize(a,256,144)\r\n"
                                 "Reverse(b)\r\n");
    const std::string m1v = mediatest::tmpPath("api_reverse_stop.m1v");
    ASSERT_EQ(api.begin(script.c_str(), m1v.c_str(), 320, 128, 32000, 1, 0), 0) << api.lastError();
    ASSERT_EQ(api.frame(), 3000);
    int32_t seen = 0;
    for (int i = 0; i < 20000 && seen == 0; ++i) {
        seen = api.encoding();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GT(seen, 0);
    EXPECT_LT(seen, 100);
    EXPECT_EQ(api.end(), -1);
    EXPECT_NE(std::string(api.lastError()).find("stopped"), std::string::npos) << api.lastError();
    const std::string bytes = mediatest::readBytes(m1v);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x00\x00\x01\xB7", 4));
    if (bytes.size() > 4) {
        auto v = probe(m1v, "v:0", "stream=nb_read_frames", true);
        EXPECT_LT(std::stoi(v["nb_read_frames"]), 3000);
    }
    EXPECT_EQ(api.end(), 0);
}

} // namespace
