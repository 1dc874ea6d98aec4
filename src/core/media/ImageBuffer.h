#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace backreel {

class ImageBuffer;
using ImageBufferPtr = std::shared_ptr<const ImageBuffer>;

// An uncompressed picture in 32-bit BGRA. The pixels either belong to the buffer or to a producer
// (a shared-memory segment, a pool slot) that the owner handle keeps alive until the last
// reference goes away.
class ImageBuffer {
public:
    static ImageBufferPtr allocate(int width, int height);
    static ImageBufferPtr wrap(std::shared_ptr<void> owner, std::byte* pixels, int width, int height,
                               std::size_t bytesPerRow);

    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t bytesPerRow() const { return bytesPerRow_; }
    const std::byte* baseAddress() const { return pixels_; }
    // Writable access for the producer that filled the buffer; consumers only read.
    std::byte* mutableBaseAddress() const { return pixels_; }

private:
    ImageBuffer(std::shared_ptr<void> owner, std::byte* pixels, int width, int height, std::size_t bytesPerRow)
        : owner_(std::move(owner)), pixels_(pixels), width_(width), height_(height), bytesPerRow_(bytesPerRow) {}

    std::shared_ptr<void> owner_;
    std::byte* pixels_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::size_t bytesPerRow_ = 0;
};

} // namespace backreel
