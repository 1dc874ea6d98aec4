#pragma once

#include "export/Clip.h"

#include <memory>
#include <vector>

namespace backreel {

// The buffer as it was when a review began: its packets and sound (shared with the stores, not
// copied) and its markers. While it lives it counts against the memory limit of the recording it
// was taken from; letting it go lets that go.
struct ReviewSnapshot {
    std::vector<VideoPacket> video;
    std::vector<AudioPacket> audio;
    std::vector<Marker> markers;
    std::shared_ptr<void> held;
};

} // namespace backreel
