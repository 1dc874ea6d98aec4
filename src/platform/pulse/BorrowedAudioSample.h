#pragma once

#include "platform/media/MediaSample.h"

#include <cstddef>
#include <span>

namespace backreel {

// An audio sample over interleaved frames that belong to someone else (the audio server's
// memory): one AudioBuffer pointing straight at the bytes, and a list block that wraps them
// without owning them. Nothing is copied, so the sample's bytes are valid only as long as the
// lender keeps them, which for the PulseAudio source is the duration of one handler call. A
// consumer that keeps audio copies it (deepCopyAudioSample does).
//
// Null unless the format is an audio format; a partial frame at the end is left out. Any thread.
MediaSamplePtr makeBorrowedAudioSample(const FormatDescriptionPtr& format, std::span<const std::byte> bytes,
                                       MediaTime presentationTime);

} // namespace backreel
