#include "platform/x11/ShmFramePool.h"

#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

namespace backreel::x11 {

ShmFramePool::Buffer::~Buffer() {
    if (segment_ != 0) {
        xcb_shm_detach(connection_->get(), segment_);
        xcb_flush(connection_->get());
    }
    if (data_ != nullptr && !plain_) {
        shmdt(data_);
    }
}

std::unique_ptr<ShmFramePool::Buffer>
ShmFramePool::makeBuffer(const std::shared_ptr<X11Connection>& connection, std::size_t size) {
    std::unique_ptr<Buffer> buffer(new Buffer());
    buffer->connection_ = connection;
    buffer->size_ = size;
    if (connection->extensions().shm && size > 0) {
        const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (id >= 0) {
            void* address = shmat(id, nullptr, 0);
            if (address != reinterpret_cast<void*>(-1)) {
                buffer->data_ = static_cast<std::byte*>(address);
                const std::uint32_t segment = xcb_generate_id(connection->get());
                XcbError error(xcb_request_check(
                    connection->get(),
                    xcb_shm_attach_checked(connection->get(), segment, static_cast<std::uint32_t>(id), 0)));
                if (!error && !connection->hasFailed()) {
                    buffer->segment_ = segment;
                }
            }
            // Both sides are attached (or the attach failed): marking the segment for removal now
            // lets the kernel free it with the last detach, even if we crash.
            shmctl(id, IPC_RMID, nullptr);
            if (buffer->segment_ == 0 && buffer->data_ != nullptr) {
                shmdt(buffer->data_);
                buffer->data_ = nullptr;
            }
        }
    }
    if (buffer->data_ == nullptr) {
        buffer->plain_ = std::make_unique<std::byte[]>(size);
        buffer->data_ = buffer->plain_.get();
    }
    return buffer;
}

std::shared_ptr<ShmFramePool> ShmFramePool::create(std::shared_ptr<X11Connection> connection,
                                                   std::size_t bufferSize, std::size_t capacity) {
    return std::shared_ptr<ShmFramePool>(new ShmFramePool(std::move(connection), bufferSize, capacity));
}

std::shared_ptr<ShmFramePool::Buffer> ShmFramePool::acquire() {
    std::unique_ptr<Buffer> buffer;
    {
        std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            buffer = std::move(idle_.back());
            idle_.pop_back();
        } else if (lent_ >= capacity_) {
            return nullptr;
        }
        ++lent_;
    }
    if (!buffer) {
        buffer = makeBuffer(connection_, bufferSize_);
    }
    std::weak_ptr<ShmFramePool> pool = weak_from_this();
    return std::shared_ptr<Buffer>(buffer.release(), [pool](Buffer* lentBuffer) {
        if (std::shared_ptr<ShmFramePool> owner = pool.lock()) {
            owner->giveBack(lentBuffer);
        } else {
            delete lentBuffer;
        }
    });
}

void ShmFramePool::giveBack(Buffer* buffer) {
    std::unique_ptr<Buffer> owned(buffer);
    std::lock_guard lock(mutex_);
    --lent_;
    idle_.push_back(std::move(owned));
}

MaybeError readImage(const X11Connection& connection, xcb_drawable_t drawable, const PixelRect& rect,
                     const ShmFramePool::Buffer& buffer) {
    xcb_connection_t* c = connection.get();
    const std::size_t bytes =
        static_cast<std::size_t>(rect.width) * static_cast<std::size_t>(rect.height) * 4;
    if (rect.isEmpty() || bytes > buffer.size()) {
        return Error(QStringLiteral("The picture does not fit its buffer."));
    }
    const auto x = static_cast<std::int16_t>(rect.x);
    const auto y = static_cast<std::int16_t>(rect.y);
    const auto width = static_cast<std::uint16_t>(rect.width);
    const auto height = static_cast<std::uint16_t>(rect.height);
    XcbError error;
    if (buffer.segment() != 0) {
        auto reply = takeReply(xcb_shm_get_image_reply, c,
                               xcb_shm_get_image(c, drawable, x, y, width, height, ~0u,
                                                 XCB_IMAGE_FORMAT_Z_PIXMAP, buffer.segment(), 0),
                               &error);
        if (!reply) {
            return connection.requestError(QStringLiteral("Reading the screen (MIT-SHM GetImage)"),
                                           error.get());
        }
        if (reply->depth != 24 && reply->depth != 32) {
            return Error(QStringLiteral("Pictures of depth %1 can't be captured.").arg(reply->depth));
        }
        return std::nullopt;
    }
    auto reply =
        takeReply(xcb_get_image_reply, c,
                  xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, x, y, width, height, ~0u), &error);
    if (!reply) {
        return connection.requestError(QStringLiteral("Reading the screen (GetImage)"), error.get());
    }
    if (reply->depth != 24 && reply->depth != 32) {
        return Error(QStringLiteral("Pictures of depth %1 can't be captured.").arg(reply->depth));
    }
    const auto length = static_cast<std::size_t>(std::max(xcb_get_image_data_length(reply.get()), 0));
    std::memcpy(buffer.data(), xcb_get_image_data(reply.get()), std::min(length, bytes));
    return std::nullopt;
}

} // namespace backreel::x11
