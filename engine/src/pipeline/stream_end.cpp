#include "stream_end.h"

#include "av_util.h"
#include "clip/error.h"

#include <algorithm>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace engine::av {

namespace {

constexpr int kShortfallToleranceSeconds = 1;
constexpr int kShortfallTolerancePercent = 5;
// How far before the announced end the damage check starts reading packets.
constexpr int kEndCheckSeconds = 30;

} // namespace

PacketScan scanPackets(const std::string &path, int counted, std::int64_t fromMicros)
{
    InputPtr in = openInputFile(path);
    const std::int64_t start = in->start_time != AV_NOPTS_VALUE ? in->start_time : 0;
    if (fromMicros > 0)
        avformat_seek_file(in.get(), -1, INT64_MIN, start + fromMicros, start + fromMicros, 0);
    PacketPtr pkt = allocPacket();
    PacketScan scan;
    bool durations = true;
    while (av_read_frame(in.get(), pkt.get()) >= 0) {
        const AVStream *st = in->streams[pkt->stream_index];
        const std::int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        const std::int64_t duration = std::max<std::int64_t>(pkt->duration, 0);
        if (ts != AV_NOPTS_VALUE) {
            const std::int64_t stop = av_rescale_q(ts + duration, st->time_base, AVRational{1, AV_TIME_BASE});
            scan.endMicros = std::max(scan.endMicros, stop - start);
        }
        if (pkt->stream_index == counted) {
            if (ts != AV_NOPTS_VALUE) {
                const std::int64_t length =
                    duration > 0 ? duration : av_rescale_q(1, av_inv_q(streamFrameRate(*st)), st->time_base);
                const std::int64_t stop = av_rescale_q(ts + length, st->time_base, AVRational{1, AV_TIME_BASE});
                scan.countedEndMicros = std::max(scan.countedEndMicros, stop - start);
            }
            ++scan.packets;
            scan.duration += duration;
            durations = durations && duration > 0;
        }
        av_packet_unref(pkt.get());
    }
    if (!durations)
        scan.duration = 0;
    return scan;
}

void refuseIfCutOff(const std::string &path, const char *stream, std::int64_t reached, std::int64_t announced,
                    std::int64_t unitsNum, std::int64_t unitsDen, std::int64_t originMicros)
{
    const std::int64_t missing = announced - reached;
    const std::int64_t oneSecond = (kShortfallToleranceSeconds * unitsNum + unitsDen - 1) / unitsDen;
    const std::int64_t tolerance = std::max(oneSecond, announced * kShortfallTolerancePercent / 100);
    if (missing <= tolerance)
        return;
    const auto micros = [&](std::int64_t units) { return av_rescale(units, unitsDen * AV_TIME_BASE, unitsNum); };
    // Only the last stretch of the file tells where its data ends.
    const std::int64_t claimedEnd = originMicros + micros(announced);
    const std::int64_t end =
        scanPackets(path, -1, claimedEnd - std::int64_t{kEndCheckSeconds} * AV_TIME_BASE).endMicros;
    if (end >= originMicros + micros(announced - tolerance))
        return;
    const std::int64_t endsAt = std::max<std::int64_t>(reached, 0) * unitsDen / unitsNum;
    const std::int64_t claims = (announced * unitsDen + unitsNum - 1) / unitsNum;
    throw Error("the file " + quoted(path) + " is damaged: its " + stream + " ends at " + clockText(endsAt) +
                " although it claims to last " + clockText(claims));
}

} // namespace engine::av
