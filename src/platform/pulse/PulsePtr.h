#pragma once

#include <memory>
#include <pulse/pulseaudio.h>

namespace backreel {

// Owning handles for the PulseAudio objects the backend creates.
//
// The context, stream and timer deleters touch the mainloop's state (and the first two talk to
// the server), so they must run with the threaded mainloop's lock held, or after its thread has
// stopped. The context and stream deleters first clear our callbacks, so a disconnect in
// progress never calls back into an object that is going away.
struct PaThreadedMainloopDeleter {
    // Stops the loop's thread first (a no-op when it never ran); never call from that thread.
    void operator()(pa_threaded_mainloop* mainloop) const {
        pa_threaded_mainloop_stop(mainloop);
        pa_threaded_mainloop_free(mainloop);
    }
};

struct PaContextDeleter {
    void operator()(pa_context* context) const {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
        pa_context_disconnect(context); // safe in every state
        pa_context_unref(context);
    }
};

struct PaStreamDeleter {
    void operator()(pa_stream* stream) const {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        // A failed or terminated stream is already detached from its context, and disconnecting
        // it again would trip libpulse's assertions.
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
            pa_stream_disconnect(stream);
        }
        pa_stream_unref(stream);
    }
};

struct PaOperationDeleter {
    void operator()(pa_operation* operation) const { pa_operation_unref(operation); }
};

// A timer on a mainloop; freed through the mainloop's own API.
struct PaTimeEventDeleter {
    const pa_mainloop_api* api = nullptr;
    void operator()(pa_time_event* event) const { api->time_free(event); }
};

struct PaMainloopDeleter {
    void operator()(pa_mainloop* mainloop) const { pa_mainloop_free(mainloop); }
};

using PaMainloopPtr = std::unique_ptr<pa_mainloop, PaMainloopDeleter>;
using PaThreadedMainloopPtr = std::unique_ptr<pa_threaded_mainloop, PaThreadedMainloopDeleter>;
using PaContextPtr = std::unique_ptr<pa_context, PaContextDeleter>;
using PaStreamPtr = std::unique_ptr<pa_stream, PaStreamDeleter>;
using PaOperationPtr = std::unique_ptr<pa_operation, PaOperationDeleter>;
using PaTimeEventPtr = std::unique_ptr<pa_time_event, PaTimeEventDeleter>;

// Holds the threaded mainloop's lock for a scope, like std::lock_guard. Not for the loop's own
// thread, which already holds the lock while it runs our callbacks.
class PaMainloopLock {
public:
    explicit PaMainloopLock(pa_threaded_mainloop* mainloop)
        : mainloop_(mainloop) {
        pa_threaded_mainloop_lock(mainloop_);
    }
    ~PaMainloopLock() { pa_threaded_mainloop_unlock(mainloop_); }
    PaMainloopLock(const PaMainloopLock&) = delete;
    PaMainloopLock& operator=(const PaMainloopLock&) = delete;

private:
    pa_threaded_mainloop* mainloop_;
};

} // namespace backreel
