#pragma once

#include "core/media/AudioChunk.h"
#include "core/media/MediaTime.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace backreel {

// What a sound's packets are: AAC at this rate and channel count, with the decoder's set-up (the
// AudioSpecificConfig), which a movie's track needs.
struct AudioStreamFormat {
    std::int32_t channels = 2;
    std::int32_t sampleRate = 48000;
    std::int64_t bitRate = 192000;
    std::int32_t frameSize = 1024; // samples a packet decodes to
    std::vector<std::byte> codecConfiguration = {};

    friend bool operator==(const AudioStreamFormat&, const AudioStreamFormat&) = default;
};
using AudioStreamFormatPtr = std::shared_ptr<const AudioStreamFormat>;

// One compressed piece of a sound, as the recording keeps it. Its PTS is that of the first sample
// it decodes to, on the monotonic clock the video shares, and it lasts `duration`; decoding it
// right needs the packet before it too, whose second half it overlaps. A value: copies share the
// bytes.
struct AudioPacket {
    std::shared_ptr<const std::vector<std::byte>> data;
    MediaTime presentationTime;
    MediaTime duration;
    AudioOrigin origin = AudioOrigin::system;
    AudioStreamFormatPtr format;
    // The loudest magnitude among the samples it was made from: 0 when it is silence.
    float peak = 0;

    MediaTime endTime() const { return presentationTime + duration; }
};

// How far before a moment a sound's packets must reach for that moment to decode right: the
// packet that holds it and the one before, at 1024 samples a packet and 48 kHz.
inline constexpr MediaTime kAudioLead(2048, 48000);

// Whether the packet is needed to decode the sound from `start` on: it ends less than a packet
// before it.
inline bool reachesInto(const AudioPacket& packet, MediaTime start) {
    return packet.endTime() + packet.duration > start;
}

} // namespace backreel
