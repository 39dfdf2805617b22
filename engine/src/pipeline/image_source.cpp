// ImageSource: one still picture, decoded once.

#include "media_source.h"

#include "av_util.h"
#include "clip/error.h"
#include "picture_util.h"
#include "stream_decoder.h"

#include <algorithm>
#include <tuple>

namespace engine {

namespace {

class ImageSource final : public Clip
{
public:
    ImageSource(const std::string &path, int start, int end, double fps)
    {
        if (end < start)
            throw Error("the last frame (" + std::to_string(end) + ") is before the first (" +
                        std::to_string(start) + ")");
        av::InputPtr in = av::openInputFile(path);
        const int index = av::pickVideoStream(*in);
        if (index < 0)
            throw Error(av::quoted(path) + " is not a picture");
        m_picture = decodeOnce(path, std::move(in), index);
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
    static FrameRef decodeOnce(const std::string &path, av::InputPtr in, int index)
    {
        av::StreamDecoder decoder(path, std::move(in), index, 1, "decoding " + av::quoted(path),
                                  av::StreamDecoder::Damage::Refuse);
        av::FramePtr frame = av::allocFrame();
        if (!decoder.receive(*frame))
            throw Error(av::quoted(path) + " contains no picture that can be decoded");
        av::SwsPtr sws;
        return av::share(av::toYuv420(*frame, frame->width, frame->height, SWS_BICUBIC | SWS_ACCURATE_RND, sws));
    }

    FrameRef m_picture;
};

} // namespace

ClipPtr openImageSource(const std::string &path, int start, int end, double fps)
{
    return std::make_shared<ImageSource>(path, start, end, fps);
}

} // namespace engine
