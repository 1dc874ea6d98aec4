#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>
#include <xcb/xcb.h>

namespace backreel::x11 {

// Replies, errors and events that XCB allocates with malloc().
struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};

template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;
using XcbError = std::unique_ptr<xcb_generic_error_t, FreeDeleter>;
using XcbEvent = std::unique_ptr<xcb_generic_event_t, FreeDeleter>;

struct ConnectionDeleter {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using XcbConnectionPtr = std::unique_ptr<xcb_connection_t, ConnectionDeleter>;

// Waits for the reply of a request and hands it back owned, with the error (if any) owned too.
// The reply is null when the request failed; then error holds the X error unless the connection
// itself broke.
template <typename Reply, typename Cookie, typename Connection>
XcbReply<Reply> takeReply(Reply* (*replyFunction)(Connection*, Cookie, xcb_generic_error_t**),
                          Connection* connection, Cookie cookie, XcbError* error = nullptr) {
    xcb_generic_error_t* rawError = nullptr;
    XcbReply<Reply> reply(replyFunction(connection, cookie, &rawError));
    XcbError ownedError(rawError);
    if (error != nullptr) {
        *error = std::move(ownedError);
    }
    return reply;
}

} // namespace backreel::x11

namespace backreel::x11 {

// A server-side resource (pixmap, picture, graphics context) freed with its own request when the
// owner goes. The connection must outlive it.
class XcbResource {
public:
    using FreeFunction = xcb_void_cookie_t (*)(xcb_connection_t*, std::uint32_t);

    XcbResource() = default;
    XcbResource(xcb_connection_t* connection, std::uint32_t id, FreeFunction freeFunction)
        : connection_(connection)
        , id_(id)
        , release_(freeFunction) {}
    ~XcbResource() { reset(); }

    XcbResource(XcbResource&& other) noexcept
        : connection_(other.connection_)
        , id_(std::exchange(other.id_, 0))
        , release_(other.release_) {}
    XcbResource& operator=(XcbResource&& other) noexcept {
        if (this != &other) {
            reset();
            connection_ = other.connection_;
            id_ = std::exchange(other.id_, 0);
            release_ = other.release_;
        }
        return *this;
    }
    XcbResource(const XcbResource&) = delete;
    XcbResource& operator=(const XcbResource&) = delete;

    std::uint32_t id() const { return id_; }
    // Gives the id up without freeing it (when the server never created the resource).
    std::uint32_t release() { return std::exchange(id_, 0); }
    explicit operator bool() const { return id_ != 0; }
    void reset() {
        if (id_ != 0 && release_ != nullptr) {
            release_(connection_, id_);
        }
        id_ = 0;
    }

private:
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t id_ = 0;
    FreeFunction release_ = nullptr;
};

} // namespace backreel::x11
