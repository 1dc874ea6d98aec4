#include "platform/pulse/PulseRecorder.h"

#include "core/log/Log.h"
#include "platform/pulse/PulseAudioFormat.h"

#include <algorithm>

namespace backreel {

namespace {

// Failures of the record stream in a row (without it ever becoming ready in between) before the
// recording counts as lost; a monitor that vanished usually comes back on the first retry.
constexpr int kStreamAttempts = 3;
// The first retry after a loss, and the longest wait between two.
constexpr auto kFirstRetryDelay = std::chrono::milliseconds(250);
constexpr auto kLongestRetryDelay = std::chrono::milliseconds(4000);

QString pulseText(int code) {
    return QString::fromUtf8(pa_strerror(code));
}

// " (unix:/run/user/1000/pulse/native)" when we know which server, for the error texts.
QString serverSuffix(const std::string& server) {
    const QString name =
        server.empty() ? qEnvironmentVariable("PULSE_SERVER") : QString::fromStdString(server);
    return name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name);
}

} // namespace

std::chrono::milliseconds recordingRetryDelay(int failedAttempts) {
    std::chrono::milliseconds delay = kFirstRetryDelay;
    for (int i = 0; i < failedAttempts && delay < kLongestRetryDelay; ++i) {
        delay *= 2;
    }
    return std::min(delay, kLongestRetryDelay);
}

PulseRecorder::PulseRecorder(std::string server, AudioInput input, AudioFormat format,
                             AudioSource::AudioHandler onAudio, AudioSource::StateHandler onState)
    : server_(std::move(server))
    , input_(std::move(input))
    , format_(format)
    , onAudio_(std::move(onAudio))
    , onState_(std::move(onState))
    , sampler_(format) {}

PulseRecorder::~PulseRecorder() {
    stop();
}

MaybeError PulseRecorder::start(std::chrono::milliseconds attemptDeadline) {
    attemptDeadline_ = attemptDeadline;
    mainloop_.reset(pa_threaded_mainloop_new());
    if (!mainloop_) {
        return Error(QStringLiteral("Could not create the audio thread."));
    }
    pa_threaded_mainloop_set_name(mainloop_.get(), "PulseAudio");
    context_.reset(pa_context_new(pa_threaded_mainloop_get_api(mainloop_.get()), "Backreel"));
    if (!context_) {
        return Error(QStringLiteral("Could not create an audio server connection."));
    }
    // The loop's thread does not run yet, so nothing needs its lock here.
    beginAttempt();
    if (!timer_) {
        return Error(QStringLiteral("Could not set up the audio start deadline."));
    }
    if (pa_threaded_mainloop_start(mainloop_.get()) < 0) {
        return Error(QStringLiteral("Could not start the audio thread."));
    }

    // An untimed wait: ThreadSanitizer (GCC 12) does not see through the pthread_cond_clockwait
    // that timed waits use, and would take the hand-over for a race. The attempt's deadline runs
    // on the loop, so this wait ends.
    std::unique_lock lock(startMutex_);
    startDecided_.wait(lock, [this] { return firstAttemptDone_; });
    return std::nullopt;
}

void PulseRecorder::stop() {
    if (!mainloop_) {
        phase_ = Phase::ended;
        return;
    }
    if (pa_threaded_mainloop_in_thread(mainloop_.get()) != 0) {
        // Called from a handler, against the contract: the loop cannot stop itself, but no
        // handler runs again; the owner's stop() or destructor releases the rest.
        phase_ = Phase::ended;
        return;
    }
    {
        PaMainloopLock lock(mainloop_.get());
        phase_ = Phase::ended;
        timer_.reset();
        stream_.reset();
        context_.reset();
    }
    mainloop_.reset();
}

void PulseRecorder::beginAttempt() {
    phase_ = Phase::connecting;
    consecutiveStreamFailures_ = 0;
    connectError_.reset();
    listing_ = false; // a listing of the old context never answers
    listAgain_ = false;
    pa_context_set_state_callback(context_.get(), &contextStateChanged, this);
    pa_context_set_subscribe_callback(context_.get(), &serverEventArrived, this);
    // A server that is not there usually fails right in this call; one that is slow to answer
    // fails in the callbacks, or not at all, which the timer's deadline catches.
    const char* server = server_.empty() ? nullptr : server_.c_str();
    if (pa_context_connect(context_.get(), server, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        // Told from the loop's thread, like every other outcome.
        connectError_ =
            pulseError(pa_context_errno(context_.get()),
                       QStringLiteral("Could not connect to the audio server%1").arg(serverSuffix(server_)));
        setTimer(std::chrono::milliseconds(0));
        return;
    }
    setTimer(attemptDeadline_);
}

void PulseRecorder::setTimer(std::chrono::milliseconds delay) {
    // The loop lets a timer go even from its own callback.
    timer_.reset();
    const pa_usec_t at = pa_rtclock_now() + static_cast<pa_usec_t>(delay.count()) * PA_USEC_PER_MSEC;
    timer_ = PaTimeEventPtr(pa_context_rttime_new(context_.get(), at, &timerFired, this),
                            PaTimeEventDeleter{pa_threaded_mainloop_get_api(mainloop_.get())});
}

void PulseRecorder::timerFired(pa_mainloop_api*, pa_time_event*, const timeval*, void* userdata) {
    auto* self = static_cast<PulseRecorder*>(userdata);
    switch (self->phase_) {
    case Phase::connecting:
        self->lose(self->connectError_.value_or(self->pulseError(
            PA_ERR_TIMEOUT, QStringLiteral("The audio server%1 did not start recording within %2 ms")
                                .arg(serverSuffix(self->server_))
                                .arg(self->attemptDeadline_.count()))));
        return;
    case Phase::waiting:
        self->retry();
        return;
    default:
        self->timer_.reset();
        return;
    }
}

void PulseRecorder::retry() {
    timer_.reset();
    // Released here rather than where the loss was noticed, which may be one of their own
    // callbacks. The old context stays until a new one exists: its clock keeps the retries going.
    stream_.reset();
    PaContextPtr fresh(pa_context_new(pa_threaded_mainloop_get_api(mainloop_.get()), "Backreel"));
    if (!fresh) {
        setTimer(recordingRetryDelay(failedAttempts_++));
        return;
    }
    context_ = std::move(fresh);
    beginAttempt();
}

void PulseRecorder::contextStateChanged(pa_context* context, void* userdata) {
    auto* self = static_cast<PulseRecorder*>(userdata);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
        if (self->phase_ != Phase::connecting) {
            return; // an attempt that has been given up
        }
        // Server events say when a default changes; sink input events when an application
        // starts or stops playing.
        const bool application = self->input_.kind == AudioInput::Kind::application;
        const auto mask = static_cast<pa_subscription_mask_t>(
            PA_SUBSCRIPTION_MASK_SERVER | (application ? PA_SUBSCRIPTION_MASK_SINK_INPUT : 0));
        const PaOperationPtr subscribed(pa_context_subscribe(context, mask, nullptr, nullptr));
        if (!subscribed) {
            self->lose(self->pulseError(pa_context_errno(context),
                                        QStringLiteral("Could not follow the default audio output")));
            return;
        }
        self->lookUpSource();
        return;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED: {
        const int code = pa_context_errno(context);
        if (self->phase_ == Phase::recording) {
            // Plain words for the user; the server's own (such as "Connection terminated") add
            // nothing, and go to the log.
            Logger::recording().info(
                QStringLiteral("[Audio] Connection to the audio server ended: %1").arg(pulseText(code)));
            self->lose(Error(QStringLiteral("The audio server went away")));
        } else {
            self->lose(self->pulseError(
                code,
                QStringLiteral("Could not connect to the audio server%1").arg(serverSuffix(self->server_))));
        }
        return;
    }
    default:
        return;
    }
}

void PulseRecorder::serverEventArrived(pa_context*, pa_subscription_event_type_t type, std::uint32_t,
                                              void* userdata) {
    auto* self = static_cast<PulseRecorder*>(userdata);
    const Phase phase = self->phase_;
    if (phase != Phase::connecting && phase != Phase::recording) {
        return;
    }
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto change = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    // A stream's volume or position changes often and says nothing about which one to record.
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER ||
        (facility == PA_SUBSCRIPTION_EVENT_SINK_INPUT && change != PA_SUBSCRIPTION_EVENT_CHANGE)) {
        self->lookUpSource();
    }
}

void PulseRecorder::streamStateChanged(pa_stream* stream, void* userdata) {
    auto* self = static_cast<PulseRecorder*>(userdata);
    if (stream != self->stream_.get()) {
        return;
    }
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY: {
        if (self->phase_ != Phase::connecting && self->phase_ != Phase::recording) {
            return;
        }
        self->consecutiveStreamFailures_ = 0;
        const pa_buffer_attr* buffer = pa_stream_get_buffer_attr(stream);
        Logger::recording().info(
            QStringLiteral("[Audio] Recording %1: %2 Hz, %3 channels, fragments of %4 bytes")
                .arg(QString::fromStdString(self->source_))
                .arg(self->format_.sampleRate)
                .arg(self->format_.channelCount)
                .arg(buffer != nullptr ? static_cast<qint64>(buffer->fragsize) : -1));
        self->recordingStarted();
        return;
    }
    case PA_STREAM_FAILED:
        self->streamFailed(self->pulseError(
            pa_context_errno(self->context_.get()),
            QStringLiteral("Could not record from %1").arg(QString::fromStdString(self->source_))));
        return;
    default:
        return;
    }
}

void PulseRecorder::streamFailed(Error error) {
    if (phase_ == Phase::connecting) {
        lose(error);
        return;
    }
    // A dead context reports itself (and fails its streams after that); nothing to add here.
    if (phase_ != Phase::recording || pa_context_get_state(context_.get()) != PA_CONTEXT_READY) {
        return;
    }
    if (++consecutiveStreamFailures_ >= kStreamAttempts) {
        lose(error);
        return;
    }
    Logger::recording().info(
        QStringLiteral("[Audio] %1; looking for the source again").arg(error.description));
    lookUpSource();
}

Error PulseRecorder::pulseError(int code, const QString& what) const {
    return Error(QStringLiteral("%1: %2").arg(what, pulseText(code)));
}

void PulseRecorder::recordingStarted() {
    const Phase was = phase_;
    if (was == Phase::connecting) {
        timer_.reset(); // the attempt's deadline
    }
    phase_ = Phase::recording;
    failedAttempts_ = 0;
    if (lossTold_) {
        lossTold_ = false;
        Logger::recording().info(QStringLiteral("[Audio] Recording again"));
        if (onState_) {
            onState_(std::nullopt);
        }
    }
    finishFirstAttempt();
}

void PulseRecorder::lose(const Error& error) {
    const Phase was = phase_;
    if (was != Phase::connecting && was != Phase::recording) {
        return; // already lost, or stopped
    }
    phase_ = Phase::waiting;
    const std::chrono::milliseconds delay = recordingRetryDelay(failedAttempts_++);
    const QString retry =
        QStringLiteral("; trying again in %1 s").arg(fixed(std::chrono::duration<double>(delay).count(), 2));
    if (!lossTold_) {
        lossTold_ = true;
        Logger::recording().error(QStringLiteral("[Audio] %1%2").arg(error.description, retry));
        if (onState_) {
            onState_(error);
        }
    } else {
        Logger::recording().debug(QStringLiteral("[Audio] %1%2").arg(error.description, retry));
    }
    setTimer(delay);
    finishFirstAttempt();
}

void PulseRecorder::finishFirstAttempt() {
    {
        std::lock_guard lock(startMutex_);
        if (firstAttemptDone_) {
            return;
        }
        firstAttemptDone_ = true;
    }
    startDecided_.notify_all();
}

} // namespace backreel
