// Both passes through the C interface of the built libTarvikDll.so, loaded
// as the program loads it, the streams checked with ffprobe.

#include "pass/encode_pass.h"
#include "pass/session.h"
#include "support/scratch.h"
#include "support/tarvik_api.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using support::media;
using support::probe;
using support::testCard;

const support::TarvikApi &api()
{
    static const support::TarvikApi loaded = support::TarvikApi::load(TARVIK_LIBRARY_PATH);
    return loaded;
}

std::string scratch(const std::string &name)
{
    const auto dir = support::fs::path(VELMORA_TEST_TMP) / "api";
    support::fs::create_directories(dir);
    return (dir / name).string();
}

// The writer's script shape: resize to 256 wide, resample, trim.
std::string script(const std::string &name, const std::string &video, int fps, int rate, const std::string &trim)
{
    const std::string path = scratch(name + ".avs");
    const std::string f = std::to_string(fps);
    support::writeFile(path, "videofile = \"" + video + "\"\r\na = DirectShowSource(videofile, fps=" + f +
                                 ", convertfps=true)\r\naa = BicubicResize(a,256,256*Height(a)/Width(a))\r\n"
                                 "aaa = ConvertToYV12(ResampleAudio(aa," + std::to_string(rate) + "))\r\nc = aaa\r\n" +
                                 trim + "\r\n");
    return path;
}

// Runs one pass to its end: Encode_Frame's answer (video), with progress
// that never goes down and ends at 100.
int32_t pass(const std::string &avs, const std::string &out, int32_t videoKbps, int32_t audioKbps, int32_t rate,
             int32_t videoPass, int32_t mode = 2)
{
    EXPECT_EQ(api().begin(avs.c_str(), out.c_str(), videoKbps, audioKbps, rate, videoPass, mode), 0) << api().lastError();
    const int32_t frames = api().frame();
    int32_t last = 0;
    for (int32_t p = 0; p < 100; p = api().encoding()) {
        EXPECT_GE(p, last);
        EXPECT_GE(api().leftTime(), 0);
        last = p;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(api().end(), 0) << api().lastError();
    EXPECT_STREQ(api().lastError(), "");
    return frames;
}

class CApi : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(api().loaded()) << dlerror(); }
};

const std::string &shortClip()
{
    static const std::string path = media("api_short.mp4", testCard(64, 48, 25, 1.0) + support::kH264 + " -c:a aac");
    return path;
}

// Every frame rate the converter offers, under the 25 fps label.
class FrameRates : public CApi, public ::testing::WithParamInterface<int>
{
};

TEST_P(FrameRates, EncodeWithTheNominal25FpsHeader)
{
    const int fps = GetParam();
    const std::string avs = script("rate" + std::to_string(fps), shortClip(), fps, 32000, "Trim(c,0,0)");
    const std::string m1v = scratch("rate" + std::to_string(fps) + ".m1v");
    EXPECT_EQ(pass(avs, m1v, (256 * 25 + fps / 2) / fps, 128, 32000, 1, fps % 3), fps);
    auto v = probe(m1v, "v:0", "codec_name,width,height,r_frame_rate,nb_read_frames");
    EXPECT_EQ(v, (std::map<std::string, std::string>{{"codec_name", "mpeg1video"}, {"width", "256"}, {"height", "192"},
                                                     {"r_frame_rate", "25/1"}, {"nb_read_frames", std::to_string(fps)}}));
    // A sequence header first, the sequence end code last.
    const std::string bytes = support::readFile(m1v);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x00\x00\x01\xB3", 4));
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x00\x00\x01\xB7", 4));
}

INSTANTIATE_TEST_SUITE_P(Api, FrameRates, ::testing::Range(1, 21));

// Every sample rate x audio bit rate pair the converter offers: Layer II
// refuses 8000 and 11250 Hz, moves the rate to one it allows, and carries
// the picture's S(N) samples in whole frames.
class AudioChoices : public CApi, public ::testing::WithParamInterface<std::pair<int, int>>
{
};

TEST_P(AudioChoices, EncodeOrFailWithTheRatesThatWork)
{
    const auto [rate, kbps] = GetParam();
    const std::string tag = std::to_string(rate) + "_" + std::to_string(kbps);
    const std::string avs = script("ab" + tag, shortClip(), 10, rate, "Trim(c,0,4)");
    const std::string mp2 = scratch("ab" + tag + ".mp2");
    if (rate == 8000 || rate == 11250) {
        EXPECT_EQ(api().begin(avs.c_str(), mp2.c_str(), 640, kbps, rate, 0, 1), -1);
        EXPECT_NE(std::string(api().lastError()).find("16000, 22050, 32000, 44100 or 48000"), std::string::npos)
            << api().lastError();
        EXPECT_EQ(api().end(), 0);
        return;
    }
    pass(avs, mp2, 640, kbps, rate, 0);
    auto a = probe(mp2, "a:0", "codec_name,sample_rate,channels,bit_rate,nb_read_frames");
    EXPECT_EQ(std::tuple(a["codec_name"], a["sample_rate"], a["channels"], a["nb_read_frames"]),
              std::tuple(std::string("mp2"), std::to_string(rate), std::string("2"), std::to_string((5 * rate / 10 + 1151) / 1152)));
    const int highest = (rate < 32000 ? 160 : 384) * 1000; // 448 moves to the nearest allowed
    EXPECT_TRUE(kbps == 448 ? std::stoi(a["bit_rate"]) == highest : std::stoi(a["bit_rate"]) <= highest) << a["bit_rate"];
}

std::vector<std::pair<int, int>> allAudioChoices()
{
    std::vector<std::pair<int, int>> out;
    for (int rate : {8000, 11250, 16000, 22050, 32000, 44100, 48000})
        for (int kbps : {32, 48, 64, 96, 128, 160, 192, 224, 256, 384, 448})
            out.emplace_back(rate, kbps);
    return out;
}

INSTANTIATE_TEST_SUITE_P(Api, AudioChoices, ::testing::ValuesIn(allAudioChoices()), [](const auto &test) {
    return std::to_string(test.param.first) + "Hz_" + std::to_string(test.param.second);
});

// The video bit rate is the one handed over: passes of the same clip at 300
// and 900 kbit/s give streams in proportion, each near rate x duration at
// the 25 fps label (the encoder holds back about 3 per cent at the start).
// Encode_GetFrame gives the length in whole seconds, rounded up.
TEST_F(CApi, VideoStreamsCarryTheBitRateHandedOver)
{
    const std::string clip = media("api_rate.mp4", testCard(256, 192, 25, 4.0) + support::kH264 + " -c:a aac");
    const std::string avs = script("bitrate", clip, 25, 32000, "Trim(c,0,0)");
    EXPECT_EQ(api().getFrame(script("len", clip, 25, 32000, "Trim(c,0,59)").c_str()), 3); // 2.4 s
    EXPECT_STREQ(api().lastError(), "");
    std::vector<double> sizes;
    for (const int kbps : {300, 900}) {
        const std::string m1v = scratch("bitrate" + std::to_string(kbps) + ".m1v");
        const double expected = kbps * 1000.0 / 8 * pass(avs, m1v, kbps, 128, 32000, 1) / 25;
        sizes.push_back(double(support::fs::file_size(m1v)));
        EXPECT_NEAR(sizes.back(), expected, expected * 0.05) << kbps << " kbit/s";
    }
    EXPECT_NEAR(sizes[1] / sizes[0], 3.0, 0.03);
}

// An MPEG-1 stream of pictures made as one: every picture once, GOP time
// codes counting on by 15, closed_gop only on the first, the end code only
// at the end, and nothing ffmpeg complains of.
void expectOneStream(const std::string &m1v, int pictures)
{
    EXPECT_EQ(probe(m1v, "v:0", "nb_read_frames")["nb_read_frames"], std::to_string(pictures));
    const std::string bytes = support::readFile(m1v);
    std::vector<std::pair<long, int>> gops; // time code in pictures at 25 a second, closed_gop
    const std::string gop("\x00\x00\x01\xB8", 4);
    for (std::size_t at = bytes.find(gop); at != std::string::npos && at + 8 <= bytes.size(); at = bytes.find(gop, at + 4)) {
        unsigned long v = 0;
        for (int k = 4; k < 8; ++k)
            v = v << 8 | static_cast<unsigned char>(bytes[at + k]);
        const long seconds = long((v >> 26) & 31) * 3600 + long((v >> 20) & 63) * 60 + long((v >> 13) & 63);
        gops.emplace_back(seconds * 25 + long((v >> 7) & 63), int((v >> 6) & 1));
    }
    ASSERT_EQ(gops.size(), std::size_t(pictures + 14) / 15);
    for (std::size_t g = 0; g < gops.size(); ++g)
        EXPECT_EQ(gops[g], std::pair(long(15 * g), g == 0 ? 1 : 0)) << "GOP " << g;
    const std::string end("\x00\x00\x01\xB7", 4);
    EXPECT_EQ(bytes.find(end), bytes.size() - 4);
    EXPECT_TRUE(support::run("ffmpeg -v error -i '" + m1v + "' -f null - 2>&1").empty());
}

// A long video pass is coded in two halves at once; they join into one
// stream. Also in High Quality at a high rate for a still picture, which the
// constant rate fills with stuffing.
TEST_F(CApi, ALongPassIsOneStreamFromEndToEnd)
{
    const std::string clip = media("api_halves.mp4", testCard(96, 72, 25, 42.0) + support::kH264 + " -c:a aac");
    const std::string still =
        media("api_halves_still.mp4", "-f lavfi -i color=gray:s=96x72:r=25:d=20 -f lavfi -i sine=d=20" +
                                          support::kH264 + " -c:a aac");
    const std::string m1v = scratch("halves.m1v");
    for (const auto &[avs, kbps, mode, pictures] : {std::tuple{script("halves", clip, 15, 32000, "Trim(c,0,0)"), 427, 2, 630},
                                                    {script("halves_still", still, 15, 32000, "Trim(c,0,0)"), 8000, 0, 300}}) {
        ASSERT_EQ(pass(avs, m1v, kbps, 128, 32000, 1, mode), pictures) << api().lastError();
        expectOneStream(m1v, pictures);
    }
}

// A graph whose first picture takes long work (Reverse reads its whole
// input first) codes the whole pass: the second graph, already opened for
// the second half, is stopped, and nothing of it reaches the stream.
TEST(EncodePassHalves, LongWorkBeforeTheFirstPictureKeepsOneGraph)
{
    using namespace engine::pass;
    const std::string clip = media("api_halves.mp4", testCard(96, 72, 25, 42.0) + support::kH264 + " -c:a aac");
    const std::string avs = scratch("halves_reverse.avs");
    support::writeFile(avs, "Reverse(BicubicResize(DirectShowSource(\"" + clip + "\", fps=15),256,192))\r\n");
    const std::string m1v = scratch("halves_reverse.m1v");
    const ScriptOpener open = defaultScriptOpener();
    std::atomic<int> reopened{0};
    PassSettings settings{m1v, true, 427, 128, 32000, engine::EncodeMode::Fast};
    EncodePass pass(open(avs, engine::script::ScriptUse::VideoPass), settings, {}, [&] {
        ++reopened;
        return open(avs, engine::script::ScriptUse::VideoPass);
    });
    while (pass.percent() < 100)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(pass.end()) << pass.error();
    EXPECT_EQ(reopened.load(), 1);
    expectOneStream(m1v, 630);
}

// A failed Begin answers -1 with the reason, and leaves nothing open (a
// failed Encode_GetFrame and its reason are the corpus's).
TEST_F(CApi, FailuresGiveMinusOneAndTheirReason)
{
    const std::string missing = scratch("does-not-exist.avi");
    const std::pair<std::string, std::string> cases[] = {
        {script("missing", missing, 15, 32000, "Trim(c,0,0)"), "does not exist"},
        {scratch("no-such-script.avs"), "no-such-script.avs"},
        {script("unknown", shortClip(), 15, 32000, "NoSuchFilter(c)"), "NoSuchFilter"}};
    for (const auto &[avs, reason] : cases) {
        EXPECT_EQ(api().begin(avs.c_str(), scratch("fail.m1v").c_str(), 427, 128, 32000, 1, 1), -1);
        EXPECT_NE(std::string(api().lastError()).find(reason), std::string::npos) << api().lastError();
        EXPECT_EQ(std::tuple(api().frame(), api().encoding(), api().end()), std::tuple(0, 100, 0));
    }
    // With nothing open, End is harmless and repeatable.
    EXPECT_EQ(std::tuple(api().end(), api().end(), api().encoding(), api().leftTime()), std::tuple(0, 0, 100, 0));
}

// End during a pass stops it with -1 and leaves a closed, shorter stream;
// also during the long first read of a Reverse, which shows as progress.
TEST_F(CApi, EndDuringAPassStopsItAndClosesTheStream)
{
    const std::string long40 = media("api_stop.mp4", testCard(640, 360, 25, 40.0) + support::kH264 + " -c:a aac");
    const std::string reversed = scratch("reverse_stop.avs");
    support::writeFile(reversed, "Reverse(BicubicResize(DirectShowSource(\"" + long40 + "\", fps=25),256,144))\r\n");
    for (const auto &[avs, total] : {std::pair{script("stop", long40, 20, 32000, "Trim(c,0,0)"), 800}, {reversed, 1000}}) {
        const std::string m1v = scratch("stop.m1v");
        ASSERT_EQ(api().begin(avs.c_str(), m1v.c_str(), 320, 128, 32000, 1, 0), 0) << api().lastError();
        ASSERT_EQ(api().frame(), total);
        int32_t seen = 0;
        for (int i = 0; i < 20000 && seen == 0; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(1)))
            seen = api().encoding();
        EXPECT_LT(seen, 100);
        EXPECT_EQ(api().end(), -1);
        EXPECT_NE(std::string(api().lastError()).find("stopped"), std::string::npos) << api().lastError();
        const std::string bytes = support::readFile(m1v);
        ASSERT_GE(bytes.size(), 4u);
        EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x00\x00\x01\xB7", 4));
        EXPECT_EQ(api().end(), 0); // nothing open any more
    }
}

} // namespace
