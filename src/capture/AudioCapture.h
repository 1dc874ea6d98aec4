#pragma once

#include "capture/MediaStores.h"
#include "core/log/Log.h"
#include "platform/AudioSource.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace backreel {

// One of a recording's sounds (the system's or the microphone's): runs the audio source and, on
// the source's own thread, copies each piece it hands over into an AudioChunk of its origin,
// appended to the audio store (whose lock is held only for the
// append). Nothing there waits on another thread. Sound that cannot start, or that the source
// loses, leaves the picture running: the owner is told of the loss, and of the return, through
// the state handler, on the source's thread (or during start(), when there is no source at all).
//
// Thread contract: start(), stop() and the destructor on the owner's thread (the main thread).
class AudioCapture {
public:
    using StateHandler = std::function<void(const std::optional<Error>& lost)>;

    AudioCapture(std::shared_ptr<MediaStores> stores, AudioOrigin origin, Logger logger);
    ~AudioCapture();
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    // Starts a source of the service for the input (no service: no sound, told as a loss) in the
    // format the stores keep: 48 kHz stereo.
    void start(AudioService* service, const AudioInput& input, StateHandler onState);
    // After it returns no piece is stored and the handler is not called again. Idempotent.
    void stop();

    // Pieces handed over by the source so far. Any thread.
    std::int64_t chunksIn() const { return chunksIn_.load(std::memory_order_relaxed); }

private:
    void take(const AudioView& audio);

    const std::shared_ptr<MediaStores> stores_;
    const AudioOrigin origin_;
    const Logger logger_;
    std::atomic<std::int64_t> chunksIn_{0};
    std::unique_ptr<AudioSource> source_;
};

} // namespace backreel
