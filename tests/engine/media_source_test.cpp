// DirectShowSource and ImageSource over real files made with the ffmpeg
// command line: rates, sizes, seeking, sound, and odd streams (damaged
// ones are the bad-input corpus's).

#include "support/scratch.h"
#include "support/synthetic_clip.h"

#include "clip/error.h"
#include "pipeline/media_filters.h"
#include "pipeline/media_source.h"
#include "pipeline/stream_writers.h"

#include <algorithm>
#include <cmath>

using namespace engine;
using support::media;
using support::testCard;

namespace {

double meanLuma(const AVFrame &f)
{
    double sum = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            sum += f.data[0][y * f.linesize[0] + x];
    return sum / (f.width * f.height);
}

float peak(const std::vector<float> &pcm, int channel)
{
    float p = 0;
    for (std::size_t i = static_cast<std::size_t>(channel); i < pcm.size(); i += 2)
        p = std::max(p, std::fabs(pcm[i]));
    return p;
}

TEST(MediaSource, ContainersGiveTheExactRateInPlanarPicturesAndStereoSound)
{
    const std::pair<const char *, const char *> containers[] = {
        {"h264.mp4", "-c:v libx264 -pix_fmt yuv420p -c:a aac"}, {"mpeg4.avi", "-c:v mpeg4 -c:a mp3"},
        {"h264.mkv", "-c:v libx264 -pix_fmt yuv422p -c:a aac"}, {"mpeg2.mpg", "-c:v mpeg2video -c:a mp2"},
        {"vp8.webm", "-c:v libvpx -b:v 300k -c:a libvorbis"}};
    for (const auto &[name, codecs] : containers) {
        SCOPED_TRACE(name);
        ClipPtr clip = openMediaSource(media(std::string("src_") + name, testCard(320, 240, 25, 2.0) + " " + codecs),
                                       {.fps = 15.0});
        const VideoInfo &vi = clip->info();
        EXPECT_EQ(std::tuple(vi.width, vi.height, vi.fpsNum, vi.fpsDen), std::tuple(320, 240, 15, 1));
        EXPECT_NEAR(static_cast<double>(vi.frameCount), 30.0, 1.0); // containers round their lengths a little
        EXPECT_EQ(std::tuple(vi.hasAudio, vi.channels, vi.sampleRate), std::tuple(true, 2, 44100));
        EXPECT_NEAR(static_cast<double>(vi.sampleCount), 88200.0, 4410);
        for (std::int64_t n = 0; n < vi.frameCount; ++n) {
            const FrameRef f = clip->frame(n);
            ASSERT_EQ(std::tuple(f->format, f->width, f->height), std::tuple(int(AV_PIX_FMT_YUV420P), 320, 240)) << n;
        }
        std::vector<float> pcm(4410 * 2);
        clip->audio(22050, 4410, pcm);
        EXPECT_GT(std::min(peak(pcm, 0), peak(pcm, 1)), 0.05f); // the tone in both channels
    }
}

// Frame n shows the last source picture starting at or before n / fps:
// picture floor(n * 25 / fps) of a 25 fps source whose picture k is grey
// 16 + 4k. 20 does not divide 25.
TEST(MediaSource, EachFrameShowsTheLastPictureStartedBeforeIt)
{
    const std::string path = media("count25.mkv", "-f lavfi -i color=c=black:size=64x48:rate=25:duration=2 -vf "
                                                  "\"geq=lum='16+4*N':cb=128:cr=128\" -c:v ffv1");
    for (const int fps : {15, 20}) {
        ClipPtr clip = openMediaSource(path, {.fps = double(fps)});
        ASSERT_EQ(clip->info().frameCount, 2 * fps);
        for (std::int64_t n = 0; n < 2 * fps; ++n)
            EXPECT_NEAR(meanLuma(*clip->frame(n)), 16.0 + 4.0 * double(n * 25 / fps), 1.0) << fps << " fps, " << n;
    }
}

// A jump seeks to the keyframe before the target, and the picture equals
// the one decoding in order gives; the cheap frame near n is the nearest
// keyframe (one a second here), and without an index it is n itself.
TEST(MediaSource, SeekingGivesThePicturesOfDecodingInOrder)
{
    const std::string path = media("long.mp4", testCard(160, 120, 25, 30.0) + " -c:v libx264 -g 25 -pix_fmt yuv420p -c:a aac");
    ClipPtr sequential = openMediaSource(path, {.fps = 10.0});
    ASSERT_EQ(sequential->info().frameCount, 300);
    std::vector<double> lumas;
    for (std::int64_t n = 0; n < 300; ++n)
        lumas.push_back(meanLuma(*sequential->frame(n)));
    ClipPtr random = openMediaSource(path, {.fps = 10.0});
    for (std::int64_t n : {250, 251, 280, 20, 299, 123, 140, 165, 167, 190})
        EXPECT_EQ(meanLuma(*random->frame(n)), lumas[std::size_t(n)]) << n;
    ClipPtr sampled = openMediaSource(path, {.fps = 10.0});
    for (const auto &[n, near] : std::vector<std::pair<std::int64_t, std::int64_t>>{
             {44, 40}, {46, 50}, {2, 0}, {299, 290}, {151, 150}, {58, 60}}) {
        EXPECT_EQ(sampled->cheapFrameNear(n), near) << n;
        EXPECT_EQ(meanLuma(*sampled->frame(near)), lumas[std::size_t(near)]) << near;
    }
    ClipPtr noIndex = openMediaSource(media("noindex.ts", testCard(160, 120, 25, 4.0) + " -c:v libx264 -g 25 -pix_fmt yuv420p -c:a aac"),
                                      {.fps = 10.0});
    for (std::int64_t n : {0, 7, 23, 35})
        EXPECT_EQ(noIndex->cheapFrameNear(n), n);
}

TEST(MediaSource, InterlacedPicturesAreBlended)
{
    // Black and white lines flagged interlaced: weaving keeps the stripes.
    const std::string path = media("interlaced.mkv", "-f lavfi -i color=c=black:size=64x48:rate=25:duration=1 -vf "
                                                     "\"geq=lum='if(mod(Y,2),235,16)':cb=128:cr=128,setfield=tff\" "
                                                     "-flags +ildct+ilme -c:v mpeg2video -q:v 2");
    const FrameRef f = openMediaSource(path, {.fps = 25.0})->frame(5);
    EXPECT_LT(std::abs(f->data[0][24 * f->linesize[0] + 10] - f->data[0][25 * f->linesize[0] + 10]), 40);
}

// A sound file alone is a clip without video, always stereo: mono goes to
// both channels at full level (a -3 dB spread would give 0.088), more
// channels are mixed down. lavfi's sine is 1/8 of full scale.
TEST(MediaSource, SoundFilesGiveStereoClipsWithoutVideo)
{
    const std::tuple<const char *, const char *, int, float, float> files[] = {
        {"mono8k.wav", "-f lavfi -i sine=frequency=300:sample_rate=8000:duration=2", 8000, 0.12f, 0.13f},
        {"stereo.mp3", "-f lavfi -i sine=frequency=300:duration=2 -ac 2 -c:a libmp3lame", 44100, 0.05f, 1.0f},
        {"six.wav", "-f lavfi -i sine=frequency=300:sample_rate=48000:duration=2 -af "
                    "\"pan=5.1|FL=c0|FR=c0|FC=c0|LFE=c0|BL=c0|BR=c0\"", 48000, 0.05f, 1.0f}};
    for (const auto &[name, args, rate, lowest, highest] : files) {
        SCOPED_TRACE(name);
        ClipPtr clip = openMediaSource(media(name, args), {});
        const VideoInfo &vi = clip->info();
        EXPECT_EQ(std::tuple(vi.hasVideo, vi.channels, vi.sampleRate), std::tuple(false, 2, rate));
        EXPECT_NEAR(static_cast<double>(vi.sampleCount), 2.0 * rate, rate * 0.06);
        std::vector<float> pcm(static_cast<std::size_t>(rate) * 2);
        clip->audio(rate / 2, rate, pcm);
        for (std::size_t i = 0; i < pcm.size(); i += 2)
            ASSERT_FLOAT_EQ(pcm[i], pcm[i + 1]) << i / 2;
        EXPECT_GE(peak(pcm, 0), lowest);
        EXPECT_LE(peak(pcm, 0), highest);
    }
}

// A phone clip stored sideways is shown upright, exactly as the ffmpeg
// command line (which turns by the display matrix too) shows it.
TEST(MediaSource, RotatedClipsAreTurnedUprightBeforeTheScriptSeesThem)
{
    const std::string upright = media("rot_src.mp4", "-f lavfi -i testsrc=size=64x48:rate=25:duration=1" + support::kH264);
    for (const int degrees : {90, 180, 270}) {
        const std::string path = media("rot_" + std::to_string(degrees) + ".mp4",
                                       "-i '" + upright + "' -c copy -metadata:s:v:0 rotate=" + std::to_string(degrees));
        ClipPtr clip = openMediaSource(path, {.fps = 25.0});
        EXPECT_EQ(std::pair(clip->info().width, clip->info().height),
                  degrees != 180 ? std::pair(48, 64) : std::pair(64, 48)) << degrees;
        const std::string shown = support::run("ffmpeg -nostdin -v error -i '" + path +
                                               "' -frames:v 1 -f rawvideo -pix_fmt yuv420p -");
        const FrameRef f = clip->frame(0);
        std::string mine;
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < (p ? f->height / 2 : f->height); ++y)
                mine.append(reinterpret_cast<const char *>(f->data[p] + y * f->linesize[p]),
                            std::size_t(p ? f->width / 2 : f->width));
        EXPECT_TRUE(mine == shown) << "the pictures differ at " << degrees;
    }
}

// Sound that stops early is padded with silence, and a file without sound
// gets silence of the video's length. (Sound outlasting the pictures is the
// corpus's: the clip then lasts as long as its pictures.)
TEST(MediaSource, SoundEndingEarlyOrMissingIsSilence)
{
    ClipPtr quiet = openMediaSource(media("sound_stops_early.mkv", "-f lavfi -i testsrc=size=64x48:rate=25:duration=4 "
                                                                   "-f lavfi -i sine=duration=1" + support::kH264 + " -c:a aac"),
                                    {.fps = 15.0});
    const int rate = quiet->info().sampleRate;
    ASSERT_GT(quiet->info().sampleCount, 3 * rate); // Matroska: the file's length
    std::vector<float> pcm(std::size_t(rate) * 2);
    quiet->audio(0, rate / 2, pcm);
    EXPECT_GT(peak(pcm, 0), 0.05f);
    quiet->audio(3 * rate, rate, pcm);
    EXPECT_EQ(peak(pcm, 0), 0.0f);

    ClipPtr silent = openMediaSource(media("noaudio.mp4", "-f lavfi -i testsrc=size=176x144:rate=25:duration=2" + support::kH264),
                                     {.fps = 15.0});
    EXPECT_EQ(silent->info().sampleCount, silent->info().samplesForFrames(silent->info().frameCount));
    std::vector<float> some(2000, 1.0f);
    silent->audio(500, 1000, some);
    EXPECT_EQ(std::max(peak(some, 0), peak(some, 1)), 0.0f);
}

// Sound stored to start at another time than the picture keeps that
// distance: sample 0 plays with the first picture. The sound is silence,
// then a 440 Hz tone from 1 s of its own time; the offset is put on one input.
struct Offset
{
    const char *name, *videoOffset, *audioOffset, *codecs;
    double onset;     // where the tone begins, from the first picture
    double length;    // from the first picture to the sound's end
    double tolerance; // seconds
};

TEST(MediaSource, OffsetSoundStaysInSyncWithThePicture)
{
    const Offset offsets[] = {
        // Lossless sound lands to the sample; Matroska tells only the file's length.
        {"late_sound.mkv", "", "-itsoffset 0.5", "-c:v ffv1 -c:a pcm_s16le", 1.5, 3.5, 0.002},
        {"early_sound.mkv", "-itsoffset 0.5", "", "-c:v ffv1 -c:a pcm_s16le", 0.5, 3.0, 0.002},
        // Transport streams tell each stream's own length; their encoders and
        // muxer shift a stream by up to a frame.
        {"late_sound.ts", "", "-itsoffset 0.5", "-c:v mpeg2video -c:a mp2", 1.5, 3.5, 0.02},
        {"early_sound.ts", "-itsoffset 0.5", "", "-c:v mpeg2video -c:a mp2", 0.5, 2.5, 0.02}};
    for (const Offset &c : offsets) {
        SCOPED_TRACE(c.name);
        const std::string path = media(c.name, std::string(c.videoOffset) + " -f lavfi -i testsrc=size=64x48:rate=20:duration=3 "
                                                   + c.audioOffset
                                                   + " -f lavfi -i \"aevalsrc=exprs='if(gte(t,1),0.5*sin(2*PI*440*t),0)':s=48000:d=3\" "
                                                   + c.codecs);
        const auto startOf = [&path](const std::string &stream) {
            return std::stod(support::run("ffprobe -v error -select_streams " + stream +
                                          " -show_entries stream=start_time -of default=nw=1:nk=1 '" + path + "'"));
        };
        ASSERT_GT(std::fabs(startOf("v:0") - startOf("a:0")), 0.4); // the file really is offset
        ClipPtr clip = openMediaSource(path, {.fps = 25.0});
        ASSERT_EQ(clip->info().sampleRate, 48000);
        EXPECT_NEAR(static_cast<double>(clip->info().sampleCount), c.length * 48000, 0.05 * 48000);
        // Read in order from the start, and again after a jump: seeking places it alike.
        const auto onsetFrom = [&clip](double from) {
            std::vector<float> pcm(2 * 2400);
            for (auto pos = static_cast<std::int64_t>(from * 48000); pos < clip->info().sampleCount; pos += 2400) {
                clip->audio(pos, 2400, pcm);
                for (std::size_t i = 0; i < pcm.size(); i += 2)
                    if (std::fabs(pcm[i]) > 0.01f)
                        return double(pos + std::int64_t(i / 2)) / 48000;
            }
            return -1.0;
        };
        EXPECT_NEAR(onsetFrom(0), c.onset, c.tolerance);
        std::vector<float> ahead(20);
        clip->audio(static_cast<std::int64_t>((c.onset + 0.5) * 48000), 10, ahead);
        EXPECT_NEAR(onsetFrom(c.onset - 0.05), c.onset, c.tolerance);
    }
}

TEST(ImageSource, RepeatsOnePictureForEndMinusStartPlusOneFrames)
{
    // A '%' in the name is part of the name, not a frame-number pattern.
    const std::string path = media("intro 100%d.png", "-f lavfi -i color=c=red:size=33x25,format=rgb24 -frames:v 1 "
                                                      "-c:v png -f image2pipe");
    ClipPtr clip = openImageSource(path, 0, 45, 15.0);
    const VideoInfo &vi = clip->info();
    EXPECT_EQ(std::tuple(vi.frameCount, vi.fpsNum, vi.hasAudio, vi.width), std::tuple(46, 15, false, 33));
    EXPECT_NEAR(meanLuma(*clip->frame(3)), 81.0, 3.0); // Rec.601 TV-range red
    EXPECT_EQ(convertToYv12(clip)->frame(0)->width, 32);
    EXPECT_THROW(openImageSource(path, 10, 5, 15.0), Error);
}

// ResampleAudio keeps a 1 kHz tone's pitch, level and channels, and a read
// that starts elsewhere gives the samples of reading straight through.
TEST(ResampleAudio, KeepsPitchLevelAndPosition)
{
    const auto tone = [] {
        return support::synthetic({.frames = 1, .rate = 44100, .samples = 44100}, support::defaultPaint,
                                  [](std::int64_t i, int c) {
                                      return float((c ? -0.5 : 0.5) * std::sin(2 * M_PI * 1000.0 * double(i) / 44100));
                                  });
    };
    ClipPtr out = resampleAudio(tone(), 32000);
    ASSERT_EQ(out->info().sampleCount, 32000);
    std::vector<float> all(32000 * 2);
    for (std::int64_t pos = 0; pos < 32000; pos += 1000)
        out->audio(pos, 1000, std::span<float>(all).subspan(std::size_t(pos) * 2, 2000));
    int crossings = 0;
    for (std::size_t i = 2 * 1000; i < 2 * 31000; i += 2) {
        crossings += (all[i] < 0) != (all[i + 2] < 0);
        ASSERT_NEAR(all[i], -all[i + 1], 1e-4);
    }
    EXPECT_NEAR(crossings, 2 * 1000 * 30000 / 32000, 4);
    EXPECT_NEAR(peak(all, 0), 0.5f, 0.02f);
    std::vector<float> part(500 * 2);
    resampleAudio(tone(), 32000)->audio(20000, 500, part);
    for (std::size_t i = 0; i < part.size(); ++i)
        ASSERT_NEAR(part[i], all[20000 * 2 + i], 0.002f) << i / 2;
}

// Layer II rates: the nearest the sample rate allows (the rates it cannot
// carry are refused through the C interface, in the API tests).
TEST(Mp2AudioWriter, BitRatesMoveToTheNearestAllowed)
{
    const std::tuple<int, int, int> cases[] = {{44100, 448, 384}, {48000, 384, 384}, {32000, 32, 32}, {32000, 100, 96},
                                               {44100, 40, 32},   {48000, 288, 256}, {22050, 192, 160}, {16000, 448, 160},
                                               {16000, 32, 32},   {24000, 136, 128}, {22050, 4, 8}};
    for (const auto &[rate, asked, given] : cases)
        EXPECT_EQ(Mp2AudioWriter::nearestBitrate(rate, asked), given) << rate << " Hz, " << asked;
    EXPECT_EQ(std::tuple(toS16(0.5f), toS16(-1.0f), toS16(1.0f), toS16(3.7f), toS16(-2.0f)),
              std::tuple(16384, -32768, 32767, 32767, -32768));
}

} // namespace
