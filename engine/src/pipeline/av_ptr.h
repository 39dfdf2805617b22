#pragma once

// Owners for libav objects. Each allocator/free pair is named once, here.
// Borrowed pointers (AVStream*, const AVCodec*) stay raw. Finishing work that
// can fail (draining an encoder, closing an output file) is never done by a
// deleter: callers do it explicitly and check the result first.

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace engine::av {

template <typename T, void (*Free)(T **)>
struct FreeVia
{
    void operator()(T *p) const noexcept { Free(&p); }
};

template <typename T, void (*Free)(T *)>
struct FreeDirect
{
    void operator()(T *p) const noexcept { Free(p); }
};

inline void closeIo(AVIOContext **io)
{
    avio_closep(io);
}

using FramePtr = std::unique_ptr<AVFrame, FreeVia<AVFrame, av_frame_free>>;
using PacketPtr = std::unique_ptr<AVPacket, FreeVia<AVPacket, av_packet_free>>;
using CodecCtxPtr = std::unique_ptr<AVCodecContext, FreeVia<AVCodecContext, avcodec_free_context>>;
using SwrPtr = std::unique_ptr<SwrContext, FreeVia<SwrContext, swr_free>>;
using SwsPtr = std::unique_ptr<SwsContext, FreeDirect<SwsContext, sws_freeContext>>;
using SwsVecPtr = std::unique_ptr<SwsVector, FreeDirect<SwsVector, sws_freeVec>>;
using InputPtr = std::unique_ptr<AVFormatContext, FreeVia<AVFormatContext, avformat_close_input>>;
// An output file opened with avio_open; finish() calls avio_closep itself
// and checks it, the deleter only covers the failure paths.
using IoPtr = std::unique_ptr<AVIOContext, FreeVia<AVIOContext, closeIo>>;
using DictPtr = std::unique_ptr<AVDictionary, FreeVia<AVDictionary, av_dict_free>>;

// Allocators that throw engine::Error instead of returning null.
FramePtr allocFrame();
PacketPtr allocPacket();

} // namespace engine::av
