#pragma once

#include "core/Error.h"
#include "platform/portal/PortalPicture.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

struct pw_buffer;
struct pw_context;
struct pw_core;
struct pw_registry;
struct pw_stream;
struct pw_thread_loop;
struct spa_pod;
struct spa_source;

namespace backreel::portal {

// A video stream from one PipeWire node, on a PipeWire remote that a screen-cast portal opened for
// us. It takes 32-bit RGB pictures (BGRx, BGRA, RGBx or RGBA) in shared memory, or in DMA-BUFs
// that can be mapped, with the compositor's video crop; the cursor is in the picture when the
// portal was asked for that. Only the newest picture of those waiting is handed on.
//
// Thread contract: connect(), setPictureHandler() and the destructor on the owner's thread, never
// in a handler. Every handler runs on the stream's own thread ("PipeWire"), one call at a time;
// after the destructor returns none runs again.
class PipeWireStream {
public:
    // The size of the pictures from now on, at the start and after every change.
    using FormatHandler = std::function<void(std::int32_t width, std::int32_t height)>;
    // The stream has ended: the node went away (it left the registry, or the stream left the
    // streaming state, as it does when the desktop drops the node), the stream failed, or the
    // PipeWire daemon died (then with PipeWire's message). Once. A node that sends nothing for a
    // while (a still screen) has not ended.
    using EndHandler = std::function<void(const Error& error)>;
    // A new picture, valid only during the call.
    using PictureHandler = std::function<void(const SourcePicture& picture)>;
    // A tick of the stream's clock (see setTickHandler()).
    using TickHandler = std::function<void()>;

    // Connects on the remote (the descriptor is ours from now on, also on failure) to the node.
    static Expected<std::unique_ptr<PipeWireStream>> connect(int remoteFd, std::uint32_t nodeId, int frameRate,
                                                             FormatHandler onFormat, EndHandler onEnd);
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    void setPictureHandler(PictureHandler handler);
    // Calls the handler every interval from now on, on the stream's thread, between pictures;
    // a null handler stops the ticks.
    void setTickHandler(std::chrono::nanoseconds interval, TickHandler handler);

private:
    PipeWireStream(FormatHandler onFormat, EndHandler onEnd);

    static void onStateChanged(void* data, int old, int state, const char* error);
    static void onParamChanged(void* data, std::uint32_t id, const spa_pod* param);
    static void onProcess(void* data);
    static void onCoreError(void* data, std::uint32_t id, int seq, int res, const char* message);
    static void onTimer(void* data, std::uint64_t expirations);
    static void onGlobalRemoved(void* data, std::uint32_t id);

    void end(const Error& error);
    void handOn(pw_buffer* buffer);

    const FormatHandler onFormat_;
    const EndHandler onEnd_;
    PictureHandler onPicture_; // swapped under the loop's lock
    TickHandler onTick_;       // the same
    spa_source* tickSource_ = nullptr;

    // Set on the loop's thread by the format, read there by the picture handling.
    std::uint32_t videoFormat_ = 0;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    bool ended_ = false;
    bool streaming_ = false;
    std::uint32_t nodeId_ = 0;

    struct LoopDeleter {
        void operator()(pw_thread_loop* loop) const;
    };
    struct ContextDeleter {
        void operator()(pw_context* context) const;
    };
    struct CoreDeleter {
        void operator()(pw_core* core) const;
    };
    struct StreamDeleter {
        void operator()(pw_stream* stream) const;
    };
    struct RegistryDeleter {
        void operator()(pw_registry* registry) const;
    };
    struct Listeners;
    struct ListenersDeleter {
        void operator()(Listeners* listeners) const;
    };

    // Destroyed bottom up, after the destructor has stopped the loop.
    std::unique_ptr<pw_thread_loop, LoopDeleter> loop_;
    std::unique_ptr<pw_context, ContextDeleter> context_;
    std::unique_ptr<pw_core, CoreDeleter> core_;
    std::unique_ptr<pw_stream, StreamDeleter> stream_;
    std::unique_ptr<pw_registry, RegistryDeleter> registry_;
    std::unique_ptr<Listeners, ListenersDeleter> listeners_;
};

} // namespace backreel::portal
