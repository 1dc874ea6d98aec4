// How a PulseRecorder finds what to record: the default output's monitor, a microphone, or the
// stream an application plays, and how it connects its record stream there.

#include "core/log/Log.h"
#include "platform/pulse/PulseAudioFormat.h"
#include "platform/pulse/PulseRecorder.h"

#include <algorithm>
#include <utility>

namespace backreel {

namespace {

const char* streamName(AudioInput::Kind kind) {
    switch (kind) {
    case AudioInput::Kind::microphone:
        return "Microphone";
    case AudioInput::Kind::application:
        return "Application sound";
    case AudioInput::Kind::everything:
        break;
    }
    return "System audio";
}

} // namespace

void PulseRecorder::lookUpSource() {
    PaOperationPtr operation;
    if (input_.kind == AudioInput::Kind::application) {
        if (listing_) {
            listAgain_ = true; // its answer may be out of date already
            return;
        }
        candidates_.clear();
        operation.reset(pa_context_get_sink_input_info_list(context_.get(), &sinkInputArrived, this));
        listing_ = operation != nullptr;
    } else {
        operation.reset(pa_context_get_server_info(context_.get(), &serverInfoArrived, this));
    }
    if (!operation) {
        streamFailed(pulseError(pa_context_errno(context_.get()),
                                QStringLiteral("Could not ask the audio server what to record")));
    }
}

void PulseRecorder::serverInfoArrived(pa_context* context, const pa_server_info* info, void* userdata) {
    auto* self = static_cast<PulseRecorder*>(userdata);
    if (self->phase_ != Phase::connecting && self->phase_ != Phase::recording) {
        return;
    }
    if (info == nullptr) {
        self->streamFailed(self->pulseError(pa_context_errno(context),
                                            QStringLiteral("Could not ask the audio server what to record")));
        return;
    }
    self->chooseFromServer(info);
}

void PulseRecorder::chooseFromServer(const pa_server_info* info) {
    const bool streamIsGood = stream_ && PA_STREAM_IS_GOOD(pa_stream_get_state(stream_.get()));
    const bool microphone = input_.kind == AudioInput::Kind::microphone;
    const char* fallback = microphone ? info->default_source_name : info->default_sink_name;
    std::string source = microphone ? input_.name : std::string();
    if (source.empty() && fallback != nullptr && *fallback != '\0') {
        source = microphone ? std::string(fallback) : monitorSourceName(fallback);
    }
    // Without an input, PulseAudio makes an output's monitor the default source: that is the
    // system's sound again, not a microphone.
    const bool none = source.empty() || (microphone && input_.name.empty() && source.ends_with(".monitor"));
    if (none) {
        if (!streamIsGood) {
            streamFailed(pulseError(PA_ERR_NOENTITY, microphone
                                                         ? QStringLiteral("There is no microphone to record")
                                                         : QStringLiteral("There is no audio output to record")));
        }
        return;
    }
    if (streamIsGood && source == source_) {
        return;
    }
    if (stream_ && source != source_) {
        Logger::recording().info(QStringLiteral("[Audio] The default changed; recording %1 instead of %2")
                                     .arg(QString::fromStdString(source), QString::fromStdString(source_)));
    }
    connectSource(source, std::nullopt);
}

void PulseRecorder::sinkInputArrived(pa_context* context, const pa_sink_input_info* info, int last,
                                     void* userdata) {
    auto* self = static_cast<PulseRecorder*>(userdata);
    if (self->phase_ != Phase::connecting && self->phase_ != Phase::recording) {
        return;
    }
    if (last != 0) {
        self->listing_ = false;
    }
    if (last < 0) {
        self->streamFailed(self->pulseError(pa_context_errno(context),
                                            QStringLiteral("Could not list the applications playing")));
        return;
    }
    if (last > 0) {
        if (std::exchange(self->listAgain_, false)) {
            self->lookUpSource();
            return;
        }
        self->chooseApplicationStream();
        return;
    }
    const char* binary =
        info != nullptr ? pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_BINARY) : nullptr;
    if (binary != nullptr && self->input_.name == binary) {
        self->candidates_.emplace_back(info->index, info->sink);
    }
}

void PulseRecorder::chooseApplicationStream() {
    if (candidates_.empty()) {
        waitForApplication();
        return;
    }
    // The newest stream: the server numbers them in the order they came.
    const auto [sinkInput, sink] = *std::max_element(candidates_.begin(), candidates_.end());
    const bool streamIsGood = stream_ && PA_STREAM_IS_GOOD(pa_stream_get_state(stream_.get()));
    if (streamIsGood && sinkInput_ == sinkInput) {
        return;
    }
    sinkInput_ = sinkInput;
    sink_ = sink;
    // The stream is recorded from the monitor of the output it plays on.
    const PaOperationPtr operation(pa_context_get_sink_info_by_index(context_.get(), sink, &sinkArrived, this));
    if (!operation) {
        streamFailed(pulseError(pa_context_errno(context_.get()),
                                QStringLiteral("Could not ask the audio server where %1 plays")
                                    .arg(QString::fromStdString(input_.name))));
    }
}

void PulseRecorder::sinkArrived(pa_context* context, const pa_sink_info* info, int last, void* userdata) {
    auto* self = static_cast<PulseRecorder*>(userdata);
    if (self->phase_ != Phase::connecting && self->phase_ != Phase::recording) {
        return;
    }
    if (last < 0) {
        // The output went between the two questions: a failure like a stream's, which looks again.
        self->streamFailed(
            self->pulseError(pa_context_errno(context), QStringLiteral("The stream's output is gone")));
        return;
    }
    // Only the answer about the output of the stream chosen last counts.
    if (last != 0 || info == nullptr || !self->sinkInput_ || info->index != self->sink_) {
        return;
    }
    Logger::recording().info(QStringLiteral("[Audio] Recording what %1 plays (stream %2)")
                                 .arg(QString::fromStdString(self->input_.name))
                                 .arg(*self->sinkInput_));
    self->connectSource(std::to_string(info->monitor_source), self->sinkInput_);
}

void PulseRecorder::waitForApplication() {
    if (stream_ || phase_ == Phase::connecting) {
        Logger::recording().info(QStringLiteral("[Audio] %1 plays nothing now; waiting for it")
                                     .arg(QString::fromStdString(input_.name)));
    }
    stream_.reset();
    sinkInput_.reset();
    source_.clear();
    recordingStarted();
}

void PulseRecorder::connectSource(const std::string& source, std::optional<std::uint32_t> sinkInput) {
    // Releasing the old stream here is safe: this runs in a context callback, never in one of
    // that stream's own.
    stream_.reset();
    source_ = source;
    const QString failure = QStringLiteral("Could not record from %1").arg(QString::fromStdString(source));

    pa_sample_spec sampleFormat{};
    sampleFormat.format = PA_SAMPLE_FLOAT32LE;
    sampleFormat.rate = static_cast<std::uint32_t>(format_.sampleRate);
    sampleFormat.channels = static_cast<std::uint8_t>(format_.channelCount);
    pa_channel_map channels{};
    pa_channel_map_init_extend(&channels, sampleFormat.channels, PA_CHANNEL_MAP_DEFAULT);

    PaStreamPtr stream(pa_stream_new(context_.get(), streamName(input_.kind), &sampleFormat, &channels));
    if (!stream) {
        streamFailed(pulseError(pa_context_errno(context_.get()), failure));
        return;
    }
    if (sinkInput && pa_stream_set_monitor_stream(stream.get(), *sinkInput) < 0) {
        streamFailed(pulseError(pa_context_errno(context_.get()), failure));
        return;
    }
    pa_stream_set_state_callback(stream.get(), &streamStateChanged, this);
    pa_stream_set_read_callback(stream.get(), &streamReadable, this);

    pa_buffer_attr buffer{};
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.tlength = static_cast<std::uint32_t>(-1);
    buffer.prebuf = static_cast<std::uint32_t>(-1);
    buffer.minreq = static_cast<std::uint32_t>(-1);
    buffer.fragsize = byteCountForDuration(format_, kAudioFragmentDuration);
    // Timing updates tell how long the server holds audio before we get it. DONT_MOVE: when the
    // source goes away the server would otherwise move us to whatever source it likes (a
    // microphone in place of a monitor, or the other way round); we would rather fail and look
    // for the source again.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY |
                                                      PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(stream.get(), source.c_str(), &buffer, flags) < 0) {
        streamFailed(pulseError(pa_context_errno(context_.get()), failure));
        return;
    }
    stream_ = std::move(stream);
}

} // namespace backreel
