#pragma once

#include "core/Error.h"
#include "core/media/AudioChunk.h"
#include "core/media/AudioPacket.h"

#include <memory>
#include <vector>

namespace backreel {

// Compresses one sound to AAC as it comes. The first piece anchors the sound at its own time;
// after it pieces are laid end to end, a gap longer than the time stamps' jitter filled with
// silence and an overlap dropped, so the packets run on without a hole. A piece in another format
// than the one before is converted to the stream's. One thread at a time.
class AudioEncoder {
public:
    virtual ~AudioEncoder() = default;
    // Appends the packets this piece completes (none until a packet's worth is in).
    virtual MaybeError encode(const AudioView& sound, std::vector<AudioPacket>& out) = 0;
    // Appends what is left, the last packet shorter; nothing is taken after it.
    virtual MaybeError flush(std::vector<AudioPacket>& out) = 0;
    virtual AudioStreamFormatPtr format() const = 0;
};

// Turns one sound's packets back into sound. One thread at a time.
class AudioDecoder {
public:
    virtual ~AudioDecoder() = default;
    // The packet's samples, interleaved float at its time; a packet that only primes the decoder
    // (the first one) decodes too, to what its overlap alone gives.
    virtual Expected<AudioChunk> decode(const AudioPacket& packet) = 0;
};

class AudioCodecService {
public:
    virtual ~AudioCodecService() = default;
    // An encoder of sound of this origin to AAC at the format's rate, channels and bit rate.
    virtual Expected<std::unique_ptr<AudioEncoder>> encoder(const AudioStreamFormat& format,
                                                            AudioOrigin origin) = 0;
    // A decoder for packets of this format.
    virtual Expected<std::unique_ptr<AudioDecoder>> decoder(const AudioStreamFormat& format) = 0;
};

} // namespace backreel
