#include "video_stream.h"

#include "av_util.h"
#include "clip/error.h"
#include "picture_util.h"
#include "stream_end.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace engine {

namespace {

// Decoded pictures waiting for the consumer: enough to keep the decoder busy
// while a frame is scaled and encoded, few enough to bound memory.
constexpr std::size_t kQueuePictures = 6;
// Pictures up to this size (a DVD's) are decoded on the decode-ahead thread
// alone: there decoding keeps pace with scaling and encoding, and
// libavcodec's frame threads would only add a hand-over per picture (5 to
// 16 % slower passes at 640x480 and below, none gained at 720x576). Larger
// pictures get two frame threads, without which a 1080p pass takes a
// quarter longer.
constexpr std::int64_t kOneThreadPixels = 720 * 576;

int decoderThreads(int width, int height)
{
    return std::int64_t{width} * height <= kOneThreadPixels ? 1 : 2;
}
// Packets whose times are kept for the skip decision: more than any
// decoder's reordering spans.
constexpr std::size_t kSentPtsKept = 32;

} // namespace

VideoStream::VideoStream(std::string path, av::InputPtr in, int streamIndex, const VideoLayout &layout,
                         std::shared_ptr<WorkControl> control)
    : m_path(std::move(path)), m_index(streamIndex), m_width(layout.storedWidth), m_height(layout.storedHeight),
      m_turns(layout.quarterTurns), m_fpsNum(layout.fpsNum), m_fpsDen(layout.fpsDen),
      m_frameCount(layout.frameCount), m_control(std::move(control)), m_frame(av::allocFrame()),
      m_ahead(kQueuePictures)
{
    openDecoder(std::move(in));
    // Copied before any decode thread reads on: some demuxers add to the
    // index while reading.
    AVStream *st = &m_decoder->stream();
    const int entries = avformat_index_get_entries_count(st);
    for (int i = 0; i < entries; ++i) {
        const AVIndexEntry *e = avformat_index_get_entry(st, i);
        if (e && (e->flags & AVINDEX_KEYFRAME) && e->timestamp != AV_NOPTS_VALUE)
            m_keyTs.push_back(e->timestamp);
    }
    std::sort(m_keyTs.begin(), m_keyTs.end());
    m_keyTs.erase(std::unique(m_keyTs.begin(), m_keyTs.end()), m_keyTs.end());
}

VideoStream::~VideoStream()
{
    m_ahead.stop();
    noteDamage(true);
}

FrameRef VideoStream::frameAt(std::int64_t n)
{
    const Picture &p = pictureAt(n);
    if (!p.blendFields)
        return p.picture;
    // Repeated frames repeat the picture: blend each one once.
    if (p.picture != m_blendedSource) {
        m_blended = av::share(av::deinterlace(*p.picture));
        m_blendedSource = p.picture;
    }
    return m_blended;
}

PictureToScale VideoStream::frameToScaleAt(std::int64_t n)
{
    const Picture &p = pictureAt(n);
    return {p.picture, p.blendFields};
}

const VideoStream::Picture &VideoStream::pictureAt(std::int64_t n)
{
    if (!m_current)
        restartFromBeginning();
    const std::int64_t aheadLimit = std::int64_t{av::kSeekAheadSeconds} * m_fpsNum / m_fpsDen + 1;
    const bool farAhead = n - m_currentSlot > aheadLimit || keyFrameSkipsAhead(n);
    if (n < m_currentSlot || (m_seekable && farAhead))
        seekTo(n);
    for (;;) {
        if (!m_next && !m_atEnd) {
            m_next = m_ahead.pop();
            m_atEnd = !m_next;
        }
        if (!m_next || slotOf(m_next->pts) > n)
            break;
        m_currentSlot = slotOf(m_next->pts);
        m_current = std::move(m_next);
        m_next.reset();
    }
    if (m_atEnd && !m_endChecked) {
        // Decoding has ended and m_current is the last picture: the frames
        // from it to the announced end would all repeat it.
        m_endChecked = true;
        av::refuseIfCutOff(m_path, "video", m_currentSlot + 1, m_frameCount, m_fpsNum, m_fpsDen, 0);
    }
    return *m_current;
}

std::int64_t VideoStream::keyFrameNear(std::int64_t n)
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
    const std::int64_t far = av_rescale_q(av::kSeekAheadSeconds, AVRational{1, 1}, m_timeBase);
    if (std::abs(*it - target) > far)
        return n;
    return std::clamp<std::int64_t>(slotOf(*it + keyOffset()), 0, m_frameCount - 1);
}

// The constant-rate slot a picture starts: ceil((pts - first) * fps).
std::int64_t VideoStream::slotFrom(std::int64_t pts, std::int64_t firstPts) const
{
    return av_rescale_rnd(pts - firstPts, std::int64_t{m_timeBase.num} * m_fpsNum,
                          std::int64_t{m_timeBase.den} * m_fpsDen, AV_ROUND_UP);
}

// The first picture time of slot n.
std::int64_t VideoStream::slotPts(std::int64_t n) const
{
    return m_firstPts + av_rescale_rnd(n, std::int64_t{m_timeBase.den} * m_fpsDen,
                                       std::int64_t{m_timeBase.num} * m_fpsNum, AV_ROUND_DOWN);
}

// Index times are decode times; a keyframe is shown this much later (the
// decoder's reorder delay), taken from the first keyframe.
std::int64_t VideoStream::keyOffset() const
{
    return m_keyTs.empty() || m_firstPts == AV_NOPTS_VALUE ? 0
                                                           : std::max<std::int64_t>(m_firstPts - m_keyTs.front(), 0);
}

// True when a keyframe lies well beyond the picture decoded last and at or
// before slot n: seeking there skips decoding everything between.
bool VideoStream::keyFrameSkipsAhead(std::int64_t n) const
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
    const std::int64_t halfSecond = av_rescale_q(1, AVRational{1, 2}, m_timeBase);
    return key > decoded + halfSecond;
}

void VideoStream::restartFromBeginning()
{
    m_ahead.stop();
    // Reopening is the one way back to the start that every container
    // supports.
    if (m_current || m_firstPts != AV_NOPTS_VALUE)
        openDecoder(av::openInputFile(m_path));
    startDecoding(-1);
    std::optional<Picture> first = m_ahead.pop();
    if (!first)
        throw Error(av::quoted(m_path) + " contains no picture that can be decoded");
    if (m_firstPts == AV_NOPTS_VALUE)
        m_firstPts = first->pts;
    m_currentSlot = slotOf(first->pts);
    m_current = std::move(first);
}

// Positions the decoder on the keyframe before frame n, so that a late start
// does not decode everything before it.
void VideoStream::seekTo(std::int64_t n)
{
    const std::int64_t target = slotPts(n);
    const std::int64_t second = av_rescale_q(1, AVRational{1, 1}, m_timeBase);
    for (const std::int64_t backoff : {std::int64_t{0}, 2 * second, 10 * second}) {
        // Without timestamps, a picture reached by seeking could not be
        // placed.
        if (!m_seekable)
            break;
        m_ahead.stop();
        const std::int64_t ts = target - backoff;
        if (ts <= m_firstPts || !m_decoder->seek(ts))
            break;
        startDecoding(n);
        std::optional<Picture> first = m_ahead.pop();
        if (first && slotOf(first->pts) <= n) {
            m_currentSlot = slotOf(first->pts);
            m_current = std::move(first);
            return;
        }
    }
    restartFromBeginning();
}

void VideoStream::openDecoder(av::InputPtr in)
{
    if (m_decoder)
        noteDamage(true);
    m_decoder.reset();
    m_decoder = std::make_unique<av::StreamDecoder>(m_path, std::move(in), m_index, decoderThreads(m_width, m_height),
                                                    "decoding the video of " + av::quoted(m_path),
                                                    av::StreamDecoder::Damage::Skip);
    const AVStream &st = m_decoder->stream();
    m_timeBase = st.time_base;
    m_guessStep = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(av::streamFrameRate(st)), m_timeBase));
    m_seekable = !(m_decoder->input().iformat->flags & AVFMT_NOTIMESTAMPS);
    m_decoder->setSkipTest([this](std::int64_t pts, std::int64_t nextPts) { return unseen(pts, nextPts); });
}

void VideoStream::startDecoding(std::int64_t target)
{
    m_decodeFirstPts = m_firstPts;
    m_decodeTarget = target;
    m_sentPts.clear();
    m_guessPts = AV_NOPTS_VALUE;
    m_next.reset();
    m_atEnd = false;
    m_ahead.start([this] { return nextPicture(); });
}

// Every decoded picture passes here, in display order: it is timed (a
// picture without a time follows the one before) and developed.
std::optional<VideoStream::Picture> VideoStream::nextPicture()
{
    const bool decoded = m_decoder->receive(*m_frame);
    noteDamage(!decoded);
    if (!decoded)
        return std::nullopt;
    std::int64_t pts = m_frame->best_effort_timestamp;
    // Skipping relies on a picture's time being its packet's (a packet
    // without one is never skipped) and on no picture's time being guessed
    // from the one before.
    if (pts == AV_NOPTS_VALUE || (m_frame->pts != AV_NOPTS_VALUE && pts != m_frame->pts))
        m_timesExact = false;
    if (pts == AV_NOPTS_VALUE)
        pts = m_guessPts == AV_NOPTS_VALUE ? 0 : m_guessPts;
    m_guessPts = pts + (m_frame->pkt_duration > 0 ? m_frame->pkt_duration : m_guessStep);
    if (m_decodeFirstPts == AV_NOPTS_VALUE)
        m_decodeFirstPts = pts;
    Picture p = develop(*m_frame, pts);
    av_frame_unref(m_frame.get());
    return p;
}

// A decoded picture as the clip serves it: YUV 4:2:0 at the stored size,
// turned upright. An interlaced picture's fields are blended when it is
// served as a frame, or by the scaler (only along the stored picture's
// height: a turned one is blended before it is turned).
VideoStream::Picture VideoStream::develop(const AVFrame &decoded, std::int64_t pts)
{
    av::FramePtr flat = av::fitYuv420(decoded, m_width, m_height, m_sws);
    bool blendFields = decoded.interlaced_frame != 0;
    if (m_turns != 0) {
        if (blendFields)
            flat = av::deinterlace(*flat);
        blendFields = false;
        flat = av::rotate(*flat, m_turns);
    }
    return Picture{av::share(std::move(flat)), pts, blendFields};
}

// True when the picture of a packet with this presentation time would be
// shown by no frame: a packet sent before it, or the one after it, starts a
// later picture in the same slot, or in a slot at or before the frame a seek
// went for, so every frame still to come shows that one or a later one.
// Called for every timed packet, in decoding order.
bool VideoStream::unseen(std::int64_t pts, std::int64_t nextPts)
{
    bool later = nextPts != AV_NOPTS_VALUE && nextPts > pts;
    std::int64_t next = nextPts;
    for (const std::int64_t sent : m_sentPts) {
        if (sent > pts && (!later || sent < next)) {
            next = sent;
            later = true;
        }
    }
    if (m_sentPts.size() == kSentPtsKept)
        m_sentPts.pop_front();
    m_sentPts.push_back(pts);
    if (!later || !m_timesExact || m_decodeFirstPts == AV_NOPTS_VALUE || pts <= m_decodeFirstPts)
        return false;
    const std::int64_t nextSlot = slotFrom(next, m_decodeFirstPts);
    return slotFrom(pts, m_decodeFirstPts) == nextSlot || nextSlot <= m_decodeTarget;
}

void VideoStream::noteDamage(bool withOpen)
{
    for (const av::DamagedStretch &stretch : m_decoder->takeDamage(withOpen)) {
        if (m_control)
            m_control->note("the picture of " + av::quoted(m_path) + " is damaged " + m_decoder->describe(stretch) +
                            "; that stretch may show still or blocky pictures");
    }
}

} // namespace engine
