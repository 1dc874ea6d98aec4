// How a PulseRecorder reads what the server recorded: each fragment, as it arrives, is
// placed on the monotonic clock and handed to the audio handler.

#include "core/log/Log.h"
#include "platform/pulse/PulseAudioFormat.h"
#include "platform/pulse/PulseRecorder.h"

#include <algorithm>

namespace backreel {

void PulseRecorder::streamReadable(pa_stream* stream, std::size_t, void* userdata) {
    auto* self = static_cast<PulseRecorder*>(userdata);
    if (stream == self->stream_.get()) {
        self->drain(stream);
    }
}

void PulseRecorder::drain(pa_stream* stream) {
    for (;;) {
        const void* data = nullptr;
        std::size_t length = 0;
        if (pa_stream_peek(stream, &data, &length) < 0) {
            lose(pulseError(pa_context_errno(context_.get()),
                            QStringLiteral("Could not read the recorded audio")));
            return;
        }
        if (length == 0) {
            return; // nothing queued, and nothing to drop
        }
        if (phase_ == Phase::recording) {
            deliver(stream, data, length);
        }
        pa_stream_drop(stream);
    }
}

void PulseRecorder::deliver(pa_stream* stream, const void* data, std::size_t length) {
    const std::int64_t frames = sampler_.frameCount(length);
    if (frames == 0) {
        return;
    }
    const std::optional<AudioView> audio = sampler_.audio(data, length, estimateCaptureStart(stream, frames));
    if (sampler_.lastPlacement().reanchored) {
        Logger::recording().debug(
            QStringLiteral("[Audio] Timeline re-anchored, drift %1 ms")
                .arg(fixed(1000.0 * static_cast<double>(sampler_.lastPlacement().drift) / format_.sampleRate,
                           1)));
    }
    if (audio && onAudio_) {
        onAudio_(*audio);
    }
}

std::int64_t PulseRecorder::estimateCaptureStart(pa_stream* stream, std::int64_t frames) const {
    const std::int64_t now = monotonicNowFrames(format_.sampleRate);
    // Everything queued for us, this fragment first; we drain the queue as soon as audio arrives,
    // so its newest frame left the server just now.
    const std::size_t readable = pa_stream_readable_size(stream);
    const std::int64_t queued =
        readable == static_cast<std::size_t>(-1) ? frames : std::max(frames, sampler_.frameCount(readable));
    // The server's own delay before audio reaches us: the source's latency and the transport,
    // from the last timing update (about every 100 ms). Not pa_stream_get_latency(): its
    // interpolation starts from a timing update taken before any audio flowed and puts the first
    // fragments ~10 ms off, which the timeline would then keep. Nor do we take off the sink's
    // latency (when the audio is heard rather than rendered): block-based sinks such as the null
    // sink report it as a saw-tooth, which would anchor the timeline at a random offset.
    std::uint64_t serverDelay = 0;
    if (const pa_timing_info* timing = pa_stream_get_timing_info(stream)) {
        serverDelay = timing->source_usec + timing->transport_usec;
    }
    return estimateFirstFrameTime(now, queued, serverDelay, format_.sampleRate);
}

} // namespace backreel
