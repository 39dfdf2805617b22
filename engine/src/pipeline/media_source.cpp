// DirectShowSource: probing a file and choosing its streams. The streams
// themselves are read by VideoStream and AudioStream, opened on first use.

#include "media_source.h"

#include "audio_stream.h"
#include "av_util.h"
#include "clip/error.h"
#include "stream_end.h"
#include "video_stream.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/mathematics.h>
}

namespace engine {

namespace {

// Silence for a file without audio, until ResampleAudio sets the job's rate.
constexpr int kSilenceRate = 48000;
// How far before a file's stated end its pictures' end is looked for.
constexpr std::int64_t kTailSeconds = 10;

int pickAudioStream(AVFormatContext &in)
{
    const int idx = av_find_best_stream(&in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    return idx >= 0 ? idx : -1;
}

// Duration of a stream in its own time base, falling back to the container's.
// Returns {duration, time base}; duration 0 when neither is known.
std::pair<std::int64_t, AVRational> streamDuration(const AVFormatContext &in, const AVStream &st)
{
    if (st.duration != AV_NOPTS_VALUE && st.duration > 0)
        return {st.duration, st.time_base};
    if (in.duration != AV_NOPTS_VALUE && in.duration > 0)
        return {in.duration, AVRational{1, AV_TIME_BASE}};
    return {0, st.time_base};
}

// The first picture's pts is only known after decoding, so the video
// stream's start time stands for it.
AudioOrigin audioOrigin(const AVFormatContext &in, const AVStream &audio, int rate)
{
    const int videoIndex = av::pickVideoStream(in);
    if (videoIndex < 0 || audio.start_time == AV_NOPTS_VALUE)
        return {};
    const AVStream &video = *in.streams[videoIndex];
    if (video.start_time == AV_NOPTS_VALUE)
        return {};
    const AVRational micro{1, AV_TIME_BASE};
    const std::int64_t videoStart = av_rescale_q(video.start_time, video.time_base, micro);
    const std::int64_t audioStart = av_rescale_q(audio.start_time, audio.time_base, micro);
    const std::int64_t fileStart = in.start_time != AV_NOPTS_VALUE ? in.start_time : 0;
    return {av_rescale_rnd(audioStart - videoStart, rate, AV_TIME_BASE, AV_ROUND_NEAR_INF), videoStart - fileStart};
}

// Quarter turns counter-clockwise that the stream's display matrix asks for
// (0 to 3). Phones store the picture as the sensor saw it and flag the turn;
// a user expects to see it upright, as every player shows it. A mirrored
// matrix is taken for its rotation only.
int quarterTurns(const AVStream &st)
{
    const std::uint8_t *matrix = av_stream_get_side_data(&st, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix)
        return 0;
    const double degrees = av_display_rotation_get(reinterpret_cast<const std::int32_t *>(matrix));
    if (std::isnan(degrees))
        return 0;
    const long turns = std::lround(degrees / 90.0) % 4;
    return static_cast<int>(turns < 0 ? turns + 4 : turns);
}

class MediaSource final : public Clip
{
public:
    MediaSource(const std::string &path, const MediaSourceOptions &options) : m_path(path), m_source(options.source)
    {
        m_probe = av::openInputFile(path);
        const int videoIndex = options.video ? av::pickVideoStream(*m_probe) : -1;
        m_audioIndex = options.audio ? pickAudioStream(*m_probe) : -1;

        if (options.fps && videoIndex < 0)
            throw Error(av::quoted(path) + " has no video stream");
        if (videoIndex < 0 && m_audioIndex < 0)
            throw Error(av::quoted(path) + " has neither a video nor an audio stream the engine can read");

        if (videoIndex >= 0)
            setUpVideo(videoIndex, options.fps);
        if (options.audio)
            setUpAudio();
        if (videoIndex < 0)
            m_probe.reset();
    }

protected:
    FrameRef frameAt(std::int64_t n) override
    {
        openVideo();
        return m_video->frameAt(n);
    }

    std::int64_t cheapFrameNearAt(std::int64_t n) override
    {
        openVideo();
        return m_video->keyFrameNear(n);
    }

    PictureToScale frameToScaleAt(std::int64_t n) override
    {
        openVideo();
        return m_video->frameToScaleAt(n);
    }

    std::optional<SourceMoment> originAt(std::int64_t n, SourceNumber source) override
    {
        if (source != m_source)
            return std::nullopt;
        return SourceMoment{n, m_info.fpsNum, m_info.fpsDen};
    }

    void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) override
    {
        if (m_audioIndex < 0) {
            std::fill(out.begin(), out.end(), 0.0f);
            return;
        }
        if (!m_audio)
            m_audio = std::make_unique<AudioStream>(m_path, m_audioIndex, m_info.sampleRate, m_info.sampleCount,
                                                    m_audioOrigin, control());
        m_audio->read(start, count, out);
    }

private:
    void openVideo()
    {
        if (!m_video) {
            av::InputPtr in = m_probe ? std::move(m_probe) : av::openInputFile(m_path);
            m_video = std::make_unique<VideoStream>(m_path, std::move(in), m_videoIndex, m_layout, control());
        }
    }

    void setUpVideo(int index, std::optional<double> fps)
    {
        const AVStream *st = m_probe->streams[index];
        m_videoIndex = index;
        // Reading the stream information decodes a first picture when the
        // headers do not tell its size.
        if (st->codecpar->width <= 0 || st->codecpar->height <= 0)
            throw Error("cannot tell the picture size of " + av::quoted(m_path) +
                        ": no picture in it could be decoded");
        if (fps) {
            std::tie(m_info.fpsNum, m_info.fpsDen) = av::fpsRational(*fps);
        } else {
            const AVRational rate = av::streamFrameRate(*st);
            m_info.fpsNum = rate.num;
            m_info.fpsDen = rate.den;
        }
        const auto [duration, tb] = videoDuration(index, *st);
        m_info.hasVideo = true;
        m_layout.storedWidth = st->codecpar->width;
        m_layout.storedHeight = st->codecpar->height;
        // The script sees the picture as it is shown: a phone clip stored
        // sideways is turned upright, so Width and Height are swapped.
        m_layout.quarterTurns = quarterTurns(*st);
        const bool sideways = m_layout.quarterTurns % 2 != 0;
        m_info.width = sideways ? m_layout.storedHeight : m_layout.storedWidth;
        m_info.height = sideways ? m_layout.storedWidth : m_layout.storedHeight;
        // N = ceil(duration * fps), exactly.
        m_info.frameCount = av_rescale_rnd(duration, std::int64_t{tb.num} * m_info.fpsNum,
                                           std::int64_t{tb.den} * m_info.fpsDen, AV_ROUND_UP);
        m_layout.fpsNum = m_info.fpsNum;
        m_layout.fpsDen = m_info.fpsDen;
        m_layout.frameCount = m_info.frameCount;
    }

    // How long the pictures last. A container's duration covers every
    // stream: a Matroska file whose sound starts late states the end of its
    // sound, and the clip would gain pictures repeated past the video's end.
    // So, where the stream states no length of its own, its own tag tells
    // (Matroska muxers write one per track, saying where it ends), else the
    // end of its last packets, read near the stated end; the container's duration only
    // stands when neither is there (a file cut off before its end, which
    // the video stream then reports as damaged), and a file that states no
    // length at all has its pictures counted.
    std::pair<std::int64_t, AVRational> videoDuration(int index, const AVStream &st) const
    {
        constexpr AVRational kMicros{1, AV_TIME_BASE};
        if (st.duration != AV_NOPTS_VALUE && st.duration > 0)
            return {st.duration, st.time_base};
        const AVFormatContext &in = *m_probe;
        const std::int64_t fileStart = in.start_time != AV_NOPTS_VALUE ? in.start_time : 0;
        const std::int64_t firstPicture =
            st.start_time != AV_NOPTS_VALUE ? av_rescale_q(st.start_time, st.time_base, kMicros) : fileStart;
        // The tag tells where the track ends, on the file's clock.
        if (const std::int64_t tagged = taggedEndMicros(st); tagged > firstPicture)
            return {tagged - firstPicture, kMicros};
        if (in.duration == AV_NOPTS_VALUE || in.duration <= 0)
            return {countedDuration(index, st), st.time_base};
        const std::int64_t videoStart = firstPicture - fileStart;
        const std::int64_t end =
            av::scanPackets(m_path, index, in.duration - kTailSeconds * AV_TIME_BASE).countedEndMicros;
        if (end > videoStart)
            return {end - videoStart, kMicros};
        return {in.duration, kMicros};
    }

    // Matroska's per-track "DURATION" tag, "HH:MM:SS.nnnnnnnnn": the end of
    // the track's last frame. 0 when there is none or it does not read.
    static std::int64_t taggedEndMicros(const AVStream &st)
    {
        const AVDictionaryEntry *tag = av_dict_get(st.metadata, "DURATION", nullptr, 0);
        long long hours = 0;
        int minutes = 0;
        double seconds = 0;
        if (!tag || std::sscanf(tag->value, "%lld:%d:%lf", &hours, &minutes, &seconds) != 3 || hours < 0 ||
            minutes < 0 || !(seconds >= 0) || hours > 1'000'000)
            return 0;
        return std::llround((static_cast<double>(hours) * 3600 + minutes * 60 + seconds) * AV_TIME_BASE);
    }

    // A file that states no length (a raw H.264 stream as cameras and
    // recorders write it): its pictures are counted, packet by packet,
    // without decoding.
    std::int64_t countedDuration(int index, const AVStream &st) const
    {
        const av::PacketScan scan = av::scanPackets(m_path, index, 0);
        if (scan.packets == 0)
            throw Error(av::quoted(m_path) + " contains no picture");
        if (scan.duration > 0)
            return scan.duration;
        return av_rescale_q(scan.packets, av_inv_q(av::streamFrameRate(st)), st.time_base);
    }

    void setUpAudio()
    {
        m_info.hasAudio = true;
        m_info.channels = 2;
        if (m_audioIndex < 0) {
            m_info.sampleRate = kSilenceRate;
            m_info.sampleCount = m_info.samplesForFrames(m_info.frameCount);
            return;
        }
        const AVFormatContext &in = *m_probe;
        const AVStream *st = in.streams[m_audioIndex];
        m_info.sampleRate = st->codecpar->sample_rate;
        if (m_info.sampleRate <= 0)
            throw Error("cannot tell the sample rate of " + av::quoted(m_path));
        const auto [duration, tb] = streamDuration(in, *st);
        m_audioOrigin = audioOrigin(in, *st, m_info.sampleRate);
        // S runs from sample 0 to the sound's end. A container's duration
        // counts from the file's start, a stream's from the stream's own.
        const bool ownDuration = st->duration != AV_NOPTS_VALUE && st->duration > 0;
        const std::int64_t length =
            ownDuration ? av_rescale_rnd(duration, std::int64_t{tb.num} * m_info.sampleRate, tb.den, AV_ROUND_NEAR_INF) +
                              m_audioOrigin.lead
                        : av_rescale_rnd(duration - av_rescale_q(m_audioOrigin.micros, AVRational{1, AV_TIME_BASE}, tb),
                                         std::int64_t{tb.num} * m_info.sampleRate, tb.den, AV_ROUND_NEAR_INF);
        m_info.sampleCount = std::max<std::int64_t>(length, 0);
    }

    std::string m_path;
    SourceNumber m_source;
    av::InputPtr m_probe; // handed to the video decoder on first use
    int m_videoIndex = -1;
    int m_audioIndex = -1;
    AudioOrigin m_audioOrigin;
    VideoLayout m_layout;
    std::unique_ptr<VideoStream> m_video;
    std::unique_ptr<AudioStream> m_audio;
};

} // namespace

ClipPtr openMediaSource(const std::string &path, const MediaSourceOptions &options)
{
    return std::make_shared<MediaSource>(path, options);
}

} // namespace engine
