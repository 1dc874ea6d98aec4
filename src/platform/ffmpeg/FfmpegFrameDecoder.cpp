#include "platform/ffmpeg/FfmpegFrameDecoder.h"

#include "platform/ffmpeg/FfmpegError.h"
#include "platform/ffmpeg/FfmpegPtr.h"

#include <cstring>
#include <libyuv/convert_argb.h>
#include <limits>

namespace backreel {

struct FfmpegFrameDecoder::State {
    AVCodecContextPtr context;
    AVPacketPtr packet;
    AVFramePtr frame;
};

FfmpegFrameDecoder::FfmpegFrameDecoder(std::unique_ptr<State> state)
    : state_(std::move(state)) {}

FfmpegFrameDecoder::~FfmpegFrameDecoder() = default;

std::unique_ptr<FfmpegFrameDecoder> FfmpegFrameDecoder::create(const VideoStreamFormat& format) {
    const AVCodec* decoder =
        avcodec_find_decoder(format.codec == VideoCodec::hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    if (decoder == nullptr) {
        return nullptr;
    }
    auto state = std::make_unique<State>();
    state->context.reset(avcodec_alloc_context3(decoder));
    state->packet.reset(av_packet_alloc());
    state->frame.reset(av_frame_alloc());
    if (!state->context || !state->packet || !state->frame) {
        return nullptr;
    }
    // One thread: frame threading would hold pictures back until several frames went in.
    state->context->thread_count = 1;
    if (copyExtradata(format.codecConfiguration, &state->context->extradata,
                      &state->context->extradata_size) < 0 ||
        avcodec_open2(state->context.get(), decoder, nullptr) < 0) {
        return nullptr;
    }
    return std::unique_ptr<FfmpegFrameDecoder>(new FfmpegFrameDecoder(std::move(state)));
}

Expected<ImageBufferPtr> FfmpegFrameDecoder::decode(std::span<const std::byte> data, bool wanted) {
    if (data.empty() || data.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return ffmpegError(AVERROR(EINVAL));
    }
    AVPacket* packet = state_->packet.get();
    av_packet_unref(packet);
    if (const int result = av_new_packet(packet, static_cast<int>(data.size())); result < 0) {
        return ffmpegError(result);
    }
    std::memcpy(packet->data, data.data(), data.size());
    if (const int result = avcodec_send_packet(state_->context.get(), packet); result < 0) {
        return ffmpegError(result);
    }
    AVFrame* frame = state_->frame.get();
    av_frame_unref(frame);
    const int result = avcodec_receive_frame(state_->context.get(), frame);
    if (result == AVERROR(EAGAIN)) {
        return ImageBufferPtr();
    }
    if (result < 0) {
        return ffmpegError(result);
    }
    if (!wanted) {
        return ImageBufferPtr();
    }
    // The encoders here produce 4:2:0, or 4:4:4 for pictures with an odd side.
    const bool fullChroma = frame->format == AV_PIX_FMT_YUV444P || frame->format == AV_PIX_FMT_YUVJ444P;
    if (!fullChroma && frame->format != AV_PIX_FMT_YUV420P && frame->format != AV_PIX_FMT_YUVJ420P) {
        return ffmpegError(AVERROR_PATCHWELCOME);
    }
    ImageBufferPtr decoded = ImageBuffer::allocate(frame->width, frame->height);
    auto* pixels = reinterpret_cast<std::uint8_t*>(decoded->mutableBaseAddress());
    const auto convert = fullChroma ? libyuv::I444ToARGB : libyuv::I420ToARGB;
    if (convert(frame->data[0], frame->linesize[0], frame->data[1], frame->linesize[1], frame->data[2],
                frame->linesize[2], pixels, frame->width * 4, frame->width, frame->height) != 0) {
        return ffmpegError(AVERROR(EINVAL));
    }
    return decoded;
}

} // namespace backreel
