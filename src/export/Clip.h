#pragma once

#include "core/media/AudioPacket.h"
#include "core/media/VideoPacket.h"

#include <QString>
#include <vector>

namespace backreel {

// How a clip's microphone is written: in a track of its own after the system sound's, or mixed
// into it.
enum class MicrophoneTrack { separate, mixed };

// A moment the user marked while buffering (the newest picture's time then), with a label or none.
struct Marker {
    MediaTime at;
    QString label;

    friend bool operator==(const Marker&, const Marker&) = default;
};

// The part of the buffer that is saved: video starting on a key frame and the audio around it.
struct Clip {
    std::vector<VideoPacket> video;
    std::vector<AudioPacket> audio;
    MediaTime startPTS; // PTS of the first video packet
    MediaTime endPTS;   // PTS of the last video packet
    MicrophoneTrack microphone = MicrophoneTrack::separate;
    std::vector<Marker> markers = {}; // the clip's, oldest first: its chapters
};

} // namespace backreel
