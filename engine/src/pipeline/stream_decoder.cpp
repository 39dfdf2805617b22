#include "stream_decoder.h"

#include "av_util.h"
#include "clip/error.h"

namespace engine::av {

StreamDecoder::StreamDecoder(const std::string &path, InputPtr in, int index, int threads, std::string decoding,
                             Damage damage)
    : m_reading("reading " + quoted(path)), m_decoding(std::move(decoding)), m_damage(damage), m_in(std::move(in)),
      m_index(index), m_pkt(allocPacket())
{
    for (unsigned i = 0; i < m_in->nb_streams; ++i)
        m_in->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    m_dec = openDecoder(m_in->streams[index], threads, path);
}

bool StreamDecoder::receive(AVFrame &frame)
{
    for (;;) {
        const int got = avcodec_receive_frame(m_dec.get(), &frame);
        if (got == 0)
            return true;
        if (got == AVERROR_EOF)
            return false;
        if (got != AVERROR(EAGAIN))
            check(got, m_decoding.c_str());
        feed();
    }
}

bool StreamDecoder::seek(std::int64_t ts)
{
    if (avformat_seek_file(m_in.get(), m_index, INT64_MIN, ts, ts, 0) < 0)
        return false;
    avcodec_flush_buffers(m_dec.get());
    m_draining = false;
    return true;
}

// Feeds the decoder the stream's next packet, or starts draining it at the
// end of the input.
void StreamDecoder::feed()
{
    const int read = av_read_frame(m_in.get(), m_pkt.get());
    if (read < 0) {
        if (m_damage == Damage::Skip && read != AVERROR_EOF && !(m_in->pb && avio_feof(m_in->pb)))
            check(read, m_reading.c_str());
        if (!m_draining) {
            m_draining = true;
            avcodec_send_packet(m_dec.get(), nullptr);
        }
        return;
    }
    if (m_pkt->stream_index != m_index) {
        av_packet_unref(m_pkt.get());
        return;
    }
    const int sent = avcodec_send_packet(m_dec.get(), m_pkt.get());
    av_packet_unref(m_pkt.get());
    const bool skipped = m_damage == Damage::Skip && sent == AVERROR_INVALIDDATA;
    if (sent < 0 && sent != AVERROR(EAGAIN) && !skipped)
        check(sent, m_decoding.c_str());
}

} // namespace engine::av
