#pragma once

#include "platform/pulse/FragmentSampler.h"
#include "platform/pulse/PulsePtr.h"
#include "platform/SystemAudio.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>

namespace backreel {

// The PulseAudio side of a PulseAudioSource, for one recording: its own threaded mainloop, a
// context, and a record stream on the monitor of the server's default sink, reconnected to the
// new monitor whenever the default sink changes.
//
// Thread contract: construct, start() and stop() on the owner's thread; the destructor stops.
// Everything else runs on the mainloop thread, which holds the mainloop lock while it runs our
// callbacks; the handlers are called there, one at a time, and must not call stop().
class PulseMonitorRecorder {
public:
    // server: a PulseAudio server string; empty for the usual one (PULSE_SERVER, then the client
    // configuration). The format must have passed checkSystemAudioFormat().
    PulseMonitorRecorder(std::string server, SystemAudioFormat format,
                         SystemAudioSource::AudioHandler onAudio,
                         SystemAudioSource::FailureHandler onFailure);
    ~PulseMonitorRecorder();

    PulseMonitorRecorder(const PulseMonitorRecorder&) = delete;
    PulseMonitorRecorder& operator=(const PulseMonitorRecorder&) = delete;

    // Connects and waits until the stream records or fails, or until the deadline passes.
    MaybeError start(std::chrono::milliseconds deadline);
    // After it returns no handler runs. Idempotent.
    void stop();

private:
    enum class Phase { idle, starting, recording, ended };

    // libpulse callbacks; userdata is the recorder. On the mainloop thread.
    static void startDeadlinePassed(pa_mainloop_api* api, pa_time_event* event, const timeval* time,
                                    void* userdata);
    static void contextStateChanged(pa_context* context, void* userdata);
    static void serverEventArrived(pa_context* context, pa_subscription_event_type_t type,
                                   std::uint32_t index, void* userdata);
    static void serverInfoArrived(pa_context* context, const pa_server_info* info, void* userdata);
    static void streamStateChanged(pa_stream* stream, void* userdata);
    static void streamReadable(pa_stream* stream, std::size_t length, void* userdata);

    void requestServerInfo();
    void followDefaultSink(const pa_server_info* info);
    void connectMonitor(const std::string& monitor);
    void streamFailed(Error error);
    void drain(pa_stream* stream);
    void deliver(pa_stream* stream, const void* data, std::size_t length);
    std::int64_t estimateCaptureStart(pa_stream* stream, std::int64_t frames) const;

    Error pulseError(int code, const QString& what) const;
    // Completes start(): recording when error is none.
    void finishStart(MaybeError error);
    // Ends a recording that was under way and tells the failure handler, once.
    void failRecording(const Error& error);

    const std::string server_;
    const SystemAudioFormat format_;
    const SystemAudioSource::AudioHandler onAudio_;
    const SystemAudioSource::FailureHandler onFailure_;

    std::atomic<Phase> phase_{Phase::idle};

    // start() waits for the mainloop thread's verdict here.
    std::mutex startMutex_;
    std::condition_variable startDecided_;
    std::optional<MaybeError> startResult_;

    // Destroyed in reverse order: the stream, the timer, the context, then the loop. stop()
    // releases all but the loop under the lock before it stops the loop.
    PaThreadedMainloopPtr mainloop_;
    PaContextPtr context_;
    PaTimeEventPtr startDeadline_;
    std::int64_t startDeadlineMilliseconds_ = 0;

    // Mainloop thread only (or under its lock).
    PaStreamPtr stream_;
    std::string monitor_;
    int consecutiveStreamFailures_ = 0;
    FragmentSampler sampler_;
};

} // namespace backreel
