#pragma once

#include "platform/SystemAudio.h"

namespace backreel {

// System audio from PulseAudio (or PipeWire's PulseAudio server): every source connects to the
// usual server (PULSE_SERVER, then the client configuration) when it starts. Any thread.
class PulseAudioService final : public SystemAudioService {
public:
    std::unique_ptr<SystemAudioSource> makeSource() override;
};

} // namespace backreel
