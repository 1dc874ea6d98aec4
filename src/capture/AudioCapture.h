#pragma once

#include "capture/MediaStores.h"
#include "core/log/Log.h"
#include "platform/AudioCodec.h"
#include "platform/AudioSource.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace backreel {

// One of a recording's sounds (the system's or the microphone's): runs the audio source and, on
// the source's own thread, compresses each piece it hands over to AAC as it comes, appending the
// packets of its origin to the audio store (whose lock is held only for the append). Nothing there
// waits on another thread. A silence longer than the store holds (the sound server was gone for
// that long) starts the sound's stream anew rather than filling it. Sound that cannot start, that
// cannot be compressed, or that the source loses, leaves the picture running: the owner is told of
// the loss, and of the return, through the state handler, on the source's thread (or during
// start(), when there is no source at all).
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
    // format the stores keep, 48 kHz stereo, compressed with the codecs' encoder.
    void start(AudioService* service, std::shared_ptr<AudioCodecService> codecs, const AudioInput& input,
               StateHandler onState);
    // After it returns no piece is stored and the handler is not called again; what the encoder
    // still held is stored. Idempotent.
    void stop();

    // Pieces handed over by the source so far. Any thread.
    std::int64_t chunksIn() const { return chunksIn_.load(std::memory_order_relaxed); }

private:
    void take(const AudioView& audio);
    // Source's thread (or the owner's once the source stopped): into the store.
    void store(std::vector<AudioPacket>& packets);
    // Opens the encoder for sound of this format; false (told as a loss) when it does not open.
    bool openEncoder(const AudioView& audio);
    // Stores what the encoder still holds and lets it go; the next piece starts a stream anew.
    void endStream();
    // Ends the sound's compression for this recording and tells the loss.
    void failEncoding(const Error& error);

    const std::shared_ptr<MediaStores> stores_;
    const AudioOrigin origin_;
    const Logger logger_;
    std::atomic<std::int64_t> chunksIn_{0};
    std::unique_ptr<AudioSource> source_;
    std::shared_ptr<AudioCodecService> codecs_;
    StateHandler tell_; // logs, then tells the owner
    // The source's thread's while it runs.
    std::unique_ptr<AudioEncoder> encoder_;
    MediaTime soundEnd_; // where the last piece ended
    std::vector<AudioPacket> packets_;
    bool encoderFailed_ = false;
};

} // namespace backreel
