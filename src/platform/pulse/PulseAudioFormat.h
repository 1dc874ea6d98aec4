#pragma once

#include "core/Error.h"
#include "platform/AudioSource.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace backreel {

// How the PulseAudio backend records a AudioFormat: interleaved 32-bit float frames. Pure
// functions over plain values; any thread.

inline constexpr std::int32_t kMaximumSystemAudioChannels = 8;
// PulseAudio's own limit (PA_RATE_MAX).
inline constexpr std::int32_t kMaximumSystemAudioRate = 384000;

// None when the format can be recorded; otherwise an error that says what is wrong with it.
MaybeError checkAudioFormat(const AudioFormat& format);

// The bytes of one frame: one float per channel. The format must have passed the check.
std::uint32_t bytesPerFrame(const AudioFormat& format);

// The bytes of whole frames closest to the given duration, never less than one frame.
std::uint32_t byteCountForDuration(const AudioFormat& format, std::chrono::microseconds duration);

// The source that carries what a sink plays.
std::string monitorSourceName(std::string_view sinkName);

} // namespace backreel
