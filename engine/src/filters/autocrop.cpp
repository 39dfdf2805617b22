// AutoCrop: finds the black borders of a clip from a few sampled frames and
// crops them away; and the plain crop it applies.

#include "filters/filters.h"

#include "clip/error.h"
#include "filters/frame_util.h"

#include <algorithm>

namespace engine::filters {

namespace {

class CropClip final : public FilterClip
{
public:
    CropClip(ClipPtr child, CropRect rect) : FilterClip(std::move(child)), m_rect(rect)
    {
        m_info.width = rect.width;
        m_info.height = rect.height;
    }

protected:
    FrameRef frameAt(std::int64_t n) override
    {
        const FrameRef in = m_child->frame(n);
        AVFrame *clone = av_frame_clone(in.get());
        if (!clone)
            throw Error("out of memory");
        std::shared_ptr<AVFrame> out(clone, [](AVFrame *f) { av_frame_free(&f); });
        // A window into the same buffers: no pixel is copied.
        out->crop_left = static_cast<std::size_t>(m_rect.left);
        out->crop_top = static_cast<std::size_t>(m_rect.top);
        out->crop_right = static_cast<std::size_t>(std::max(in->width - m_rect.left - m_rect.width, 0));
        out->crop_bottom = static_cast<std::size_t>(std::max(in->height - m_rect.top - m_rect.height, 0));
        check(av_frame_apply_cropping(out.get(), AV_FRAME_CROP_UNALIGNED), "cropping a picture");
        return out;
    }

private:
    CropRect m_rect;
};

// First index i (scanning from `from` by `step`) where three consecutive
// lines, i, i+step, i+2*step, all reach the threshold; -1 when none.
int firstContentRun(const std::vector<int> &averages, int threshold, bool fromEnd)
{
    const int n = static_cast<int>(averages.size());
    int run = 0;
    for (int k = 0; k < n; ++k) {
        const int i = fromEnd ? n - 1 - k : k;
        run = averages[static_cast<std::size_t>(i)] >= threshold ? run + 1 : 0;
        if (run == 3)
            return fromEnd ? i + 2 : i - 2;
    }
    return -1;
}

// Makes [low, high] a multiple of `multiple` long inside [0, limit): a short
// span grows about its middle, a long one loses the remainder, the odd
// pixel from the high end.
void fitToMultiple(int &low, int &high, int multiple, int limit)
{
    int size = high - low + 1;
    if (size < multiple) {
        const int grow = multiple - size;
        low -= grow / 2;
        high += grow - grow / 2;
        if (low < 0) {
            high -= low;
            low = 0;
        }
        if (high > limit - 1) {
            low -= high - (limit - 1);
            high = limit - 1;
        }
        low = std::max(low, 0);
        return;
    }
    const int r = size % multiple;
    low += r / 2;
    high -= r - r / 2;
}

// Chroma is half size: the window must start on an even line and column.
// When moving one step right or down would leave the picture, move back
// instead.
void alignEven(int &low, int &high, int limit)
{
    if (low % 2 == 0)
        return;
    if (high + 1 <= limit - 1) {
        ++low;
        ++high;
    } else {
        --low;
        --high;
    }
}

} // namespace

ClipPtr crop(ClipPtr clip, CropRect rect)
{
    const VideoInfo &vi = clip->info();
    if (rect.left < 0 || rect.top < 0 || rect.width <= 0 || rect.height <= 0 || rect.left + rect.width > vi.width ||
        rect.top + rect.height > vi.height)
        throw Error("the crop window lies outside the picture");
    if (rect.left % 2 != 0 || rect.top % 2 != 0)
        throw Error("the crop window must start on an even column and row");
    return std::make_shared<CropClip>(std::move(clip), rect);
}

std::optional<CropRect> detectCrop(Clip &clip, const AutoCropSettings &s)
{
    const VideoInfo &vi = clip.info();
    if (!vi.hasVideo || vi.frameCount <= 0 || vi.width <= 0 || vi.height <= 0)
        return std::nullopt;
    const std::int64_t n = vi.frameCount;
    const int samples = std::max(s.samples, 1);
    const std::int64_t start = s.sampleStartFrame > 0 ? s.sampleStartFrame : n / samples;
    const std::int64_t end = s.sampleEndFrame >= 0 ? std::min<std::int64_t>(s.sampleEndFrame, n - 1) : n - 2;
    const std::int64_t interval = std::max<std::int64_t>((end - start) / samples, 0);

    const int w = vi.width;
    const int h = vi.height;
    int top = h - 1, bottom = 0, left = w - 1, right = 0;
    bool rowsFound = false;
    bool columnsFound = false;
    std::vector<int> rowAverage(static_cast<std::size_t>(h));
    std::vector<int> columnAverage(static_cast<std::size_t>(w));
    std::vector<std::int64_t> columnSum(static_cast<std::size_t>(w));

    for (int k = 0; k < samples; ++k) {
        // Borders only need representative pictures, not the exact ones at
        // the sampling positions: a source takes its keyframe nearest to
        // each position, reached by seeking, instead of decoding most of the
        // clip to get there (which made opening a long file slow). With
        // keyframes far apart several positions share one picture; the
        // arithmetic on the pictures is unchanged.
        const FrameRef f = clip.frame(clip.cheapFrameNear(start + k * interval));
        const int fw = std::min(f->width, w);
        const int fh = std::min(f->height, h);
        std::fill(columnSum.begin(), columnSum.end(), 0);
        for (int y = 0; y < fh; ++y) {
            const std::uint8_t *line = row(*f, 0, y);
            std::int64_t sum = 0;
            for (int x = 0; x < fw; ++x) {
                sum += line[x];
                columnSum[static_cast<std::size_t>(x)] += line[x];
            }
            // Averages are whole numbers, rounded down, over the full width.
            rowAverage[static_cast<std::size_t>(y)] = static_cast<int>(sum / w);
        }
        for (int x = 0; x < w; ++x)
            columnAverage[static_cast<std::size_t>(x)] = static_cast<int>(columnSum[static_cast<std::size_t>(x)] / h);

        const int t = firstContentRun(rowAverage, s.threshold, false);
        if (t >= 0) {
            rowsFound = true;
            top = std::min(top, t);
            bottom = std::max(bottom, firstContentRun(rowAverage, s.threshold, true));
        }
        const int l = firstContentRun(columnAverage, s.threshold, false);
        if (l >= 0) {
            columnsFound = true;
            left = std::min(left, l);
            right = std::max(right, firstContentRun(columnAverage, s.threshold, true));
        }
    }
    // Nothing but dark: keep the whole picture rather than a sliver of it.
    if (!rowsFound && !columnsFound)
        return std::nullopt;
    if (!rowsFound) {
        top = 0;
        bottom = h - 1;
    }
    if (!columnsFound) {
        left = 0;
        right = w - 1;
    }

    left = std::max(left - s.leftAdd, 0);
    top = std::max(top - s.topAdd, 0);
    right = std::min(right + s.rightAdd, w - 1);
    bottom = std::min(bottom + s.bottomAdd, h - 1);

    fitToMultiple(left, right, s.wMultOf, w);
    fitToMultiple(top, bottom, s.hMultOf, h);
    alignEven(left, right, w);
    alignEven(top, bottom, h);
    if (left < 0 || top < 0 || right > w - 1 || bottom > h - 1 || right < left || bottom < top)
        return std::nullopt;
    return CropRect{left, top, right - left + 1, bottom - top + 1};
}

ClipPtr autoCrop(ClipPtr clip, const AutoCropSettings &settings)
{
    if (settings.wMultOf <= 0 || settings.hMultOf <= 0 || settings.wMultOf % 2 != 0 || settings.hMultOf % 2 != 0)
        throw Error("wMultOf and hMultOf must be positive even numbers");
    const std::optional<CropRect> rect = detectCrop(*clip, settings);
    if (!rect || (rect->width == clip->info().width && rect->height == clip->info().height))
        return clip;
    return crop(std::move(clip), *rect);
}

} // namespace engine::filters
