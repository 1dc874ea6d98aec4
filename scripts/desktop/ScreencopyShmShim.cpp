// Preloaded into xdg-desktop-portal-wlr 0.7 so that it shares a screen of a compositor without a GPU.
//
// Before it starts a share, the backend asks the compositor for one frame and insists on two buffer
// kinds: shared memory, and (as it offers the portal's interface version 3 or later) a DMA-BUF
// format too. A compositor rendering with pixman sends no linux_dmabuf event, so every Start fails
// with "unable to receive a valid format from wlr_screencopy", although past that check the backend
// offers PipeWire a DMA-BUF format only for modifiers the compositor listed (through
// zwp_linux_dmabuf_v1, which sway without a GPU does not offer), so shared memory alone.
//
// So: wherever the backend listens to a screencopy frame, the compositor's shared-memory buffer
// event also reaches it as a linux_dmabuf event of the same size and format. Nothing else changes;
// the stream is negotiated, copied and sent by the unmodified backend.

#include <cstdint>
#include <cstring>
#include <dlfcn.h>

struct wl_proxy;

extern "C" const char* wl_proxy_get_class(wl_proxy* proxy);

namespace {

// zwlr_screencopy_frame_v1's events, in the protocol's order.
struct FrameListener {
    void (*buffer)(void* data, wl_proxy* frame, std::uint32_t format, std::uint32_t width,
                   std::uint32_t height, std::uint32_t stride);
    void (*flags)(void* data, wl_proxy* frame, std::uint32_t flags);
    void (*ready)(void* data, wl_proxy* frame, std::uint32_t secondsHigh, std::uint32_t secondsLow,
                  std::uint32_t nanoseconds);
    void (*failed)(void* data, wl_proxy* frame);
    void (*damage)(void* data, wl_proxy* frame, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                   std::uint32_t height);
    void (*linuxDmabuf)(void* data, wl_proxy* frame, std::uint32_t format, std::uint32_t width,
                        std::uint32_t height);
    void (*bufferDone)(void* data, wl_proxy* frame);
};

// wl_shm names its two mandatory formats 0 and 1; every other one by its DRM fourcc.
std::uint32_t drmFourcc(std::uint32_t shmFormat) {
    constexpr std::uint32_t argb8888 = 0x34325241; // 'AR24'
    constexpr std::uint32_t xrgb8888 = 0x34325258; // 'XR24'
    return shmFormat == 0 ? argb8888 : shmFormat == 1 ? xrgb8888 : shmFormat;
}

// The backend's one listener for every frame, and the same with the buffer event doubled.
const FrameListener* backendListener = nullptr;
FrameListener doubledListener;

void bufferAlsoAsDmabuf(void* data, wl_proxy* frame, std::uint32_t format, std::uint32_t width,
                        std::uint32_t height, std::uint32_t stride) {
    if (backendListener->linuxDmabuf != nullptr) {
        backendListener->linuxDmabuf(data, frame, drmFourcc(format), width, height);
    }
    backendListener->buffer(data, frame, format, width, height, stride);
}

} // namespace

extern "C" int wl_proxy_add_listener(wl_proxy* proxy, void (**implementation)(void), void* data) {
    using AddListener = int (*)(wl_proxy*, void (**)(void), void*);
    static const auto next = reinterpret_cast<AddListener>(dlsym(RTLD_NEXT, "wl_proxy_add_listener"));
    if (std::strcmp(wl_proxy_get_class(proxy), "zwlr_screencopy_frame_v1") == 0) {
        const auto* listener = reinterpret_cast<const FrameListener*>(implementation);
        if (backendListener == nullptr && listener->buffer != nullptr) {
            backendListener = listener;
            doubledListener = *listener;
            doubledListener.buffer = bufferAlsoAsDmabuf;
        }
        if (listener == backendListener) {
            implementation = reinterpret_cast<void (**)(void)>(&doubledListener);
        }
    }
    return next(proxy, implementation, data);
}
