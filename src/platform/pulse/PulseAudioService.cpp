#include "platform/pulse/PulseAudioService.h"

#include "platform/pulse/PulseAudioSource.h"
#include "platform/pulse/PulseInventory.h"

namespace backreel {

std::unique_ptr<AudioSource> PulseAudioService::makeSource(const AudioInput& input) {
    return std::make_unique<PulseAudioSource>(std::string(), input);
}

Expected<AudioInventory> PulseAudioService::inventory() {
    return readAudioInventory(std::string(), std::chrono::milliseconds(1000));
}

} // namespace backreel
