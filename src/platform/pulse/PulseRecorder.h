#pragma once

#include "platform/pulse/FragmentSampler.h"
#include "platform/pulse/PulsePtr.h"
#include "platform/AudioSource.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace backreel {

// Fragments of about 10 ms keep the audio close behind the screen frames without waking the
// mainloop too often.
inline constexpr auto kAudioFragmentDuration = std::chrono::milliseconds(10);

// How long to wait before the next attempt to record, after this many failed in a row (0 for
// the first retry): a quarter of a second, doubling up to four seconds.
std::chrono::milliseconds recordingRetryDelay(int failedAttempts);

// The PulseAudio side of a PulseAudioSource, for one recording: its own threaded mainloop, a
// context, and a record stream on the source the input names: the monitor of the server's default
// sink, reconnected to the new monitor whenever the default sink changes; a microphone (the
// default one, followed the same way, or a named one); or the monitor of one application's newest
// playback stream, followed as the application's streams come and go (while it plays nothing,
// nothing is recorded, and that is no loss). When the recording is lost (the server cannot be
// reached or goes away, or there is nothing to record) it says so and starts over with a new
// context after recordingRetryDelay(), until it records again or stops.
//
// Thread contract: construct, start() and stop() on the owner's thread; the destructor stops.
// Everything else runs on the mainloop thread, which holds the mainloop lock while it runs our
// callbacks; the handlers are called there, one at a time, and must not call stop().
class PulseRecorder {
public:
    // server: a PulseAudio server string; empty for the usual one (PULSE_SERVER, then the client
    // configuration). The format must have passed checkAudioFormat().
    PulseRecorder(std::string server, AudioInput input, AudioFormat format,
                  AudioSource::AudioHandler onAudio, AudioSource::StateHandler onState);
    ~PulseRecorder();

    PulseRecorder(const PulseRecorder&) = delete;
    PulseRecorder& operator=(const PulseRecorder&) = delete;

    // Starts the mainloop and waits until the first attempt records or is lost (which the state
    // handler has been told by then); an attempt that neither records nor fails within the
    // deadline counts as lost. Fails only when the mainloop or the context cannot be made.
    MaybeError start(std::chrono::milliseconds attemptDeadline);
    // After it returns no handler runs, and no retry is pending. Idempotent.
    void stop();

private:
    // connecting: an attempt is under way; waiting: the next attempt is due when the timer fires.
    enum class Phase { idle, connecting, recording, waiting, ended };

    // libpulse callbacks; userdata is the recorder. On the mainloop thread.
    static void timerFired(pa_mainloop_api* api, pa_time_event* event, const timeval* time, void* userdata);
    static void contextStateChanged(pa_context* context, void* userdata);
    static void serverEventArrived(pa_context* context, pa_subscription_event_type_t type,
                                   std::uint32_t index, void* userdata);
    static void serverInfoArrived(pa_context* context, const pa_server_info* info, void* userdata);
    static void sinkInputArrived(pa_context* context, const pa_sink_input_info* info, int last,
                                 void* userdata);
    static void sinkArrived(pa_context* context, const pa_sink_info* info, int last, void* userdata);
    static void streamStateChanged(pa_stream* stream, void* userdata);
    static void streamReadable(pa_stream* stream, std::size_t length, void* userdata);

    // Connects the current context; a failure is handled on the mainloop thread.
    void beginAttempt();
    // Starts over with a new context (the old one goes now that none of its callbacks runs).
    void retry();
    void setTimer(std::chrono::milliseconds delay);
    // Finds the source to record (the server's defaults, or the application's streams) and
    // connects to it when it is not the one recorded.
    void lookUpSource();
    void chooseFromServer(const pa_server_info* info);
    void chooseApplicationStream();
    // Records `source` (a name, or a source's index as text); with a sink input, only what that
    // stream plays.
    void connectSource(const std::string& source, std::optional<std::uint32_t> sinkInput);
    // The application plays nothing now: records nothing, and that is no loss.
    void waitForApplication();
    void streamFailed(Error error);
    void drain(pa_stream* stream);
    void deliver(pa_stream* stream, const void* data, std::size_t length);
    std::int64_t estimateCaptureStart(pa_stream* stream, std::int64_t frames) const;

    Error pulseError(int code, const QString& what) const;
    // The stream records: tells a loss that was told is over.
    void recordingStarted();
    // Ends the attempt or the recording, tells the loss (once until recording again) and sets the
    // timer for the next attempt.
    void lose(const Error& error);
    // Lets start() return, once.
    void finishFirstAttempt();

    const std::string server_;
    const AudioInput input_;
    const AudioFormat format_;
    const AudioSource::AudioHandler onAudio_;
    const AudioSource::StateHandler onState_;

    std::atomic<Phase> phase_{Phase::idle};

    // start() waits for the first attempt's outcome here.
    std::mutex startMutex_;
    std::condition_variable startDecided_;
    bool firstAttemptDone_ = false;

    // Destroyed in reverse order: the stream, the timer, the context, then the loop. stop()
    // releases all but the loop under the lock before it stops the loop.
    PaThreadedMainloopPtr mainloop_;
    PaContextPtr context_;
    // The attempt's deadline while connecting, the next attempt while waiting.
    PaTimeEventPtr timer_;
    std::chrono::milliseconds attemptDeadline_{0};

    // Mainloop thread only (or under its lock).
    PaStreamPtr stream_;
    std::string source_;
    // The application's stream being recorded and the output it plays on, and the candidates of
    // the listing under way: one at a time, another asked for while it runs comes after it.
    std::optional<std::uint32_t> sinkInput_;
    std::uint32_t sink_ = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> candidates_; // (sink input, sink)
    bool listing_ = false;
    bool listAgain_ = false;
    int consecutiveStreamFailures_ = 0;
    int failedAttempts_ = 0;
    // Why the current attempt failed before it reached the mainloop (the connect call refused).
    std::optional<Error> connectError_;
    bool lossTold_ = false;
    // The same sampler across attempts, so that audio after a loss stays on the same time line.
    FragmentSampler sampler_;
};

} // namespace backreel
