#include "media_source.h"

#include "av_ptr.h"
#include "av_util.h"
#include "clip/error.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iterator>
#include <exception>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
}

namespace engine {

namespace {

// Decoded pictures waiting for the consumer: enough to keep the decoder busy
// while a frame is scaled and encoded, few enough to bound memory.
constexpr std::size_t kQueuePictures = 6;
// libavcodec's own frame threads, on top of the decode-ahead thread.
constexpr int kDecoderThreads = 2;
// Targets further ahead than this are reached by seeking, not decoding.
constexpr int kSeekAheadSeconds = 10;
// Silence for a file without audio, until ResampleAudio sets the job's rate.
constexpr int kSilenceRate = 48000;
// A video that ends before its announced length is padded with its last
// picture, and sound with silence, when it falls short by at most this much
// (real files often miss a few frames); a larger shortfall means the file
// was cut off.
constexpr int kShortfallToleranceSeconds = 1;
constexpr int kShortfallTolerancePercent = 5;
// How far before the announced end the damage check starts reading packets.
constexpr int kEndCheckSeconds = 30;

std::string quoted(const std::string &path)
{
    return "\"" + path + "\"";
}

bool isEndOfInput(int ret)
{
    return ret == AVERROR_EOF;
}

// The file's main picture stream: the largest real video stream, never a
// cover image attached to an audio file.
// Feeds [dec] the next packet of stream [index], or starts draining it at the
// end of the input. A truncated file ends here like a complete one; the
// caller tells them apart by the length. A damaged packet costs its picture
// or its sound, not the whole file.
void feedDecoder(AVFormatContext &in, AVCodecContext &dec, AVPacket &pkt, int index, bool &draining,
                 const std::string &path, const char *decodingWhat)
{
    const int read = av_read_frame(&in, &pkt);
    if (read < 0) {
        if (!isEndOfInput(read) && !(in.pb && avio_feof(in.pb)))
            check(read, ("reading " + quoted(path)).c_str());
        if (!draining) {
            draining = true;
            avcodec_send_packet(&dec, nullptr);
        }
        return;
    }
    if (pkt.stream_index != index) {
        av_packet_unref(&pkt);
        return;
    }
    const int sent = avcodec_send_packet(&dec, &pkt);
    av_packet_unref(&pkt);
    if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA)
        check(sent, (decodingWhat + quoted(path)).c_str());
}

int pickVideoStream(const AVFormatContext &in)
{
    int best = -1;
    std::int64_t bestArea = -1;
    for (unsigned i = 0; i < in.nb_streams; ++i) {
        const AVStream *st = in.streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || (st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        const std::int64_t area = std::int64_t{st->codecpar->width} * st->codecpar->height;
        if (area > bestArea) {
            best = static_cast<int>(i);
            bestArea = area;
        }
    }
    return best;
}

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

// Where sample 0 of a file's sound lies. With a picture it is the first
// picture: sound stored to start later (or earlier) than it must keep that
// distance, or it plays out of sync. The first pts is only known after
// decoding, so the video stream's start time stands for it.
struct AudioOrigin
{
    std::int64_t lead = 0;   // clip sample at which the stream's own start plays
    std::int64_t micros = 0; // sample 0, in AV_TIME_BASE units from the file's start
};

AudioOrigin audioOrigin(const AVFormatContext &in, const AVStream &audio, int rate)
{
    const int videoIndex = pickVideoStream(in);
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

// hh:mm:ss, as the converter shows lengths.
std::string clockText(std::int64_t seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return buf;
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

// Turns one plane of w x h by quarter turns counter-clockwise.
void rotatePlane(const std::uint8_t *src, int srcStride, std::uint8_t *dst, int dstStride, int w, int h, int turns)
{
    const int dw = turns == 2 ? w : h;
    const int dh = turns == 2 ? h : w;
    for (int y = 0; y < dh; ++y) {
        std::uint8_t *out = dst + std::ptrdiff_t{y} * dstStride;
        for (int x = 0; x < dw; ++x) {
            int sx = 0;
            int sy = 0;
            if (turns == 1) { // counter-clockwise: the right column becomes the top row
                sx = w - 1 - y;
                sy = x;
            } else if (turns == 2) {
                sx = w - 1 - x;
                sy = h - 1 - y;
            } else { // clockwise: the left column becomes the top row
                sx = y;
                sy = h - 1 - x;
            }
            out[x] = src[std::ptrdiff_t{sy} * srcStride + sx];
        }
    }
}

av::FramePtr rotate(const AVFrame &src, int turns)
{
    av::FramePtr out = av::allocFrame();
    out->format = AV_PIX_FMT_YUV420P;
    out->width = turns == 2 ? src.width : src.height;
    out->height = turns == 2 ? src.height : src.width;
    check(av_frame_get_buffer(out.get(), 0), "allocating a picture");
    const int cw = (src.width + 1) / 2;
    const int ch = (src.height + 1) / 2;
    rotatePlane(src.data[0], src.linesize[0], out->data[0], out->linesize[0], src.width, src.height, turns);
    rotatePlane(src.data[1], src.linesize[1], out->data[1], out->linesize[1], cw, ch, turns);
    rotatePlane(src.data[2], src.linesize[2], out->data[2], out->linesize[2], cw, ch, turns);
    return out;
}

// Where the file's data really ends, in AV_TIME_BASE units from its start:
// the end of the last packet of any stream. Reads packets only (no decoding),
// from about kEndCheckSeconds before claimedEnd, or from the start when the
// file cannot seek there. Returns -1 when nothing could be read.
std::int64_t dataEnd(const std::string &path, std::int64_t claimedEnd)
{
    av::InputPtr in = av::openInputFile(path);
    const std::int64_t start = in->start_time != AV_NOPTS_VALUE ? in->start_time : 0;
    const std::int64_t target = start + claimedEnd - std::int64_t{kEndCheckSeconds} * AV_TIME_BASE;
    if (target > start)
        avformat_seek_file(in.get(), -1, INT64_MIN, target, target, 0);
    av::PacketPtr pkt = av::allocPacket();
    std::int64_t end = -1;
    while (av_read_frame(in.get(), pkt.get()) >= 0) {
        const AVStream *st = in->streams[pkt->stream_index];
        const std::int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (ts != AV_NOPTS_VALUE) {
            const std::int64_t stop = av_rescale_q(ts + std::max<std::int64_t>(pkt->duration, 0), st->time_base,
                                                   AVRational{1, AV_TIME_BASE});
            end = std::max(end, stop - start);
        }
        av_packet_unref(pkt.get());
    }
    return end;
}

// A [1 2 1] vertical blend: folds the two fields of an interlaced picture
// into one, so that scaling down does not comb moving edges.
void blendPlane(const std::uint8_t *src, int srcStride, std::uint8_t *dst, int dstStride, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *above = src + std::ptrdiff_t{std::max(y - 1, 0)} * srcStride;
        const std::uint8_t *row = src + std::ptrdiff_t{y} * srcStride;
        const std::uint8_t *below = src + std::ptrdiff_t{std::min(y + 1, height - 1)} * srcStride;
        std::uint8_t *out = dst + std::ptrdiff_t{y} * dstStride;
        for (int x = 0; x < width; ++x)
            out[x] = static_cast<std::uint8_t>((above[x] + 2 * row[x] + below[x] + 2) >> 2);
    }
}

av::FramePtr deinterlace(const AVFrame &src)
{
    av::FramePtr out = av::allocFrame();
    out->format = AV_PIX_FMT_YUV420P;
    out->width = src.width;
    out->height = src.height;
    check(av_frame_get_buffer(out.get(), 0), "allocating a picture");
    const int cw = (src.width + 1) / 2;
    const int ch = (src.height + 1) / 2;
    blendPlane(src.data[0], src.linesize[0], out->data[0], out->linesize[0], src.width, src.height);
    blendPlane(src.data[1], src.linesize[1], out->data[1], out->linesize[1], cw, ch);
    blendPlane(src.data[2], src.linesize[2], out->data[2], out->linesize[2], cw, ch);
    return out;
}

// What the video decoder needs to know about the clip it feeds.
struct VideoLayout
{
    int storedWidth = 0;  // the stream's own picture size
    int storedHeight = 0;
    int quarterTurns = 0; // counter-clockwise turns to show it upright
    int fpsNum = 0;
    int fpsDen = 1;
    std::int64_t frameCount = 0; // N, the announced length
};

// Demuxes and decodes one video stream on a helper thread into a small
// queue of YUV 4:2:0 pictures, and maps them onto a constant frame rate.
class VideoStream
{
public:
    VideoStream(std::string path, av::InputPtr in, int streamIndex, const VideoLayout &layout)
        : m_path(std::move(path)), m_width(layout.storedWidth), m_height(layout.storedHeight),
          m_turns(layout.quarterTurns), m_fpsNum(layout.fpsNum), m_fpsDen(layout.fpsDen),
          m_frameCount(layout.frameCount), m_pkt(av::allocPacket()), m_frame(av::allocFrame())
    {
        adopt(std::move(in), streamIndex);
        // Copied before any decode thread reads on: some demuxers add to
        // the index while reading.
        const int entries = avformat_index_get_entries_count(m_st);
        for (int i = 0; i < entries; ++i) {
            const AVIndexEntry *e = avformat_index_get_entry(m_st, i);
            if (e && (e->flags & AVINDEX_KEYFRAME) && e->timestamp != AV_NOPTS_VALUE)
                m_keyTs.push_back(e->timestamp);
        }
        std::sort(m_keyTs.begin(), m_keyTs.end());
        m_keyTs.erase(std::unique(m_keyTs.begin(), m_keyTs.end()), m_keyTs.end());
    }

    ~VideoStream() { stopThread(); }

    VideoStream(const VideoStream &) = delete;
    VideoStream &operator=(const VideoStream &) = delete;

    // Frame n of the constant-rate clip: the last picture whose slot is <= n.
    FrameRef frameAt(std::int64_t n)
    {
        if (!m_current)
            restartFromBeginning();
        const std::int64_t aheadLimit = std::int64_t{kSeekAheadSeconds} * m_fpsNum / m_fpsDen + 1;
        if (n < m_currentSlot || n - m_currentSlot > aheadLimit || keyFrameSkipsAhead(n))
            seekTo(n);
        for (;;) {
            if (!m_next && !m_atEnd) {
                m_next = pop();
                m_atEnd = !m_next;
            }
            if (!m_next || slotOf(m_next->pts) > n)
                break;
            m_currentSlot = slotOf(m_next->pts);
            m_current = std::move(m_next);
            m_next.reset();
        }
        if (m_atEnd && !m_endChecked) {
            m_endChecked = true;
            refuseIfCutOff();
        }
        return m_current->picture;
    }

    // The slot of the keyframe nearest to slot n, from the file's index;
    // n when the file has no usable index.
    std::int64_t keyFrameNear(std::int64_t n)
    {
        if (m_keyTs.size() < 2)
            return n;
        if (!m_current)
            restartFromBeginning();
        const std::int64_t target = slotPts(n) - keyOffset();
        auto it = std::lower_bound(m_keyTs.begin(), m_keyTs.end(), target);
        if (it == m_keyTs.end() || (it != m_keyTs.begin() && target - *std::prev(it) < *it - target))
            it = std::prev(it);
        // An index built while reading may cover only the start of the file:
        // a keyframe that far away is no longer near.
        const std::int64_t far = av_rescale_q(kSeekAheadSeconds, AVRational{1, 1}, m_st->time_base);
        if (std::abs(*it - target) > far)
            return n;
        return std::clamp<std::int64_t>(slotOf(*it + keyOffset()), 0, m_frameCount - 1);
    }

private:
    struct Picture
    {
        FrameRef picture;
        std::int64_t pts = 0;
    };

    // The first picture time of slot n.
    std::int64_t slotPts(std::int64_t n) const
    {
        const AVRational tb = m_st->time_base;
        return m_firstPts + av_rescale_rnd(n, std::int64_t{tb.den} * m_fpsDen, std::int64_t{tb.num} * m_fpsNum,
                                           AV_ROUND_DOWN);
    }

    // Index times are decode times; a keyframe is shown this much later
    // (the decoder's reorder delay), taken from the first keyframe.
    std::int64_t keyOffset() const
    {
        return m_keyTs.empty() || m_firstPts == AV_NOPTS_VALUE ? 0 : std::max<std::int64_t>(m_firstPts - m_keyTs.front(), 0);
    }

    // True when a keyframe lies well beyond the picture decoded last and
    // at or before slot n: seeking there skips decoding everything between.
    bool keyFrameSkipsAhead(std::int64_t n) const
    {
        if (m_keyTs.size() < 2 || n - m_currentSlot <= 1)
            return false;
        const std::int64_t target = slotPts(n) - keyOffset();
        auto it = std::upper_bound(m_keyTs.begin(), m_keyTs.end(), target);
        if (it == m_keyTs.begin())
            return false;
        const std::int64_t key = *std::prev(it) + keyOffset();
        const std::int64_t decoded = m_next ? m_next->pts : m_current->pts;
        // Half a second of decoding costs about what restarting the decoder
        // after a seek does.
        const std::int64_t halfSecond = av_rescale_q(1, AVRational{1, 2}, m_st->time_base);
        return key > decoded + halfSecond;
    }

    // Decoding has ended and m_current is the last picture. The frames from
    // it to the announced end would all repeat it: a few are padded
    // silently, but a second half frozen on one picture is a damaged file
    // the user must hear about rather than get as a finished conversion.
    void refuseIfCutOff()
    {
        const std::int64_t missing = m_frameCount - 1 - m_currentSlot;
        const std::int64_t oneSecond = (std::int64_t{kShortfallToleranceSeconds} * m_fpsNum + m_fpsDen - 1) / m_fpsDen;
        const std::int64_t tolerance = std::max(oneSecond, m_frameCount * kShortfallTolerancePercent / 100);
        if (missing <= tolerance)
            return;
        // A video stream shorter than its file is no damage (the sound may
        // go on after the picture ends): the file was cut off only when none
        // of its streams reaches the announced end.
        const auto micros = [this](std::int64_t frames) {
            return av_rescale(frames, std::int64_t{m_fpsDen} * AV_TIME_BASE, m_fpsNum);
        };
        const std::int64_t end = dataEnd(m_path, micros(m_frameCount));
        if (end >= micros(m_frameCount - tolerance))
            return;
        const std::int64_t endsAt = (m_currentSlot + 1) * m_fpsDen / m_fpsNum;
        const std::int64_t claims = (m_frameCount * m_fpsDen + m_fpsNum - 1) / m_fpsNum;
        throw Error("the file " + quoted(m_path) + " is damaged: its video ends at " + clockText(endsAt) +
                    " although it claims to last " + clockText(claims));
    }

    void adopt(av::InputPtr in, int streamIndex)
    {
        m_dec.reset();
        m_in = std::move(in);
        m_index = streamIndex;
        m_st = m_in->streams[streamIndex];
        for (unsigned i = 0; i < m_in->nb_streams; ++i)
            m_in->streams[i]->discard = static_cast<int>(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        m_dec = av::openDecoder(m_st, kDecoderThreads, m_path);
        AVRational rate = m_st->avg_frame_rate.num > 0 ? m_st->avg_frame_rate : m_st->r_frame_rate;
        if (rate.num <= 0 || rate.den <= 0)
            rate = AVRational{25, 1};
        m_guessStep = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), m_st->time_base));
        resetDecodeState();
    }

    void resetDecodeState()
    {
        m_draining = false;
        m_guessPts = AV_NOPTS_VALUE;
        m_next.reset();
        m_atEnd = false;
    }

    // The constant-rate slot a picture starts: ceil((pts - first) * fps).
    std::int64_t slotOf(std::int64_t pts) const
    {
        const AVRational tb = m_st->time_base;
        return av_rescale_rnd(pts - m_firstPts, std::int64_t{tb.num} * m_fpsNum, std::int64_t{tb.den} * m_fpsDen,
                              AV_ROUND_UP);
    }

    void restartFromBeginning()
    {
        stopThread();
        if (m_current || m_firstPts != AV_NOPTS_VALUE) {
            // Reopening is the one way back to the start that every
            // container supports.
            adopt(av::openInputFile(m_path), m_index);
        }
        resetDecodeState();
        startThread();
        std::optional<Picture> first = pop();
        if (!first)
            throw Error(quoted(m_path) + " contains no picture that can be decoded");
        if (m_firstPts == AV_NOPTS_VALUE)
            m_firstPts = first->pts;
        m_currentSlot = slotOf(first->pts);
        m_current = std::move(first);
    }

    // Positions the decoder on the keyframe before frame n, so that a late
    // start does not decode everything before it.
    void seekTo(std::int64_t n)
    {
        const AVRational tb = m_st->time_base;
        const std::int64_t target =
            m_firstPts + av_rescale_rnd(n, std::int64_t{tb.den} * m_fpsDen, std::int64_t{tb.num} * m_fpsNum,
                                        AV_ROUND_DOWN);
        const std::int64_t second = av_rescale_q(1, AVRational{1, 1}, tb);
        for (const std::int64_t backoff : {std::int64_t{0}, 2 * second, 10 * second}) {
            stopThread();
            const std::int64_t ts = target - backoff;
            if (ts <= m_firstPts)
                break;
            if (avformat_seek_file(m_in.get(), m_index, INT64_MIN, ts, ts, 0) < 0)
                break;
            avcodec_flush_buffers(m_dec.get());
            resetDecodeState();
            startThread();
            std::optional<Picture> first = pop();
            if (first && slotOf(first->pts) <= n) {
                m_currentSlot = slotOf(first->pts);
                m_current = std::move(first);
                return;
            }
        }
        restartFromBeginning();
    }

    void startThread()
    {
        m_ended = false;
        m_error = nullptr;
        m_queue.clear();
        m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
    }

    void stopThread()
    {
        if (m_thread.joinable()) {
            m_thread.request_stop();
            m_thread.join();
        }
        m_queue.clear();
    }

    void run(std::stop_token stop)
    {
        try {
            while (!stop.stop_requested()) {
                std::optional<Picture> pic = decodeNext();
                std::unique_lock lock(m_mutex);
                if (!pic) {
                    m_ended = true;
                    m_cv.notify_all();
                    return;
                }
                m_cv.wait(lock, stop, [this] { return m_queue.size() < kQueuePictures; });
                if (stop.stop_requested())
                    return;
                m_queue.push_back(std::move(*pic));
                m_cv.notify_all();
            }
        } catch (...) {
            std::lock_guard lock(m_mutex);
            m_error = std::current_exception();
            m_ended = true;
            m_cv.notify_all();
        }
    }

    // The next decoded picture in order; empty at the end of the stream.
    std::optional<Picture> pop()
    {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return !m_queue.empty() || m_ended; });
        if (!m_queue.empty()) {
            Picture p = std::move(m_queue.front());
            m_queue.pop_front();
            m_cv.notify_all();
            return p;
        }
        if (m_error)
            std::rethrow_exception(m_error);
        return std::nullopt;
    }

    // Decode thread only.
    std::optional<Picture> decodeNext()
    {
        for (;;) {
            const int got = avcodec_receive_frame(m_dec.get(), m_frame.get());
            if (got == 0) {
                std::int64_t pts = m_frame->best_effort_timestamp;
                if (pts == AV_NOPTS_VALUE)
                    pts = m_guessPts == AV_NOPTS_VALUE ? 0 : m_guessPts;
                m_guessPts = pts + (m_frame->pkt_duration > 0 ? m_frame->pkt_duration : m_guessStep);
                Picture p{convert(*m_frame), pts};
                av_frame_unref(m_frame.get());
                return p;
            }
            if (got == AVERROR_EOF)
                return std::nullopt;
            if (got != AVERROR(EAGAIN))
                check(got, ("decoding the video of " + quoted(m_path)).c_str());

            feedDecoder(*m_in, *m_dec, *m_pkt, m_index, m_draining, m_path, "decoding the video of ");
        }
    }

    FrameRef convert(const AVFrame &src)
    {
        av::FramePtr flat;
        if (src.format == AV_PIX_FMT_YUV420P && src.width == m_width && src.height == m_height) {
            flat.reset(av_frame_clone(&src));
            if (!flat)
                throw Error("out of memory");
        } else {
            flat = av::toYuv420(src, m_width, m_height, SWS_BICUBIC | SWS_ACCURATE_RND, m_sws);
        }
        if (src.interlaced_frame)
            flat = deinterlace(*flat);
        if (m_turns != 0)
            flat = rotate(*flat, m_turns);
        return av::share(std::move(flat));
    }

    std::string m_path;
    int m_width; // stored size: decoded pictures are brought to it before turning
    int m_height;
    int m_turns;
    int m_fpsNum;
    int m_fpsDen;
    std::int64_t m_frameCount;
    std::vector<std::int64_t> m_keyTs; // keyframe decode times from the index, ascending

    // Decoding state, touched only by the decode thread while it runs.
    av::InputPtr m_in;
    AVStream *m_st = nullptr;
    int m_index = -1;
    av::CodecCtxPtr m_dec;
    av::PacketPtr m_pkt;
    av::FramePtr m_frame;
    av::SwsPtr m_sws;
    bool m_draining = false;
    std::int64_t m_guessPts = AV_NOPTS_VALUE;
    std::int64_t m_guessStep = 1;

    // The queue between the decode thread and the consumer.
    std::mutex m_mutex;
    std::condition_variable_any m_cv;
    std::deque<Picture> m_queue;
    bool m_ended = false;
    std::exception_ptr m_error;

    // Consumer state.
    std::int64_t m_firstPts = AV_NOPTS_VALUE;
    std::optional<Picture> m_current;
    std::int64_t m_currentSlot = 0;
    std::optional<Picture> m_next;
    bool m_atEnd = false;
    bool m_endChecked = false;

    std::jthread m_thread; // last: stopped before anything it uses goes away
};

// Decodes one audio stream to interleaved stereo float at its own rate.
// Sequential reads stream through a small buffer; a jump seeks.
class AudioStream
{
public:
    // announced: the clip's length in samples, S. origin: where sample 0
    // lies relative to the stream's own start.
    AudioStream(std::string path, int streamIndex, int rate, std::int64_t announced, AudioOrigin origin)
        : m_path(std::move(path)), m_index(streamIndex), m_rate(rate), m_announced(announced), m_origin(origin),
          m_pkt(av::allocPacket()), m_frame(av::allocFrame())
    {
        open();
    }

    ~AudioStream() { av_channel_layout_uninit(&m_swrLayout); }

    AudioStream(const AudioStream &) = delete;
    AudioStream &operator=(const AudioStream &) = delete;

    void read(std::int64_t start, std::int64_t count, std::span<float> out)
    {
        // Before the stream's first sample there is only silence to read.
        const bool beforeBuffer = start < m_bufStart && !(m_fromStart && m_bufStart == m_origin.lead);
        if (beforeBuffer || start > bufferEnd() + std::int64_t{kSeekAheadSeconds} * m_rate)
            seekTo(start);
        for (;;) {
            dropBefore(start);
            if (m_positioned && bufferEnd() >= start + count)
                break;
            if (m_end)
                break;
            decodeMore();
        }
        if (m_end && !m_endChecked && (!m_positioned || bufferEnd() < start + count)) {
            m_endChecked = true;
            // Nothing decoded after a seek: the sound ends before start.
            refuseIfCutOff(m_positioned ? bufferEnd() : start);
        }
        std::fill(out.begin(), out.end(), 0.0f);
        if (!m_positioned)
            return;
        const std::int64_t from = std::max(start, m_bufStart);
        const std::int64_t to = std::min(start + count, bufferEnd());
        if (from < to)
            std::copy(m_buf.begin() + (from - m_bufStart) * 2, m_buf.begin() + (to - m_bufStart) * 2,
                      out.begin() + (from - start) * 2);
    }

private:
    std::int64_t bufferEnd() const { return m_bufStart + static_cast<std::int64_t>(m_buf.size() / 2); }

    // The sound ended at sample realEnd. Reads past it are silence: a small
    // shortfall is normal, and so is sound that stops before the picture,
    // but a file cut off in the middle must not become a finished
    // conversion with a silent second half. As for the video, the file was
    // cut off only when none of its streams reaches the announced end.
    void refuseIfCutOff(std::int64_t realEnd)
    {
        const std::int64_t missing = m_announced - realEnd;
        const std::int64_t tolerance = std::max(std::int64_t{kShortfallToleranceSeconds} * m_rate,
                                                m_announced * kShortfallTolerancePercent / 100);
        if (missing <= tolerance)
            return;
        const auto micros = [this](std::int64_t samples) { return av_rescale(samples, AV_TIME_BASE, m_rate); };
        const std::int64_t end = dataEnd(m_path, m_origin.micros + micros(m_announced));
        if (end >= m_origin.micros + micros(m_announced - tolerance))
            return;
        const std::int64_t endsAt = std::max<std::int64_t>(realEnd, 0) / m_rate;
        const std::int64_t claims = (m_announced + m_rate - 1) / m_rate;
        throw Error("the file " + quoted(m_path) + " is damaged: its sound ends at " + clockText(endsAt) +
                    " although it claims to last " + clockText(claims));
    }

    void dropBefore(std::int64_t start)
    {
        if (!m_positioned || start <= m_bufStart)
            return;
        const std::int64_t drop = std::min<std::int64_t>(start - m_bufStart, static_cast<std::int64_t>(m_buf.size() / 2));
        m_buf.erase(m_buf.begin(), m_buf.begin() + drop * 2);
        m_bufStart += drop;
    }

    void open()
    {
        m_dec.reset();
        m_in = av::openInputFile(m_path);
        m_st = m_in->streams[m_index];
        for (unsigned i = 0; i < m_in->nb_streams; ++i)
            m_in->streams[i]->discard = static_cast<int>(i) == m_index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        m_dec = av::openDecoder(m_st, 1, m_path);
        m_startPts = m_st->start_time != AV_NOPTS_VALUE ? m_st->start_time : 0;
        resetBuffer(true);
    }

    void resetBuffer(bool atStart)
    {
        m_swr.reset();
        m_buf.clear();
        m_bufStart = m_origin.lead;
        m_positioned = atStart; // from the start, samples are simply counted
        m_fromStart = atStart;
        m_end = false;
        m_draining = false;
    }

    void seekTo(std::int64_t start)
    {
        const AVRational tb = m_st->time_base;
        const std::int64_t ts =
            m_startPts + av_rescale_rnd(start - m_origin.lead, tb.den, std::int64_t{m_rate} * tb.num, AV_ROUND_DOWN);
        if (start > m_origin.lead && avformat_seek_file(m_in.get(), m_index, INT64_MIN, ts, ts, 0) >= 0) {
            avcodec_flush_buffers(m_dec.get());
            resetBuffer(false);
            return;
        }
        open();
    }

    void decodeMore()
    {
        for (;;) {
            const int got = avcodec_receive_frame(m_dec.get(), m_frame.get());
            if (got == 0) {
                append(*m_frame);
                av_frame_unref(m_frame.get());
                return;
            }
            if (got == AVERROR_EOF) {
                flushResampler();
                m_end = true;
                return;
            }
            if (got != AVERROR(EAGAIN))
                check(got, ("decoding the audio of " + quoted(m_path)).c_str());
            feedDecoder(*m_in, *m_dec, *m_pkt, m_index, m_draining, m_path, "decoding the audio of ");
        }
    }

    void append(const AVFrame &frame)
    {
        if (!m_positioned) {
            const std::int64_t pts = frame.best_effort_timestamp;
            if (pts == AV_NOPTS_VALUE) {
                // No way to place the samples after a seek: read from the start.
                open();
                return;
            }
            const AVRational tb = m_st->time_base;
            m_bufStart = m_origin.lead +
                         av_rescale_rnd(pts - m_startPts, std::int64_t{m_rate} * tb.num, tb.den, AV_ROUND_NEAR_INF);
            m_positioned = true;
        }
        AVChannelLayout inLayout{};
        if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame.ch_layout.nb_channels <= 0)
            av_channel_layout_default(&inLayout, std::max(frame.ch_layout.nb_channels, 1));
        else
            check(av_channel_layout_copy(&inLayout, &frame.ch_layout), "reading the channel layout");
        if (!m_swr || frame.format != m_swrFormat || frame.sample_rate != m_swrRate ||
            av_channel_layout_compare(&inLayout, &m_swrLayout) != 0) {
            flushResampler();
            makeResampler(inLayout, static_cast<AVSampleFormat>(frame.format), frame.sample_rate);
        }
        av_channel_layout_uninit(&inLayout);
        convert(const_cast<const std::uint8_t **>(frame.extended_data), frame.nb_samples);
    }

    void makeResampler(const AVChannelLayout &inLayout, AVSampleFormat format, int inRate)
    {
        // Mono stays mono here and is duplicated below at full level; swr
        // would spread it at -3 dB. Anything wider is mixed down to stereo.
        m_outChannels = inLayout.nb_channels == 1 ? 1 : 2;
        AVChannelLayout outLayout{};
        av_channel_layout_default(&outLayout, m_outChannels);
        SwrContext *raw = nullptr;
        // FFmpeg 5.1 declares the layouts non-const but only reads them.
        const int ret = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLT, m_rate,
                                            const_cast<AVChannelLayout *>(&inLayout), format, inRate, 0, nullptr);
        m_swr.reset(raw);
        check(ret, "preparing the audio conversion");
        check(swr_init(m_swr.get()), "preparing the audio conversion");
        av_channel_layout_uninit(&m_swrLayout);
        check(av_channel_layout_copy(&m_swrLayout, &inLayout), "reading the channel layout");
        m_swrFormat = format;
        m_swrRate = inRate;
    }

    void flushResampler()
    {
        if (m_swr && m_swrRate != m_rate)
            convert(nullptr, 0);
    }

    void convert(const std::uint8_t **in, int inSamples)
    {
        const int room = swr_get_out_samples(m_swr.get(), inSamples);
        if (room <= 0)
            return;
        m_scratch.resize(static_cast<std::size_t>(room) * static_cast<std::size_t>(m_outChannels));
        std::uint8_t *outPlanes[1] = {reinterpret_cast<std::uint8_t *>(m_scratch.data())};
        const int made = check(swr_convert(m_swr.get(), outPlanes, room, in, inSamples), "converting audio");
        const auto madeSamples = static_cast<std::size_t>(made);
        if (m_outChannels == 2) {
            m_buf.insert(m_buf.end(), m_scratch.begin(), m_scratch.begin() + static_cast<std::ptrdiff_t>(madeSamples * 2));
        } else {
            for (std::size_t i = 0; i < madeSamples; ++i) {
                m_buf.push_back(m_scratch[i]);
                m_buf.push_back(m_scratch[i]);
            }
        }
    }

    std::string m_path;
    int m_index;
    int m_rate;
    std::int64_t m_announced;
    AudioOrigin m_origin;
    bool m_endChecked = false;
    av::InputPtr m_in;
    AVStream *m_st = nullptr;
    av::CodecCtxPtr m_dec;
    av::PacketPtr m_pkt;
    av::FramePtr m_frame;
    av::SwrPtr m_swr;
    AVChannelLayout m_swrLayout{};
    int m_swrFormat = -1;
    int m_swrRate = 0;
    int m_outChannels = 2;
    std::int64_t m_startPts = 0;
    bool m_draining = false;
    bool m_end = false;
    bool m_positioned = true;
    bool m_fromStart = true; // the buffer was filled from the stream's first sample on
    std::vector<float> m_scratch;
    std::vector<float> m_buf; // stereo, from sample m_bufStart on
    std::int64_t m_bufStart = 0;
};

class MediaSource final : public Clip
{
public:
    MediaSource(const std::string &path, const MediaSourceOptions &options) : m_path(path)
    {
        m_probe = av::openInputFile(path);
        const int videoIndex = options.video ? pickVideoStream(*m_probe) : -1;
        m_audioIndex = options.audio ? pickAudioStream(*m_probe) : -1;

        if (options.fps && videoIndex < 0)
            throw Error(quoted(path) + " has no video stream");
        if (videoIndex < 0 && m_audioIndex < 0)
            throw Error(quoted(path) + " has neither a video nor an audio stream the engine can read");

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

    void audioAt(std::int64_t start, std::int64_t count, std::span<float> out) override
    {
        if (m_audioIndex < 0) {
            std::fill(out.begin(), out.end(), 0.0f);
            return;
        }
        if (!m_audio)
            m_audio = std::make_unique<AudioStream>(m_path, m_audioIndex, m_info.sampleRate, m_info.sampleCount,
                                                    m_audioOrigin);
        m_audio->read(start, count, out);
    }

private:
    void openVideo()
    {
        if (!m_video) {
            av::InputPtr in = m_probe ? std::move(m_probe) : av::openInputFile(m_path);
            m_video = std::make_unique<VideoStream>(m_path, std::move(in), m_videoIndex, m_layout);
        }
    }

    void setUpVideo(int index, std::optional<double> fps)
    {
        const AVStream *st = m_probe->streams[index];
        m_videoIndex = index;
        if (st->codecpar->width <= 0 || st->codecpar->height <= 0)
            throw Error("cannot tell the picture size of " + quoted(m_path));
        if (fps) {
            std::tie(m_info.fpsNum, m_info.fpsDen) = av::fpsRational(*fps);
        } else {
            AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
            if (rate.num <= 0 || rate.den <= 0)
                rate = AVRational{25, 1};
            m_info.fpsNum = rate.num;
            m_info.fpsDen = rate.den;
        }
        const auto [duration, tb] = streamDuration(*m_probe, *st);
        if (duration <= 0)
            throw Error("cannot tell the length of " + quoted(m_path));
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
            throw Error("cannot tell the sample rate of " + quoted(m_path));
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
    av::InputPtr m_probe; // handed to the video decoder on first use
    int m_videoIndex = -1;
    int m_audioIndex = -1;
    AudioOrigin m_audioOrigin;
    VideoLayout m_layout;
    std::unique_ptr<VideoStream> m_video;
    std::unique_ptr<AudioStream> m_audio;
};

class ImageSource final : public Clip
{
public:
    ImageSource(const std::string &path, int start, int end, double fps)
    {
        if (end < start)
            throw Error("the last frame (" + std::to_string(end) + ") is before the first (" +
                        std::to_string(start) + ")");
        av::InputPtr in = av::openInputFile(path);
        const int index = pickVideoStream(*in);
        if (index < 0)
            throw Error(quoted(path) + " is not a picture");
        m_picture = decodeOnce(path, *in, index);
        m_info.hasVideo = true;
        m_info.width = m_picture->width;
        m_info.height = m_picture->height;
        std::tie(m_info.fpsNum, m_info.fpsDen) = av::fpsRational(fps);
        m_info.frameCount = std::int64_t{end} - start + 1;
    }

protected:
    FrameRef frameAt(std::int64_t) override { return m_picture; }
    void audioAt(std::int64_t, std::int64_t, std::span<float> out) override
    {
        std::fill(out.begin(), out.end(), 0.0f);
    }

private:
    static FrameRef decodeOnce(const std::string &path, AVFormatContext &in, int index)
    {
        av::CodecCtxPtr dec = av::openDecoder(in.streams[index], 1, path);
        av::PacketPtr pkt = av::allocPacket();
        av::FramePtr frame = av::allocFrame();
        bool flushed = false;
        for (;;) {
            const int got = avcodec_receive_frame(dec.get(), frame.get());
            if (got == 0)
                break;
            if (got == AVERROR_EOF)
                throw Error(quoted(path) + " contains no picture that can be decoded");
            if (got != AVERROR(EAGAIN))
                check(got, ("decoding " + quoted(path)).c_str());
            const int read = av_read_frame(&in, pkt.get());
            if (read < 0) {
                if (flushed)
                    throw Error(quoted(path) + " contains no picture that can be decoded");
                flushed = true;
                avcodec_send_packet(dec.get(), nullptr);
                continue;
            }
            if (pkt->stream_index == index) {
                const int sent = avcodec_send_packet(dec.get(), pkt.get());
                if (sent < 0 && sent != AVERROR(EAGAIN))
                    check(sent, ("decoding " + quoted(path)).c_str());
            }
            av_packet_unref(pkt.get());
        }
        av::SwsPtr sws;
        return av::share(av::toYuv420(*frame, frame->width, frame->height, SWS_BICUBIC | SWS_ACCURATE_RND, sws));
    }

    FrameRef m_picture;
};

} // namespace

ClipPtr openMediaSource(const std::string &path, const MediaSourceOptions &options)
{
    return std::make_shared<MediaSource>(path, options);
}

ClipPtr openImageSource(const std::string &path, int start, int end, double fps)
{
    return std::make_shared<ImageSource>(path, start, end, fps);
}

} // namespace engine
