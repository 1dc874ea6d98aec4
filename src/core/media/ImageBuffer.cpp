#include "core/media/ImageBuffer.h"

#include <vector>

namespace backreel {

ImageBufferPtr ImageBuffer::allocate(int width, int height) {
    const std::size_t stride = static_cast<std::size_t>(width > 0 ? width : 0) * 4;
    auto storage = std::make_shared<std::vector<std::byte>>(stride * static_cast<std::size_t>(height > 0 ? height : 0));
    std::byte* pixels = storage->data();
    return wrap(std::move(storage), pixels, width, height, stride);
}

ImageBufferPtr ImageBuffer::wrap(std::shared_ptr<void> owner, std::byte* pixels, int width, int height,
                                 std::size_t bytesPerRow) {
    return ImageBufferPtr(new ImageBuffer(std::move(owner), pixels, width, height, bytesPerRow));
}

} // namespace backreel
