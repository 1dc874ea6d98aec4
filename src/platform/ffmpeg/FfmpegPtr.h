#pragma once

#include "platform/ffmpeg/FfmpegHeaders.h"

#include <memory>
#include <string>

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

using AVCodecContextPtr = std::unique_ptr<AVCodecContext, AVCodecContextDeleter>;
using AVFramePtr = std::unique_ptr<AVFrame, AVFrameDeleter>;
using AVPacketPtr = std::unique_ptr<AVPacket, AVPacketDeleter>;
using AVBufferRefPtr = std::unique_ptr<AVBufferRef, AVBufferRefDeleter>;

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
