#pragma once

#include "platform/ffmpeg/FfmpegHeaders.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace backreel {

// Owning handles for the FFmpeg objects the backend allocates. Each deleter calls the matching
// free function, which accepts null, so a handle can be reset at any point.
struct AVCodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct AVFrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct AVPacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct AVBufferRefDeleter {
    void operator()(AVBufferRef* buffer) const { av_buffer_unref(&buffer); }
};

struct AVOutputContextDeleter {
    // Closes the file the context writes to (if it has one open), then frees the context.
    void operator()(AVFormatContext* context) const {
        if (context != nullptr && context->oformat != nullptr &&
            (context->oformat->flags & AVFMT_NOFILE) == 0) {
            avio_closep(&context->pb);
        }
        avformat_free_context(context);
    }
};
struct AVInputContextDeleter {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct SwrContextDeleter {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct AVAudioFifoDeleter {
    void operator()(AVAudioFifo* fifo) const {
        if (fifo != nullptr) {
            av_audio_fifo_free(fifo);
        }
    }
};
struct AVCodecParametersDeleter {
    void operator()(AVCodecParameters* parameters) const { avcodec_parameters_free(&parameters); }
};
struct AVDictionaryDeleter {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};

using AVCodecContextPtr = std::unique_ptr<AVCodecContext, AVCodecContextDeleter>;
using AVFramePtr = std::unique_ptr<AVFrame, AVFrameDeleter>;
using AVPacketPtr = std::unique_ptr<AVPacket, AVPacketDeleter>;
using AVBufferRefPtr = std::unique_ptr<AVBufferRef, AVBufferRefDeleter>;
// A muxer's context, from avformat_alloc_output_context2(); a demuxer's, from avformat_open_input().
using AVOutputContextPtr = std::unique_ptr<AVFormatContext, AVOutputContextDeleter>;
using AVInputContextPtr = std::unique_ptr<AVFormatContext, AVInputContextDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
using AVAudioFifoPtr = std::unique_ptr<AVAudioFifo, AVAudioFifoDeleter>;
using AVCodecParametersPtr = std::unique_ptr<AVCodecParameters, AVCodecParametersDeleter>;
using AVDictionaryPtr = std::unique_ptr<AVDictionary, AVDictionaryDeleter>;

// Copies a codec's set-up (parameter sets, AudioSpecificConfig) into extradata as FFmpeg keeps it:
// zero-padded, since its parsers read past the end in word-sized steps, and freed by the codec
// context or stream parameters that hold it. None is fine; an FFmpeg error code when it cannot be
// made.
inline int copyExtradata(const std::vector<std::byte>& configuration, std::uint8_t** extradata, int* size) {
    if (configuration.empty()) {
        return 0;
    }
    if (configuration.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 2)) {
        return AVERROR(EINVAL);
    }
    auto* copy = static_cast<std::uint8_t*>(av_mallocz(configuration.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (copy == nullptr) {
        return AVERROR(ENOMEM);
    }
    std::memcpy(copy, configuration.data(), configuration.size());
    *extradata = copy;
    *size = static_cast<int>(configuration.size());
    return 0;
}

// The text FFmpeg gives for an error code. av_err2str() builds a C compound literal, which C++
// does not have, hence this function.
inline std::string ffmpegErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(error, text, sizeof text) < 0) {
        return "FFmpeg error " + std::to_string(error);
    }
    return text;
}

} // namespace backreel
