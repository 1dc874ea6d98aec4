#pragma once

#include "export/Clip.h"
#include "core/Error.h"
#include "core/log/Log.h"

#include <cstddef>
#include <QString>
#include <variant>
#include <vector>

namespace backreel {

// The index of the latest key frame at or before (last PTS - target); failing that the first key
// frame; 0 when there is none or the list is empty.
std::size_t findStartIndex(const std::vector<VideoPacket>& video, double targetSeconds, const Logger& log);

// Either the clip, or the message shown to the user.
using ClipSelection = std::variant<Clip, QString>;

// Cuts the clip out of everything the stores held at stop: video ending with the newest frame and
// starting on a key frame about targetSeconds earlier, and the sound's packets from the one before
// the packet that holds the first picture's moment to those at most 0.1 s after the last
// picture. Main thread.
ClipSelection selectClip(const std::vector<VideoPacket>& video, const std::vector<AudioPacket>& audio,
                         double targetSeconds, const Logger& log);

// The clip from the key frame at or before `from` (the first key frame when there is none) to the
// last picture at or before `to`, with its audio as selectClip() gives it. Main thread.
ClipSelection selectBetween(const std::vector<VideoPacket>& video, const std::vector<AudioPacket>& audio,
                            MediaTime from, MediaTime to, const Logger& log);

} // namespace backreel
