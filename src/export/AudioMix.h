#pragma once

#include "core/media/AudioChunk.h"

#include <vector>

namespace backreel {

// The clip's sound as one track: every chunk (of any origin) added on one time line, sample by
// sample and clipped to ±1, in chunks of kMixFrames frames of the system's origin, oldest first.
// Each chunk lands at the frame nearest its time stamp, counted from the earliest one; a block
// where nothing sounds (a gap in both) is not made, and the mix's encoder fills it with silence;
// the last block ends with the last sound.
// The chunks must share one format, as the decoders give them; pure, any thread.
std::vector<AudioChunk> mixAudio(const std::vector<AudioChunk>& audio);

inline constexpr std::int64_t kMixFrames = 1024;

} // namespace backreel
