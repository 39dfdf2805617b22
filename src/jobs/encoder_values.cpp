#include "jobs/encoder_values.h"

#include "jobs/controls.h"
#include "jobs/number_text.h"

#include <limits>

namespace core {

std::optional<std::int32_t> encoderVideoBitrate(std::int32_t kbps, std::int32_t frameRate)
{
    const std::int64_t product = static_cast<std::int64_t>(kbps) * kStreamLabelFps;
    if (product < std::numeric_limits<std::int32_t>::min() || product > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    std::int64_t quotient = product / frameRate;
    const std::int64_t twiceRest = 2 * (product % frameRate);
    const std::int64_t absTwiceRest = twiceRest < 0 ? -twiceRest : twiceRest;
    if (absTwiceRest > frameRate || (absTwiceRest == frameRate && quotient % 2 != 0))
        quotient += product < 0 ? -1 : 1;
    return static_cast<std::int32_t>(quotient);
}

RunValuesResult runValuesFor(const JobSettings &settings)
{
    RunValuesResult result;
    RunValues &run = result.run;
    const auto frameRate = itemNumber(kFrameRateItems, settings.frameRateIndex);
    if (!frameRate)
        return result;
    run.frameRate = *frameRate;
    const auto kbps = parseWhole(settings.videoBitrate);
    const auto videoBitrate = kbps ? encoderVideoBitrate(*kbps, run.frameRate) : std::nullopt;
    if (!videoBitrate)
        return result;
    run.videoBitrate = *videoBitrate;
    const auto audioBitrate = itemNumber(kAudioBitrateItems, settings.audioBitrateIndex);
    if (!audioBitrate)
        return result;
    run.audioBitrate = *audioBitrate;
    const auto sampleRate = itemNumber(kSampleRateItems, settings.sampleRateIndex);
    if (!sampleRate)
        return result;
    run.sampleRate = *sampleRate;
    result.complete = true;
    return result;
}

} // namespace core
