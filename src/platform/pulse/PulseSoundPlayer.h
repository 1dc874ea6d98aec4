#pragma once

#include "platform/AudioCodec.h"
#include "platform/ReviewMedia.h"

#include <atomic>
#include <thread>

namespace backreel {

// Plays recorded sound through PulseAudio's simple API, from a thread of its own that decodes it
// a packet at a time and writes it in small blocks, so that a stop takes effect within one block.
class PulseSoundPlayer final : public SoundPlayer {
public:
    explicit PulseSoundPlayer(std::shared_ptr<AudioCodecService> codecs)
        : codecs_(std::move(codecs)) {}
    ~PulseSoundPlayer() override;
    void play(std::vector<AudioPacket> packets, MediaTime from) override;
    void stop() override;

private:
    void run(const std::vector<AudioPacket>& packets, MediaTime from);

    const std::shared_ptr<AudioCodecService> codecs_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

class PulseSoundPlayerService final : public SoundPlayerService {
public:
    explicit PulseSoundPlayerService(std::shared_ptr<AudioCodecService> codecs)
        : codecs_(std::move(codecs)) {}
    std::unique_ptr<SoundPlayer> create() override { return std::make_unique<PulseSoundPlayer>(codecs_); }

private:
    const std::shared_ptr<AudioCodecService> codecs_;
};

} // namespace backreel
