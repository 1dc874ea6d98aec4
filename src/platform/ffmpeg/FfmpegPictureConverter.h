#pragma once

#include "platform/ffmpeg/FfmpegPtr.h"
#include "core/media/ImageBuffer.h"

#include <cstdint>
#include <vector>

namespace backreel {

// Turns BGRA pictures into an encoder's frames of one size and pixel format (planar 4:2:0 or
// 4:4:4, or NV12) with libyuv. A picture of another size (a resized window) is first scaled to the
// frame's size. One thread at a time.
class FfmpegPictureConverter {
public:
    FfmpegPictureConverter(std::int32_t width, std::int32_t height, AVPixelFormat format)
        : width_(width)
        , height_(height)
        , format_(format) {}

    // A frame of the converter's size and format with fresh pixels, colour tagged as libyuv
    // produces it; null when it can't be allocated.
    AVFramePtr makeFrame() const;

    // Converts the picture into the frame (one of makeFrame()'s). False for a picture without
    // pixels or one libyuv refuses.
    bool convert(const ImageBuffer& picture, AVFrame& frame);

private:
    const std::int32_t width_;
    const std::int32_t height_;
    const AVPixelFormat format_;
    std::vector<std::uint8_t> scaledPicture_;
};

} // namespace backreel
