#include "stream_decoder.h"

#include "av_util.h"
#include "clip/error.h"

#include <algorithm>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace engine::av {

namespace {

// Refused packets closer together than this make one damaged stretch.
constexpr int kStretchJoinSeconds = 1;
// A sound decoder that refuses this many packets in a row is started anew:
// garbage can leave it set up for a layout the stream does not have, and
// then it refuses every good packet after the damage too.
constexpr int kRestartAfterRefusals = 8;

} // namespace

StreamDecoder::StreamDecoder(const std::string &path, InputPtr in, int index, int threads, std::string decoding,
                             Damage damage)
    : m_path(path), m_threads(threads), m_reading("reading " + quoted(path)), m_decoding(std::move(decoding)),
      m_damage(damage), m_in(std::move(in)), m_index(index), m_pkt(allocPacket()), m_next(allocPacket())
{
    for (unsigned i = 0; i < m_in->nb_streams; ++i)
        m_in->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    m_dec = openDecoder(m_in->streams[index], threads, path);
}

bool StreamDecoder::receive(AVFrame &frame)
{
    for (;;) {
        const int got = avcodec_receive_frame(m_dec.get(), &frame);
        if (got == 0) {
            m_refusedInARow = 0;
            // Sound or pictures well past the damage: that stretch is over.
            if (m_open && frame.best_effort_timestamp != AV_NOPTS_VALUE &&
                frame.best_effort_timestamp > m_open->to + joinDistance())
                closeStretch();
            return true;
        }
        if (got == AVERROR_EOF) {
            closeStretch();
            return false;
        }
        if (got != AVERROR(EAGAIN)) {
            // Frame threads report a damaged packet when its picture is due.
            if (m_damage != Damage::Skip || got == AVERROR(ENOMEM))
                fail(got);
            refused(m_lastTs, 0);
            continue;
        }
        feed();
    }
}

bool StreamDecoder::seek(std::int64_t ts)
{
    if (avformat_seek_file(m_in.get(), m_index, INT64_MIN, ts, ts, 0) < 0)
        return false;
    avcodec_flush_buffers(m_dec.get());
    m_draining = false;
    m_nextRead.reset();
    av_packet_unref(m_next.get());
    closeStretch();
    return true;
}

std::vector<DamagedStretch> StreamDecoder::takeDamage(bool withOpen)
{
    if (withOpen)
        closeStretch();
    std::vector<DamagedStretch> out;
    out.swap(m_damaged);
    return out;
}

std::string StreamDecoder::describe(const DamagedStretch &stretch) const
{
    const AVRational tb = stream().time_base;
    const std::int64_t fileStart = m_in->start_time != AV_NOPTS_VALUE ? m_in->start_time : 0;
    const auto seconds = [&](std::int64_t ts, AVRounding rounding) {
        const std::int64_t micros = av_rescale_q(ts, tb, AVRational{1, AV_TIME_BASE}) - fileStart;
        return std::max<std::int64_t>(av_rescale_rnd(micros, 1, AV_TIME_BASE, rounding), 0);
    };
    const std::int64_t from = seconds(stretch.from, AV_ROUND_DOWN);
    const std::int64_t to = std::max(seconds(stretch.to, AV_ROUND_UP), from + 1);
    return "between " + clockText(from) + " and " + clockText(to);
}

// Feeds the decoder the stream's next packet, or starts draining it at the
// end of the input.
void StreamDecoder::feed()
{
    int read = 0;
    if (m_nextRead) {
        read = *m_nextRead;
        m_nextRead.reset();
        std::swap(m_pkt, m_next);
    } else {
        read = readOwn(*m_pkt);
    }
    if (read < 0) {
        if (m_damage == Damage::Skip && read != AVERROR_EOF && !(m_in->pb && avio_feof(m_in->pb)))
            check(read, m_reading.c_str());
        if (!m_draining) {
            m_draining = true;
            avcodec_send_packet(m_dec.get(), nullptr);
        }
        return;
    }
    const std::int64_t ts = m_pkt->pts != AV_NOPTS_VALUE ? m_pkt->pts : m_pkt->dts;
    if (ts != AV_NOPTS_VALUE)
        m_lastTs = ts;
    const std::int64_t duration = m_pkt->duration;
    bool skippable = false;
    if (m_skipTest && m_pkt->pts != AV_NOPTS_VALUE) {
        m_nextRead = readOwn(*m_next);
        skippable = m_skipTest(m_pkt->pts, *m_nextRead >= 0 ? m_next->pts : AV_NOPTS_VALUE);
    }
    // libavcodec reads skip_frame again for every packet, frame threads too.
    m_dec->skip_frame = skippable ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    const int sent = avcodec_send_packet(m_dec.get(), m_pkt.get());
    av_packet_unref(m_pkt.get());
    if (sent >= 0 || sent == AVERROR(EAGAIN))
        return;
    if (m_damage != Damage::Skip || sent == AVERROR(ENOMEM))
        fail(sent);
    refused(m_lastTs, duration);
}

// The stream's next packet into pkt, other streams' packets dropped;
// av_read_frame's result.
int StreamDecoder::readOwn(AVPacket &pkt)
{
    for (;;) {
        const int read = av_read_frame(m_in.get(), &pkt);
        if (read < 0 || pkt.stream_index == m_index)
            return read;
        av_packet_unref(&pkt);
    }
}

// A packet the decoder refused: its picture or sound is lost, the stream
// goes on.
void StreamDecoder::refused(std::int64_t ts, std::int64_t duration)
{
    ++m_refusals;
    if (++m_refusedInARow >= kRestartAfterRefusals && m_dec->codec_type == AVMEDIA_TYPE_AUDIO && !m_draining) {
        m_refusedInARow = 0;
        m_dec = openDecoder(m_in->streams[m_index], m_threads, m_path);
    }
    if (ts == AV_NOPTS_VALUE)
        ts = m_open ? m_open->to : 0;
    const std::int64_t end = ts + std::max<std::int64_t>(duration, 0);
    if (m_open && ts <= m_open->to + joinDistance() && ts >= m_open->from) {
        m_open->to = std::max(m_open->to, end);
        return;
    }
    closeStretch();
    m_open = DamagedStretch{ts, end};
}

std::int64_t StreamDecoder::joinDistance() const
{
    return av_rescale_q(kStretchJoinSeconds, AVRational{1, 1}, stream().time_base);
}

void StreamDecoder::closeStretch()
{
    if (m_open)
        m_damaged.push_back(*m_open);
    m_open.reset();
}

void StreamDecoder::fail(int err) const
{
    if (err == AVERROR(ENOMEM))
        throw Error("out of memory while " + m_decoding);
    throw Error(m_decoding + " failed: the file is damaged, or uses a feature this decoder lacks (" +
                avErrorText(err) + ")");
}

} // namespace engine::av
