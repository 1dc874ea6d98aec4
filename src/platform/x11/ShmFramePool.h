#pragma once

#include "core/Error.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Geometry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>
#include <xcb/xcb.h>

namespace backreel::x11 {

// Frames a grabber's pool lends out at once: two waiting on the capture queue, one being encoded,
// one being read.
inline constexpr std::size_t kFramesInPool = 4;

// Picture memory that the X server can write into: a System V shared-memory segment attached with
// MIT-SHM, or plain memory when the server has no MIT-SHM or the segment can't be made (a remote
// display). Lent out frames go back to their pool when the last image referring to them goes.
// Any thread: the pool locks its own list.
class ShmFramePool : public std::enable_shared_from_this<ShmFramePool> {
public:
    class Buffer {
    public:
        ~Buffer();
        Buffer(const Buffer&) = delete;
        Buffer& operator=(const Buffer&) = delete;

        std::byte* data() const { return data_; }
        std::size_t size() const { return size_; }
        // The MIT-SHM segment id; 0 for plain memory.
        std::uint32_t segment() const { return segment_; }

    private:
        friend class ShmFramePool;
        Buffer() = default;

        std::shared_ptr<X11Connection> connection_;
        std::byte* data_ = nullptr;
        std::size_t size_ = 0;
        std::uint32_t segment_ = 0;
        std::unique_ptr<std::byte[]> plain_;
    };

    // A pool of at most `capacity` buffers of `bufferSize` bytes.
    static std::shared_ptr<ShmFramePool> create(std::shared_ptr<X11Connection> connection,
                                                std::size_t bufferSize, std::size_t capacity);
    // One buffer on its own (for scratch pictures that never leave their owner).
    static std::unique_ptr<Buffer> makeBuffer(const std::shared_ptr<X11Connection>& connection,
                                              std::size_t size);

    // A free buffer, or null when every one is lent out (the caller drops the frame).
    std::shared_ptr<Buffer> acquire();
    std::size_t bufferSize() const { return bufferSize_; }

private:
    ShmFramePool(std::shared_ptr<X11Connection> connection, std::size_t bufferSize, std::size_t capacity)
        : connection_(std::move(connection))
        , bufferSize_(bufferSize)
        , capacity_(capacity) {}
    void giveBack(Buffer* buffer);

    const std::shared_ptr<X11Connection> connection_;
    const std::size_t bufferSize_;
    const std::size_t capacity_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Buffer>> idle_;
    std::size_t lent_ = 0;
};

// Reads a rectangle of a drawable (window or pixmap of depth 24 or 32) as 32-bit BGRA into the
// buffer, rows packed (width * 4 bytes each): with xcb_shm_get_image into shared memory, else with
// xcb_get_image and a copy. Blocks for one round trip. Fails with the X error's name.
MaybeError readImage(const X11Connection& connection, xcb_drawable_t drawable, const PixelRect& rect,
                     const ShmFramePool::Buffer& buffer);

} // namespace backreel::x11
