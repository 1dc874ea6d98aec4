#include "platform/pulse/PulseAudioService.h"

#include "platform/pulse/PulseAudioSource.h"

namespace backreel {

std::unique_ptr<AudioSource> PulseAudioService::makeSource() {
    return std::make_unique<PulseAudioSource>();
}

} // namespace backreel
