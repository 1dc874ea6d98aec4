#pragma once

#include "platform/ReviewMedia.h"

#include <atomic>
#include <thread>

namespace backreel {

// Plays recorded sound through PulseAudio's simple API, from a thread of its own that writes it
// in small blocks, so that a stop takes effect within one block.
class PulseSoundPlayer final : public SoundPlayer {
public:
    ~PulseSoundPlayer() override;
    void play(std::vector<AudioChunk> chunks, MediaTime from) override;
    void stop() override;

private:
    void run(const std::vector<AudioChunk>& chunks, MediaTime from);

    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

class PulseSoundPlayerService final : public SoundPlayerService {
public:
    std::unique_ptr<SoundPlayer> create() override { return std::make_unique<PulseSoundPlayer>(); }
};

} // namespace backreel
