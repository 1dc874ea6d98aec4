#pragma once

#include "platform/AudioCodec.h"

namespace backreel {

// AAC with FFmpeg's native encoder and decoder. The encoder (FfmpegAudioEncoder underneath) counts
// its stream from the first piece's time: each packet is stamped with where the sound it decodes
// to starts, the encoder's priming packet a packet's length before the first piece, and carries the
// loudest magnitude of its samples. Packets hold a copy of their bytes, exactly as many as there
// are. The decoder gives interleaved float, one chunk per packet. Any thread; each encoder or
// decoder one thread at a time.
class FfmpegAudioCodecService final : public AudioCodecService {
public:
    Expected<std::unique_ptr<AudioEncoder>> encoder(const AudioStreamFormat& format,
                                                    AudioOrigin origin) override;
    Expected<std::unique_ptr<AudioDecoder>> decoder(const AudioStreamFormat& format) override;
};

} // namespace backreel
