#pragma once

#include "core/Error.h"
#include "core/media/AudioChunk.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace backreel {

struct AudioFormat {
    std::int32_t sampleRate = 48000;
    std::int32_t channelCount = 2;
};

// Records what the desktop plays (the default output's monitor), following changes of the
// default output, and keeps at it while the audio server is away.
//
// Thread contract: start() and stop() on one thread (the recording's owner, the main thread); the handlers
// run on the source's own thread, one call at a time. The audio it is given (interleaved float32
// frames) may live in the audio server's memory and is valid only during the call, so a handler
// that keeps audio copies it. PTS are on the monotonic clock, like screen frames.
class AudioSource {
public:
    using AudioHandler = std::function<void(const AudioView& audio)>;
    // Told when the recording is lost, with the reason, and when it records again, with none.
    // The calls alternate, a loss first; nothing is told while all goes well.
    using StateHandler = std::function<void(const std::optional<Error>& lost)>;

    virtual ~AudioSource() = default;

    // Starts recording and keeps recording until stop(). When the audio server cannot be reached,
    // goes away or has no output to record, the state handler is told of the loss and the source
    // tries again, less and less often (after a quarter of a second at first, then every few
    // seconds), until it records again and says so. Audio after a loss is on the same clock as
    // before it: the time stamps leave a gap as long as the loss.
    //
    // Returns once the first attempt has recorded or failed; a failed first attempt has been told
    // to the state handler by then, and the retries go on. Fails only when the source cannot
    // record at all (a format it does not take, already started, no resources for a thread), and
    // then no handler runs.
    virtual MaybeError start(const AudioFormat& format, AudioHandler onAudio, StateHandler onState) = 0;
    // Ends the recording and any retry that is pending, promptly. After it returns no handler
    // runs again. Idempotent; also done by the destructor.
    virtual void stop() = 0;
};

class AudioService {
public:
    virtual ~AudioService() = default;
    virtual std::unique_ptr<AudioSource> makeSource() = 0;
};

} // namespace backreel
