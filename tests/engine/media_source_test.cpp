// DirectShowSource and ImageSource over real files made by the ffmpeg CLI.

#include "media_support.h"

#include "clip/error.h"
#include "pipeline/media_filters.h"
#include "pipeline/media_source.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <sstream>
#include <vector>

using namespace engine;
using mediatest::make;

namespace {

double meanLuma(const AVFrame &f)
{
    double sum = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            sum += f.data[0][y * f.linesize[0] + x];
    return sum / (f.width * f.height);
}

// Each source picture k is flat grey at luma 16 + 4k, so a decoded frame
// tells which source picture it shows.
std::string countingVideo(const std::string &name, const std::string &codecArgs)
{
    return make(name, "-f lavfi -i color=c=black:size=64x48:rate=25:duration=2 -vf "
                      "\"geq=lum='16+4*N':cb=128:cr=128\" " + codecArgs);
}

struct ContainerCase
{
    std::string name;
    std::string codecArgs;
};

class SourceContainers : public ::testing::TestWithParam<ContainerCase>
{
};

TEST_P(SourceContainers, ConvertsToTheExactRateAndStereo)
{
    const ContainerCase &c = GetParam();
    const std::string path = make("src_" + c.name, mediatest::avInputs(320, 240, 25, 2.0) + " " + c.codecArgs);
    ClipPtr clip = openMediaSource(path, {.fps = 15.0});
    const VideoInfo &vi = clip->info();
    ASSERT_TRUE(vi.hasVideo);
    EXPECT_EQ(vi.width, 320);
    EXPECT_EQ(vi.height, 240);
    EXPECT_EQ(vi.fpsNum, 15);
    EXPECT_EQ(vi.fpsDen, 1);
    // ceil(2.0 s * 15) = 30; containers round their durations a little.
    EXPECT_NEAR(static_cast<double>(vi.frameCount), 30.0, 1.0);
    ASSERT_TRUE(vi.hasAudio);
    EXPECT_EQ(vi.channels, 2);
    EXPECT_EQ(vi.sampleRate, 44100);
    EXPECT_NEAR(static_cast<double>(vi.sampleCount), 88200.0, 44100 * 0.1);

    for (std::int64_t n = 0; n < vi.frameCount; ++n) {
        FrameRef f = clip->frame(n);
        ASSERT_EQ(f->format, AV_PIX_FMT_YUV420P);
        ASSERT_EQ(f->width, 320);
        ASSERT_EQ(f->height, 240);
    }
    // The 440 Hz tone at -18 dBFS reaches both channels.
    std::vector<float> pcm(4410 * 2);
    clip->audio(22050, 4410, pcm);
    float peakL = 0, peakR = 0;
    for (std::size_t i = 0; i < pcm.size(); i += 2) {
        peakL = std::max(peakL, std::fabs(pcm[i]));
        peakR = std::max(peakR, std::fabs(pcm[i + 1]));
    }
    EXPECT_GT(peakL, 0.05f);
    EXPECT_GT(peakR, 0.05f);
}

INSTANTIATE_TEST_SUITE_P(
    Media, SourceContainers,
    ::testing::Values(ContainerCase{"h264.mp4", "-c:v libx264 -pix_fmt yuv420p -c:a aac"},
                      ContainerCase{"mpeg4.avi", "-c:v mpeg4 -c:a mp3"},
                      ContainerCase{"h264.mkv", "-c:v libx264 -pix_fmt yuv422p -c:a aac"},
                      ContainerCase{"mpeg2.mpg", "-c:v mpeg2video -c:a mp2"},
                      ContainerCase{"vp8.webm", "-c:v libvpx -b:v 300k -c:a libvorbis"}),
    [](const auto &param) {
        std::string n = param.param.name;
        std::replace(n.begin(), n.end(), '.', '_');
        return n;
    });

// Frame n of the constant-rate clip is the last source picture starting at
// or before n / fps: at 15 fps from 25, picture floor(n * 25 / 15).
TEST(MediaSource, PicksTheLastPictureStartingAtOrBeforeEachSlot)
{
    const std::string path = countingVideo("count25.mkv", "-c:v ffv1");
    ClipPtr clip = openMediaSource(path, {.fps = 15.0});
    ASSERT_EQ(clip->info().frameCount, 30);
    for (std::int64_t n = 0; n < 30; ++n) {
        const std::int64_t source = n * 25 / 15;
        EXPECT_NEAR(meanLuma(*clip->frame(n)), 16.0 + 4.0 * static_cast<double>(source), 1.0) << "frame " << n;
    }
}

TEST(MediaSource, SlowerSourceRepeatsPicturesAndFasterTargetPadsNothingExtra)
{
    const std::string path = countingVideo("count25b.mkv", "-c:v ffv1");
    ClipPtr clip = openMediaSource(path, {.fps = 20.0}); // not a divisor of 25
    ASSERT_EQ(clip->info().frameCount, 40);
    for (std::int64_t n : {0, 1, 7, 19, 39}) {
        const std::int64_t source = n * 25 / 20;
        EXPECT_NEAR(meanLuma(*clip->frame(n)), 16.0 + 4.0 * static_cast<double>(source), 1.0) << "frame " << n;
    }
}

// A jump far ahead seeks to the keyframe before the target instead of
// decoding everything; the picture must equal the one sequential decoding
// gives. Jumping back must work too.
TEST(MediaSource, RandomAccessMatchesSequentialDecoding)
{
    const std::string path = make("long.mp4", mediatest::avInputs(160, 120, 25, 30.0) +
                                                  " -c:v libx264 -g 25 -pix_fmt yuv420p -c:a aac");
    ClipPtr sequential = openMediaSource(path, {.fps = 10.0});
    ClipPtr random = openMediaSource(path, {.fps = 10.0});
    ASSERT_EQ(sequential->info().frameCount, 300);
    std::vector<double> lumas;
    for (std::int64_t n = 0; n < 300; ++n)
        lumas.push_back(meanLuma(*sequential->frame(n)));
    // Short jumps across a keyframe (one a second here) seek too.
    for (std::int64_t n : {250, 251, 280, 20, 299, 123, 140, 165, 167, 190}) {
        EXPECT_NEAR(meanLuma(*random->frame(n)), lumas[static_cast<std::size_t>(n)], 1e-9) << "frame " << n;
    }

    // Keyframes, one a second, are every tenth frame at 10 fps: the
    // nearest one is taken, and it shows the same picture as decoding in
    // order does.
    ClipPtr sampled = openMediaSource(path, {.fps = 10.0});
    for (const auto &[n, near] : std::vector<std::pair<std::int64_t, std::int64_t>>{
             {44, 40}, {46, 50}, {0, 0}, {2, 0}, {297, 290}, {299, 290}, {151, 150}, {58, 60}}) {
        const std::int64_t got = sampled->cheapFrameNear(n);
        EXPECT_EQ(got, near) << "frame " << n;
        EXPECT_NEAR(meanLuma(*sampled->frame(got)), lumas[static_cast<std::size_t>(got)], 1e-9) << "frame " << got;
    }
}

// Without an index (an MPEG transport stream) the exact frame is the cheap
// one: nothing is guessed.
TEST(MediaSource, WithoutAnIndexTheCheapFrameIsTheExactOne)
{
    const std::string path = make("noindex.ts", mediatest::avInputs(160, 120, 25, 4.0) +
                                                    " -c:v libx264 -g 25 -pix_fmt yuv420p -c:a aac");
    ClipPtr clip = openMediaSource(path, {.fps = 10.0});
    for (std::int64_t n : {0, 7, 23, 35})
        EXPECT_EQ(clip->cheapFrameNear(n), n);
}

TEST(MediaSource, FileWithoutAudioGetsSilenceOfTheVideosLength)
{
    const std::string path =
        make("noaudio.mp4", "-f lavfi -i testsrc=size=176x144:rate=25:duration=2 -c:v libx264 -pix_fmt yuv420p");
    ClipPtr clip = openMediaSource(path, {.fps = 15.0});
    const VideoInfo &vi = clip->info();
    ASSERT_TRUE(vi.hasAudio);
    EXPECT_EQ(vi.channels, 2);
    EXPECT_EQ(vi.sampleCount, vi.samplesForFrames(vi.frameCount));
    std::vector<float> pcm(1000 * 2, 1.0f);
    clip->audio(500, 1000, pcm);
    EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](float x) { return x == 0.0f; }));
}

struct AudioOnlyCase
{
    std::string name;
    std::string args;
    int rate;
};

class AudioOnlyFiles : public ::testing::TestWithParam<AudioOnlyCase>
{
};

// DirectShowSource(audiofile): an audio-only clip, always stereo; mono is
// duplicated at full level, more channels are mixed down.
TEST_P(AudioOnlyFiles, GiveStereoAudioOnlyClips)
{
    const AudioOnlyCase &c = GetParam();
    const std::string path = make(c.name, c.args);
    ClipPtr clip = openMediaSource(path, {});
    const VideoInfo &vi = clip->info();
    EXPECT_FALSE(vi.hasVideo);
    ASSERT_TRUE(vi.hasAudio);
    EXPECT_EQ(vi.channels, 2);
    EXPECT_EQ(vi.sampleRate, c.rate);
    EXPECT_NEAR(static_cast<double>(vi.sampleCount), 2.0 * c.rate, c.rate * 0.06);
    std::vector<float> pcm(static_cast<std::size_t>(c.rate / 10) * 2);
    clip->audio(c.rate / 2, c.rate / 10, pcm);
    float peak = 0;
    for (std::size_t i = 0; i < pcm.size(); i += 2) {
        peak = std::max(peak, std::fabs(pcm[i]));
        EXPECT_FLOAT_EQ(pcm[i], pcm[i + 1]) << "sample " << i / 2;
    }
    EXPECT_GT(peak, 0.05f);
}

INSTANTIATE_TEST_SUITE_P(
    Media, AudioOnlyFiles,
    ::testing::Values(
        // lavfi sine is at 1/8 of full scale: the mono file's peak 0.125 must
        // reach both channels unchanged (a -3 dB spread would give 0.088).
        AudioOnlyCase{"mono8k.wav", "-f lavfi -i sine=frequency=300:sample_rate=8000:duration=2", 8000},
        AudioOnlyCase{"stereo.mp3", "-f lavfi -i sine=frequency=300:sample_rate=44100:duration=2 -ac 2 -c:a libmp3lame", 44100},
        AudioOnlyCase{"six.wav", "-f lavfi -i sine=frequency=300:sample_rate=48000:duration=2 -af "
                                 "\"pan=5.1|FL=c0|FR=c0|FC=c0|LFE=c0|BL=c0|BR=c0\"",
                      48000}),
    [](const auto &param) {
        std::string n = param.param.name;
        std::replace(n.begin(), n.end(), '.', '_');
        return n;
    });

TEST(MediaSource, MonoIsDuplicatedAtFullLevel)
{
    const std::string path = make("mono8k.wav", "-f lavfi -i sine=frequency=300:sample_rate=8000:duration=2");
    ClipPtr clip = openMediaSource(path, {});
    std::vector<float> pcm(8000 * 2);
    clip->audio(0, 8000, pcm);
    const float peak = std::fabs(*std::max_element(pcm.begin(), pcm.end(),
                                                   [](float a, float b) { return std::fabs(a) < std::fabs(b); }));
    EXPECT_NEAR(peak, 0.125f, 0.005f);
}

struct BadInput
{
    std::string name;
    std::string bytes; // written as the file's content
    std::string reasonFragment;
};

class BadInputs : public ::testing::TestWithParam<BadInput>
{
};

TEST_P(BadInputs, AreRefusedWithTheFileNameAndAReason)
{
    const BadInput &c = GetParam();
    const std::string path = mediatest::tmpPath("bad_" + c.name);
    if (c.name != "missing.avi")
        mediatest::writeText(path, c.bytes);
    try {
        openMediaSource(path, {.fps = 15.0});
        FAIL() << "opened " << c.name;
    } catch (const Error &e) {
        const std::string what = e.what();
        EXPECT_NE(what.find(path), std::string::npos) << what;
        EXPECT_NE(what.find(c.reasonFragment), std::string::npos) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(Media, BadInputs,
                         ::testing::Values(BadInput{"missing.avi", "", "does not exist"},
                                           BadInput{"empty.avi", "", "is empty"},
                                           BadInput{"junk.avi", std::string(4096, '\x5a'), "cannot read"}),
                         [](const auto &param) { return param.param.name.substr(0, param.param.name.find('.')); });

TEST(MediaSource, AudioFileAsMainVideoIsAnError)
{
    const std::string path = make("mono8k.wav", "-f lavfi -i sine=frequency=300:sample_rate=8000:duration=2");
    try {
        openMediaSource(path, {.fps = 15.0});
        FAIL();
    } catch (const Error &e) {
        EXPECT_NE(std::string(e.what()).find("has no video stream"), std::string::npos) << e.what();
    }
}

TEST(MediaSource, InterlacedPicturesAreBlended)
{
    // Alternating black and white lines, flagged interlaced: a woven frame
    // would keep the stripes, the blend turns them into flat grey.
    const std::string path =
        make("interlaced.mkv", "-f lavfi -i color=c=black:size=64x48:rate=25:duration=1 -vf "
                               "\"geq=lum='if(mod(Y,2),235,16)':cb=128:cr=128,setfield=tff\" -flags +ildct+ilme "
                               "-c:v mpeg2video -q:v 2");
    ClipPtr clip = openMediaSource(path, {.fps = 25.0});
    FrameRef f = clip->frame(5);
    const int mid = f->height / 2;
    const int diff = std::abs(f->data[0][mid * f->linesize[0] + 10] - f->data[0][(mid + 1) * f->linesize[0] + 10]);
    EXPECT_LT(diff, 40);
}

// A phone clip stored sideways is shown upright, exactly as the ffmpeg
// command line (which turns by the display matrix too) shows it.
class RotatedClips : public ::testing::TestWithParam<int>
{
};

TEST_P(RotatedClips, AreTurnedUprightBeforeTheScriptSeesThem)
{
    const std::string tag = std::to_string(GetParam());
    const std::string upright = make("rot_src.mp4", "-f lavfi -i testsrc=size=64x48:rate=25:duration=1 "
                                                    "-c:v libx264 -preset ultrafast -pix_fmt yuv420p");
    const std::string path = make("rot_" + tag + ".mp4", "-i '" + upright + "' -c copy -metadata:s:v:0 rotate=" + tag);
    ClipPtr clip = openMediaSource(path, {.fps = 25.0});
    const bool sideways = GetParam() != 180;
    EXPECT_EQ(clip->info().width, sideways ? 48 : 64);
    EXPECT_EQ(clip->info().height, sideways ? 64 : 48);

    const std::string shown = mediatest::run("ffmpeg -nostdin -v error -i '" + path +
                                             "' -frames:v 1 -f rawvideo -pix_fmt yuv420p -");
    ASSERT_EQ(shown.size(), 64u * 48u * 3u / 2u);
    FrameRef f = clip->frame(0);
    ASSERT_EQ(f->width * f->height, 64 * 48);
    std::size_t at = 0;
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane ? f->width / 2 : f->width;
        const int h = plane ? f->height / 2 : f->height;
        for (int y = 0; y < h; ++y) {
            const std::string row(reinterpret_cast<const char *>(f->data[plane] + y * f->linesize[plane]),
                                  static_cast<std::size_t>(w));
            ASSERT_EQ(row, shown.substr(at, static_cast<std::size_t>(w))) << "plane " << plane << " row " << y;
            at += static_cast<std::size_t>(w);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Media, RotatedClips, ::testing::Values(90, 180, 270));

// A file cut off after its index was written promises more than it holds.
TEST(MediaSource, VideoCutOffLongBeforeItsAnnouncedEndIsDamage)
{
    const std::string whole = mediatest::readBytes(
        make("cut_whole.mp4", mediatest::avInputs(64, 48, 25, 4.0) +
                                  " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -movflags +faststart"));
    const std::string path = mediatest::tmpPath("cut_half.mp4");
    mediatest::writeText(path, whole.substr(0, whole.size() / 2));
    ClipPtr clip = openMediaSource(path, {.fps = 15.0});
    ASSERT_EQ(clip->info().frameCount, 60);
    EXPECT_NO_THROW(clip->frame(10)); // what is there still decodes
    try {
        clip->frame(59);
        FAIL() << "the frozen second half was delivered";
    } catch (const Error &e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("cut_half.mp4\" is damaged: its video ends at 00:00:0"), std::string::npos) << what;
        EXPECT_NE(what.find("although it claims to last 00:00:04"), std::string::npos) << what;
    }
}

// The same for sound: an MP3 cut off after its header still promises the
// whole length (its Xing header counts the frames).
TEST(MediaSource, SoundCutOffLongBeforeItsAnnouncedEndIsDamage)
{
    const std::string whole = mediatest::readBytes(
        make("cut_whole.mp3", "-f lavfi -i sine=frequency=300:sample_rate=44100:duration=8 -ac 2 -c:a libmp3lame"));
    const std::string path = mediatest::tmpPath("cut_part.mp3");
    mediatest::writeText(path, whole.substr(0, whole.size() * 5 / 16));
    ClipPtr clip = openMediaSource(path, {});
    ASSERT_TRUE(clip->info().hasAudio);
    EXPECT_NEAR(static_cast<double>(clip->info().sampleCount), 8.0 * 44100, 0.1 * 44100);
    std::vector<float> pcm(44100 * 2);
    EXPECT_NO_THROW(clip->audio(0, 44100, pcm)); // what is there still decodes
    try {
        for (std::int64_t pos = 44100; pos < clip->info().sampleCount; pos += 44100)
            clip->audio(pos, 44100, pcm);
        FAIL() << "the silent rest was delivered";
    } catch (const Error &e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("cut_part.mp3\" is damaged: its sound ends at 00:00:02"), std::string::npos) << what;
        EXPECT_NE(what.find("although it claims to last 00:00:09"), std::string::npos) << what;
    }
}

// Sound that stops while the picture goes on is no damage: silence follows.
TEST(MediaSource, SoundEndingBeforeThePictureIsPaddedWithSilence)
{
    const std::string path = make("sound_stops_early.mkv", "-f lavfi -i testsrc=size=64x48:rate=25:duration=4 "
                                                           "-f lavfi -i sine=duration=1 -c:v libx264 -preset ultrafast "
                                                           "-pix_fmt yuv420p -c:a aac");
    ClipPtr clip = openMediaSource(path, {.fps = 15.0});
    const VideoInfo &vi = clip->info();
    ASSERT_GT(vi.sampleCount, 3 * vi.sampleRate); // Matroska: the file's length
    std::vector<float> pcm(static_cast<std::size_t>(vi.sampleRate) * 2);
    ASSERT_NO_THROW(clip->audio(0, vi.sampleRate / 2, pcm));
    EXPECT_GT(*std::max_element(pcm.begin(), pcm.begin() + vi.sampleRate), 0.05f);
    ASSERT_NO_THROW(clip->audio(3 * vi.sampleRate, vi.sampleRate, pcm));
    EXPECT_EQ(*std::max_element(pcm.begin(), pcm.end()), 0.0f);
}

// Sound stored to start at another time than the picture keeps that
// distance: sample 0 plays with the first picture. The sound is silence,
// then a 440 Hz tone from 1 s of its own time on; the offset is put on one
// input. 20 fps makes 0.5 s a whole number of frames.
struct OffsetCase
{
    std::string name;
    std::string offsetOnVideo; // "-itsoffset 0.5" or ""
    std::string offsetOnAudio;
    std::string codecArgs;
    double onsetSeconds;   // where the tone begins, from the first picture
    double lengthSeconds;  // S: from the first picture to the sound's end
    double toleranceSeconds;
};

void PrintTo(const OffsetCase &c, std::ostream *os)
{
    *os << c.name;
}

class OffsetStreams : public ::testing::TestWithParam<OffsetCase>
{
};

// The first sample louder than a trace, in clip samples.
std::int64_t toneOnset(Clip &clip)
{
    const VideoInfo &vi = clip.info();
    const std::int64_t block = vi.sampleRate / 10;
    std::vector<float> pcm(static_cast<std::size_t>(block) * 2);
    for (std::int64_t pos = 0; pos < vi.sampleCount; pos += block) {
        clip.audio(pos, block, pcm);
        for (std::int64_t i = 0; i < block; ++i)
            if (std::fabs(pcm[static_cast<std::size_t>(i) * 2]) > 0.01f)
                return pos + i;
    }
    return -1;
}

TEST_P(OffsetStreams, SoundStaysInSyncWithThePicture)
{
    const OffsetCase &c = GetParam();
    const std::string path =
        make(c.name, c.offsetOnVideo + " -f lavfi -i testsrc=size=64x48:rate=20:duration=3 " + c.offsetOnAudio +
                         " -f lavfi -i \"aevalsrc=exprs='if(gte(t,1),0.5*sin(2*PI*440*t),0)':s=48000:d=3\" " +
                         c.codecArgs);
    // The file really holds streams starting at different times.
    const auto startOf = [&path](const std::string &stream) {
        return std::stod(mediatest::run("ffprobe -v error -select_streams " + stream +
                                        " -show_entries stream=start_time -of default=nw=1:nk=1 '" + path + "'"));
    };
    EXPECT_GT(std::fabs(startOf("v:0") - startOf("a:0")), 0.4);

    ClipPtr clip = openMediaSource(path, {.fps = 25.0});
    const VideoInfo &vi = clip->info();
    ASSERT_EQ(vi.sampleRate, 48000);
    EXPECT_NEAR(static_cast<double>(vi.sampleCount), c.lengthSeconds * 48000, 0.05 * 48000);
    EXPECT_NEAR(static_cast<double>(toneOnset(*clip)), c.onsetSeconds * 48000, c.toleranceSeconds * 48000);
    // Read again after a jump: seeking places the sound the same way.
    std::vector<float> pcm(2 * 2400);
    clip->audio(static_cast<std::int64_t>((c.onsetSeconds + 0.5) * 48000), 2400, pcm);
    clip->audio(static_cast<std::int64_t>((c.onsetSeconds - 0.05) * 48000), 2400, pcm);
    const auto loud = std::find_if(pcm.begin(), pcm.end(), [](float v) { return std::fabs(v) > 0.01f; });
    const double onset = c.onsetSeconds - 0.05 + static_cast<double>((loud - pcm.begin()) / 2) / 48000;
    EXPECT_NEAR(onset, c.onsetSeconds, c.toleranceSeconds);
}

INSTANTIATE_TEST_SUITE_P(
    Media, OffsetStreams,
    ::testing::Values(
        // Lossless sound: the onset lands to the sample (within 2 ms).
        // Matroska tells only the file's length (3.5 s), so S runs to it.
        OffsetCase{"late_sound.mkv", "", "-itsoffset 0.5", "-c:v ffv1 -c:a pcm_s16le", 1.5, 3.5, 0.002},
        OffsetCase{"early_sound.mkv", "-itsoffset 0.5", "", "-c:v ffv1 -c:a pcm_s16le", 0.5, 3.0, 0.002},
        // MPEG transport streams tell each stream's own length, so S ends
        // with the sound. Their encoders and muxer shift a stream by up to
        // a frame (B-frame reordering), hence the wider margin.
        OffsetCase{"late_sound.ts", "", "-itsoffset 0.5", "-c:v mpeg2video -c:a mp2", 1.5, 3.5, 0.02},
        OffsetCase{"early_sound.ts", "-itsoffset 0.5", "", "-c:v mpeg2video -c:a mp2", 0.5, 2.5, 0.02}),
    [](const auto &param) {
        std::string n = param.param.name;
        std::replace(n.begin(), n.end(), '.', '_');
        return n;
    });

// Video that ends before its file does is no damage: a short shortfall, or
// sound that goes on after the picture, repeats the last picture.
struct ShortVideo
{
    std::string name;
    double videoSeconds;
    double audioSeconds;
};

class ShortVideos : public ::testing::TestWithParam<ShortVideo>
{
};

TEST_P(ShortVideos, ArePaddedWithTheirLastPicture)
{
    const ShortVideo &c = GetParam();
    std::ostringstream args;
    args << "-f lavfi -i testsrc=size=64x48:rate=25:duration=" << c.videoSeconds
         << " -f lavfi -i sine=duration=" << c.audioSeconds << " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac";
    const std::string path = make("short_" + c.name + ".mkv", args.str());
    ClipPtr clip = openMediaSource(path, {.fps = 15.0});
    const std::int64_t n = clip->info().frameCount;
    EXPECT_NEAR(static_cast<double>(n), c.audioSeconds * 15, 1.0); // Matroska: the file's length
    // The last picture starts at videoSeconds - 1/25 s, so its slot is ceil of that times 15.
    const auto lastShown = static_cast<std::int64_t>(std::ceil((c.videoSeconds - 0.04) * 15));
    FrameRef last;
    ASSERT_NO_THROW(last = clip->frame(lastShown));
    FrameRef end;
    ASSERT_NO_THROW(end = clip->frame(n - 1));
    EXPECT_EQ(last.get(), end.get());
}

INSTANTIATE_TEST_SUITE_P(Media, ShortVideos,
                         ::testing::Values(ShortVideo{"by_a_few_frames", 2.0, 2.4},
                                           ShortVideo{"sound_goes_on", 1.0, 4.0}),
                         [](const auto &param) { return param.param.name; });

TEST(ImageSource, RepeatsOnePictureForEndMinusStartPlusOneFrames)
{
    // A '%' in the name is part of the name, not a frame-number pattern.
    const std::string path = make("intro 100%d.png", "-f lavfi -i color=c=red:size=33x25,format=rgb24 -frames:v 1 -c:v png -f image2pipe");
    ClipPtr clip = openImageSource(path, 0, 45, 15.0);
    const VideoInfo &vi = clip->info();
    EXPECT_EQ(vi.frameCount, 46);
    EXPECT_EQ(vi.fpsNum, 15);
    EXPECT_FALSE(vi.hasAudio);
    EXPECT_EQ(vi.width, 33);
    EXPECT_EQ(clip->frame(0).get(), clip->frame(45).get());
    // Rec.601 TV-range red: Y about 81.
    EXPECT_NEAR(meanLuma(*clip->frame(3)), 81.0, 3.0);

    ClipPtr even = convertToYv12(clip);
    EXPECT_EQ(even->info().width, 32);
    EXPECT_EQ(even->info().height, 24);
    EXPECT_EQ(even->frame(0)->width, 32);
}

TEST(ImageSource, EndBeforeStartIsAnError)
{
    const std::string path = make("intro 100%d.png", "-f lavfi -i color=c=red:size=33x25,format=rgb24 -frames:v 1 -c:v png -f image2pipe");
    EXPECT_THROW(openImageSource(path, 10, 5, 15.0), Error);
}

} // namespace
