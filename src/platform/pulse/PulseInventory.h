#pragma once

#include "platform/AudioSource.h"

#include <chrono>
#include <string>

namespace backreel {

// Asks the server (a PulseAudio server string; empty for the usual one) for its microphones (its
// sources that are no output's monitor), the default one first, and for the applications playing
// now (their program's name, name and icon; each once, the newest stream's). Fails with the
// server's reason, or when it has not answered within the deadline. Blocks; any thread.
Expected<AudioInventory> readAudioInventory(const std::string& server, std::chrono::milliseconds deadline);

} // namespace backreel
