#pragma once

#include "platform/Error.h"
#include "platform/media/AudioChunk.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace backreel {

struct SystemAudioFormat {
    std::int32_t sampleRate = 48000;
    std::int32_t channelCount = 2;
};

// Records what the desktop plays (the default output's monitor), following changes of the
// default output.
//
// Thread contract: start() and stop() on one thread (the capture stream's owner); the handler
// runs on the source's own thread, one call at a time. The audio it is given (interleaved float32
// frames) may live in the audio server's memory and is valid only during the call, so a handler
// that keeps audio copies it. PTS are on the monotonic clock, like screen frames.
class SystemAudioSource {
public:
    using AudioHandler = std::function<void(const AudioView& audio)>;
    // Told once when recording ends by itself (the server went away), on the source's thread.
    using FailureHandler = std::function<void(const Error& error)>;

    virtual ~SystemAudioSource() = default;

    // Connects and starts recording; fails with the audio server's own message.
    virtual MaybeError start(const SystemAudioFormat& format, AudioHandler onAudio,
                             FailureHandler onFailure) = 0;
    // After it returns no handler runs again. Idempotent; also done by the destructor.
    virtual void stop() = 0;
};

class SystemAudioService {
public:
    virtual ~SystemAudioService() = default;
    virtual std::unique_ptr<SystemAudioSource> makeSource() = 0;
};

} // namespace backreel
