#include "platform/portal/PortalPicture.h"

#include "platform/pixels/FrameClock.h"

#include <algorithm>
#include <cmath>
#include <libyuv/convert_argb.h>

namespace backreel::portal {

namespace {
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
} // namespace

pixels::PixelRect cropOf(std::optional<pixels::PixelRect> videoCrop, std::int32_t width,
                         std::int32_t height) {
    const pixels::PixelRect whole{0, 0, width, height};
    if (!videoCrop) {
        return whole;
    }
    const pixels::PixelRect inside = pixels::intersected(*videoCrop, whole);
    return inside.isEmpty() ? whole : inside;
}

pixels::PixelRect visibleArea(const pixels::PixelRect& crop, const std::optional<QRectF>& sourceRect,
                              const QSizeF& displaySize) {
    if (!sourceRect) {
        return crop;
    }
    if (!(displaySize.width() > 0) || !(displaySize.height() > 0)) {
        return {};
    }
    const double scaleX = crop.width / displaySize.width();
    const double scaleY = crop.height / displaySize.height();
    const auto edge = [](double value) {
        return static_cast<std::int32_t>(std::clamp(std::round(value), -1.0e9, 1.0e9));
    };
    const std::int32_t left = crop.x + edge(sourceRect->left() * scaleX);
    const std::int32_t top = crop.y + edge(sourceRect->top() * scaleY);
    const pixels::PixelRect wanted{left, top, crop.x + edge(sourceRect->right() * scaleX) - left,
                                   crop.y + edge(sourceRect->bottom() * scaleY) - top};
    return pixels::intersected(wanted, crop);
}

bool renderPicture(const SourcePicture& source, const pixels::PixelRect& area,
                   const pixels::PixelView& destination, std::vector<std::byte>& scratch) {
    const pixels::PixelRect inside = pixels::intersected(area, {0, 0, source.width, source.height});
    if (inside.isEmpty() || source.data == nullptr) {
        pixels::fillBlack(destination, {0, 0, destination.width, destination.height});
        return false;
    }
    // Read only: the view's type is shared with the pictures we write.
    pixels::PixelView view{const_cast<std::byte*>(source.data), source.width, source.height,
                           source.bytesPerRow};
    view = pixels::PixelView{view.pixel(inside.x, inside.y), inside.width, inside.height, source.bytesPerRow};
    if (source.order == PixelOrder::rgba) {
        const std::size_t rowBytes = static_cast<std::size_t>(inside.width) * 4;
        scratch.resize(rowBytes * static_cast<std::size_t>(inside.height));
        // libyuv names formats by their 32-bit word: its "ABGR" is RGBA in memory, "ARGB" is BGRA.
        libyuv::ABGRToARGB(reinterpret_cast<const std::uint8_t*>(view.data),
                           static_cast<int>(view.bytesPerRow),
                           reinterpret_cast<std::uint8_t*>(scratch.data()), static_cast<int>(rowBytes),
                           inside.width, inside.height);
        view = pixels::PixelView{scratch.data(), inside.width, inside.height, rowBytes};
    }
    return pixels::scaleToFit(view, destination);
}

MediaTime presentationTimeOf(std::optional<std::int64_t> headerNanoseconds, std::int64_t arrivalNanoseconds) {
    std::int64_t nanoseconds = arrivalNanoseconds;
    if (headerNanoseconds && *headerNanoseconds <= arrivalNanoseconds &&
        arrivalNanoseconds - *headerNanoseconds < kNanosecondsPerSecond) {
        nanoseconds = *headerNanoseconds;
    }
    return pixels::monotonicMediaTime(nanoseconds / kNanosecondsPerSecond,
                                      nanoseconds % kNanosecondsPerSecond);
}

MediaTime handOnTime(MediaTime wanted, MediaTime lastHandedOn, MediaTime interval) {
    if (!lastHandedOn.isValid()) {
        return wanted;
    }
    const MediaTime earliest = lastHandedOn + interval;
    return wanted < earliest ? earliest : wanted;
}

} // namespace backreel::portal
