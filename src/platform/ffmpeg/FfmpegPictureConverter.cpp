#include "platform/ffmpeg/FfmpegPictureConverter.h"

#include <libyuv/convert_from_argb.h>
#include <libyuv/scale_argb.h>
#include <limits>

namespace backreel {

AVFramePtr FfmpegPictureConverter::makeFrame() const {
    AVFramePtr frame(av_frame_alloc());
    if (!frame) {
        return nullptr;
    }
    frame->format = format_;
    frame->width = width_;
    frame->height = height_;
    frame->color_range = AVCOL_RANGE_MPEG;
    frame->colorspace = AVCOL_SPC_SMPTE170M;
    frame->color_primaries = AVCOL_PRI_BT709;
    frame->color_trc = AVCOL_TRC_IEC61966_2_1;
    frame->sample_aspect_ratio = AVRational{1, 1};
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        return nullptr;
    }
    return frame;
}

bool FfmpegPictureConverter::convert(const ImageBuffer& image, AVFrame& frame) {
    const int imageWidth = image.width();
    const int imageHeight = image.height();
    if (imageWidth <= 0 || imageHeight <= 0 || image.baseAddress() == nullptr ||
        image.bytesPerRow() < static_cast<std::size_t>(imageWidth) * 4 ||
        image.bytesPerRow() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return false;
    }
    const auto* source = reinterpret_cast<const std::uint8_t*>(image.baseAddress());
    int sourceStride = static_cast<int>(image.bytesPerRow());
    if (imageWidth != width_ || imageHeight != height_) {
        // A picture of another size (a resized window) is scaled to the encoder's size. Bilinear
        // scaling costs about 2 ms from 2560×1440 to 1920×1080 on the development machine, and
        // happens only in this rare case.
        scaledPicture_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4);
        if (libyuv::ARGBScale(source, sourceStride, imageWidth, imageHeight, scaledPicture_.data(),
                              width_ * 4, width_, height_, libyuv::kFilterBilinear) != 0) {
            return false;
        }
        source = scaledPicture_.data();
        sourceStride = width_ * 4;
    }
    // libyuv names formats by their order in a little-endian 32-bit word, so its "ARGB" is the
    // B, G, R, A byte order of our pictures.
    int result = -1;
    switch (format_) {
    case AV_PIX_FMT_YUV420P:
        result = libyuv::ARGBToI420(source, sourceStride, frame.data[0], frame.linesize[0], frame.data[1],
                                    frame.linesize[1], frame.data[2], frame.linesize[2], width_, height_);
        break;
    case AV_PIX_FMT_YUV444P:
        result = libyuv::ARGBToI444(source, sourceStride, frame.data[0], frame.linesize[0], frame.data[1],
                                    frame.linesize[1], frame.data[2], frame.linesize[2], width_, height_);
        break;
    default:
        result = libyuv::ARGBToNV12(source, sourceStride, frame.data[0], frame.linesize[0], frame.data[1],
                                    frame.linesize[1], width_, height_);
        break;
    }
    return result == 0;
}

} // namespace backreel
