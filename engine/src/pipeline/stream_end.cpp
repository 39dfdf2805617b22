#include "stream_end.h"

#include "av_util.h"
#include "clip/error.h"

#include <algorithm>
#include <cstdio>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace engine::av {

namespace {

constexpr int kShortfallToleranceSeconds = 1;
constexpr int kShortfallTolerancePercent = 5;
// How far before the announced end the damage check starts reading packets.
constexpr int kEndCheckSeconds = 30;

// hh:mm:ss, as the converter shows lengths.
std::string clockText(std::int64_t seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return buf;
}

// Where the file's data really ends, in AV_TIME_BASE units from its start:
// the end of the last packet of any stream. Reads packets only (no decoding),
// from about kEndCheckSeconds before claimedEnd, or from the start when the
// file cannot seek there. Returns -1 when nothing could be read.
std::int64_t dataEnd(const std::string &path, std::int64_t claimedEnd)
{
    InputPtr in = openInputFile(path);
    const std::int64_t start = in->start_time != AV_NOPTS_VALUE ? in->start_time : 0;
    const std::int64_t target = start + claimedEnd - std::int64_t{kEndCheckSeconds} * AV_TIME_BASE;
    if (target > start)
        avformat_seek_file(in.get(), -1, INT64_MIN, target, target, 0);
    PacketPtr pkt = allocPacket();
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

} // namespace

void refuseIfCutOff(const std::string &path, const char *stream, std::int64_t reached, std::int64_t announced,
                    std::int64_t unitsNum, std::int64_t unitsDen, std::int64_t originMicros)
{
    const std::int64_t missing = announced - reached;
    const std::int64_t oneSecond = (kShortfallToleranceSeconds * unitsNum + unitsDen - 1) / unitsDen;
    const std::int64_t tolerance = std::max(oneSecond, announced * kShortfallTolerancePercent / 100);
    if (missing <= tolerance)
        return;
    const auto micros = [&](std::int64_t units) { return av_rescale(units, unitsDen * AV_TIME_BASE, unitsNum); };
    const std::int64_t end = dataEnd(path, originMicros + micros(announced));
    if (end >= originMicros + micros(announced - tolerance))
        return;
    const std::int64_t endsAt = std::max<std::int64_t>(reached, 0) * unitsDen / unitsNum;
    const std::int64_t claims = (announced * unitsDen + unitsNum - 1) / unitsNum;
    throw Error("the file " + quoted(path) + " is damaged: its " + stream + " ends at " + clockText(endsAt) +
                " although it claims to last " + clockText(claims));
}

} // namespace engine::av
