#pragma once

#include "platform/AudioSource.h"

namespace backreel {

// System audio from PulseAudio (or PipeWire's PulseAudio server): every source connects to the
// usual server (PULSE_SERVER, then the client configuration) when it starts. Any thread.
class PulseAudioService final : public AudioService {
public:
    std::unique_ptr<AudioSource> makeSource() override;
};

} // namespace backreel
