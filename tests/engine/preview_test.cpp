// Encode_Preview against the video pass: for scripts the writer makes, with
// real files for every option, each picture is the one the pass encodes (the
// pass's stream decoded to RGB by the ffmpeg command line) and the audio pass
// carries the pictures' sound; bad input gives -1 with its reason.

#include "support/program_steps.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <tuple>
#include <vector>

namespace {

using support::media;
namespace fs = support::fs;

const support::TarvikApi &api()
{
    static const support::TarvikApi loaded = support::TarvikApi::load(TARVIK_LIBRARY_PATH);
    return loaded;
}

struct Picture
{
    int32_t result = -1, width = 0, height = 0;
    std::vector<uint8_t> rgb;
    std::string error;
};

Picture preview(const std::string &avs, int32_t index, int32_t bytes = 256 * 1024 * 3)
{
    Picture p;
    p.rgb.resize(static_cast<std::size_t>(bytes));
    p.result = api().preview(avs.c_str(), index, p.rgb.data(), bytes, &p.width, &p.height);
    p.error = api().lastError();
    p.rgb.resize(static_cast<std::size_t>(p.width * p.height * 3));
    return p;
}

double psnr(const uint8_t *a, const uint8_t *b, std::size_t n)
{
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += (a[i] - b[i]) * (a[i] - b[i]);
    return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * double(n) / sum);
}

// A writer's conversion job over 6 s of a letterboxed test card, with the
// files an option may name; [set] turns options on.
struct Job
{
    fs::path dir = support::scratchFolder();
    core::ScriptRequest request;
    std::string video = (dir / "clip.mp4").string(), card = (dir / "card.png").string(),
                subs = (dir / "subs.srt").string(), song = (dir / "song.mp3").string(),
                introVideo = (dir / "intro.avi").string();

    explicit Job(const std::function<void(Job &)> &set = {})
    {
        fs::copy_file(media("preview_main.mp4", support::testCard(320, 180, 25, 6.0) + " -vf pad=320:240:0:30:black"
                                                    + support::kH264 + " -c:a aac"), video);
        request = support::plainJob(video, dir.string());
        request.mode = 1;
        request.frameCount = 6;
        auto &shown = request.shown;
        shown.startTime = "0", shown.endTime = "6", shown.videoBitrate = "3000"; // little coding loss
        fs::copy_file(media("preview_card.png", "-f lavfi -i testsrc=size=200x150:rate=1:duration=1 -frames:v 1"), card);
        fs::copy_file(media("preview_song.mp3", "-f lavfi -i sine=frequency=330:duration=12 -ac 2 -c:a libmp3lame"), song);
        fs::copy_file(media("preview_intro.avi", support::testCard(176, 144, 30, 2.0, 22050, 1) + " -c:v mpeg4 -c:a pcm_s16le"),
                      introVideo);
        support::writeFile(subs, "1\r\n00:00:00,000 --> 00:00:09,000\r\nSubtitle\r\n");
        if (set)
            set(*this);
        EXPECT_EQ(core::writeScript(request).result, 1);
    }
    const std::string &avs() const { return request.scriptPath; }
    void intro(int fadeMode)
    {
        auto &shown = request.shown;
        shown.introType = 1, shown.introImageFile = card, shown.introFadeMode = fadeMode;
        shown.introImageTime = "3", shown.introFadeTime = "1";
    }
};

class Preview : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(api().loaded() && api().preview && api().previewFrames) << dlerror(); }
};

TEST_F(Preview, ShowsWhatTheVideoPassEncodes)
{
    const std::pair<const char *, std::function<void(Job &)>> cases[] = {
        {"plain", {}},
        {"everything", [](Job &j) {
             auto &s = j.request.shown;
             s.autoCrop = s.reverse = s.channelMode = 1;
             s.subtitleFile = j.subs, s.audioFile = j.song;
             s.logoText = "Logo";
             s.logoX = "10", s.logoY = "20", s.logoStart = "0", s.logoEnd = "5", s.logoColor = 255;
             s.hue = 30, s.saturation = 12, s.brightness = -10, s.sharpness = 50, s.volume = 150, s.audioDelay = 5;
             j.intro(3);
         }},
        // Fading in is also the introduction video's; in and out holds fading out.
        {"fade in and out", [](Job &j) { j.intro(2); }},
        {"intro video", [](Job &j) {
             auto &s = j.request.shown;
             s.introVideoFile = j.introVideo, s.introFadeMode = 0, s.introFadeTime = "2";
         }},
    };
    for (const auto &[name, set] : cases) {
        SCOPED_TRACE(name);
        const Job job(set);
        const std::string m1v = (job.dir / "temp.m1v").string();
        const core::RunValues v = core::writeScript(job.request).run;
        ASSERT_EQ(api().begin(job.avs().c_str(), m1v.c_str(), v.videoBitrate, v.audioBitrate, v.sampleRate, 1, 2), 0)
            << api().lastError();
        const int32_t frames = api().frame();
        ASSERT_EQ(api().finish(), 0) << api().lastError();
        // The audio pass: the pictures' S(N) samples in whole 1152-sample Layer II frames.
        const std::string mp2 = (job.dir / "temp.mp2").string();
        ASSERT_EQ(api().begin(job.avs().c_str(), mp2.c_str(), v.videoBitrate, v.audioBitrate, v.sampleRate, 0, 2), 0)
            << api().lastError();
        ASSERT_EQ(api().finish(), 0) << api().lastError();
        EXPECT_EQ(support::probe(mp2, "a:0", "nb_read_frames")["nb_read_frames"],
                  std::to_string((std::int64_t(frames) * v.sampleRate / v.frameRate + 1151) / 1152));
        ASSERT_EQ(api().previewFrames(job.avs().c_str()), frames) << api().lastError();
        const std::string decoded = support::run("ffmpeg -v error -i '" + m1v + "' -vsync passthrough -f rawvideo -pix_fmt rgb24 -");
        // Start, inside the fades and the overlap of "everything" (30 .. 60), middle, end.
        for (const int32_t n : {0, 7, 38, 52, frames / 2, frames - 8, frames - 1}) {
            const Picture p = preview(job.avs(), n);
            ASSERT_EQ(p.result, 0) << n << ": " << p.error;
            const std::size_t size = p.rgb.size();
            ASSERT_EQ(decoded.size(), size * std::size_t(frames)) << p.width << "x" << p.height;
            const auto frameOf = [&](int32_t k) { return reinterpret_cast<const uint8_t *>(decoded.data()) + size * std::size_t(k); };
            const double match = psnr(p.rgb.data(), frameOf(n), size);
            EXPECT_GE(match, 30.0) << "frame " << n;
            // And no neighbour fits clearly better: the index is the pass's.
            for (int32_t k = std::max(n - 2, 0); k <= std::min(n + 2, frames - 1); ++k)
                EXPECT_GE(match + 3.0, psnr(p.rgb.data(), frameOf(k), size)) << "frame " << n << " looks like " << k;
        }
    }
}

TEST_F(Preview, RefusesBadInputWithItsReason)
{
    constexpr int32_t kRoom = 256 * 1024 * 3;
    const auto as = [](Job &j) { return j.avs(); };
    const std::tuple<const char *, std::function<std::string(Job &)>, int32_t, int32_t, std::string> cases[] = {
        {"missing source", [](Job &j) { fs::remove(j.video); return j.avs(); }, 0, kRoom, "clip.mp4"},
        {"subtitle file gone after a first preview", [](Job &j) {
             j.request.shown.subtitleFile = j.subs; core::writeScript(j.request);
             EXPECT_EQ(preview(j.avs(), 0).result, 0);
             fs::remove(j.subs); return j.avs(); }, 0, kRoom, "subs.srt"},
        {"index past the end", as, 91, kRoom, "outside the clip"},
        {"negative index", as, -1, kRoom, "outside the clip"},
        {"buffer too small", as, 0, 256 * 192 * 3 - 1, "256x192"}, // and the size needed is given
        {"no script", [](Job &j) { return (j.dir / "none.avs").string(); }, 0, kRoom, "none.avs"},
    };
    for (const auto &[name, script, index, bytes, reason] : cases) {
        SCOPED_TRACE(name);
        Job job;
        const Picture p = preview(script(job), index, bytes);
        EXPECT_EQ(p.result, -1);
        EXPECT_NE(p.error.find(reason), std::string::npos) << p.error;
        EXPECT_EQ(p.width, bytes < kRoom ? 256 : 0);
    }
    // Null pointers are refused, not followed.
    Job job;
    int32_t w = 0, h = 0;
    uint8_t byte = 0;
    EXPECT_EQ(api().preview(nullptr, 0, &byte, 1, &w, &h), -1);
    EXPECT_EQ(api().preview(job.avs().c_str(), 0, nullptr, 1 << 20, &w, &h), -1);
    EXPECT_EQ(api().preview(job.avs().c_str(), 0, &byte, 1, nullptr, nullptr), -1);
    EXPECT_EQ(api().previewFrames(nullptr), -1);
    EXPECT_EQ(preview(job.avs(), 0).result, 0) << "the library still works";
}

} // namespace
