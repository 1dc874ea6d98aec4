#pragma once

#include "core/media/AudioChunk.h"
#include "core/media/VideoPacket.h"

#include <vector>

namespace backreel {

// How a clip's microphone is written: in a track of its own after the system sound's, or mixed
// into it.
enum class MicrophoneTrack { separate, mixed };

// The part of the buffer that is saved: video starting on a key frame and the audio around it.
struct Clip {
    std::vector<VideoPacket> video;
    std::vector<AudioChunk> audio;
    MediaTime startPTS; // PTS of the first video packet
    MediaTime endPTS;   // PTS of the last video packet
    MicrophoneTrack microphone = MicrophoneTrack::separate;
};

} // namespace backreel
