#pragma once

#include "platform/AudioSource.h"

namespace backreel {

// Sound from PulseAudio (or PipeWire's PulseAudio server): every source, and every inventory,
// connects to the usual server (PULSE_SERVER, then the client configuration). Any thread.
class PulseAudioService final : public AudioService {
public:
    std::unique_ptr<AudioSource> makeSource(const AudioInput& input) override;
    Expected<AudioInventory> inventory() override;
};

} // namespace backreel
