#pragma once

#include "platform/AudioCodec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace backreel {

// A codec that keeps each piece of sound as one packet of its own float samples, at the piece's
// time and without delay: the stores and saves see packets, the tests count them as they
// delivered them.
class SyntheticAudioCodecService final : public AudioCodecService {
public:
    Expected<std::unique_ptr<AudioEncoder>> encoder(const AudioStreamFormat& format,
                                                    AudioOrigin origin) override {
        return std::unique_ptr<AudioEncoder>(std::make_unique<Encoder>(format, origin));
    }
    Expected<std::unique_ptr<AudioDecoder>> decoder(const AudioStreamFormat&) override {
        return std::unique_ptr<AudioDecoder>(std::make_unique<Decoder>());
    }

private:
    class Encoder final : public AudioEncoder {
    public:
        Encoder(const AudioStreamFormat& format, AudioOrigin origin)
            : format_(std::make_shared<AudioStreamFormat>(format))
            , origin_(origin) {}
        MaybeError encode(const AudioView& sound, std::vector<AudioPacket>& out) override {
            const auto* bytes = reinterpret_cast<const std::byte*>(sound.samples.data());
            float peak = 0;
            for (const float sample : sound.samples) {
                peak = std::max(peak, std::fabs(sample));
            }
            out.push_back(AudioPacket{
                std::make_shared<const std::vector<std::byte>>(bytes, bytes + sound.samples.size_bytes()),
                sound.presentationTime, MediaTime(sound.frameCount(), sound.sampleRate), origin_, format_,
                peak});
            return std::nullopt;
        }
        MaybeError flush(std::vector<AudioPacket>&) override { return std::nullopt; }
        AudioStreamFormatPtr format() const override { return format_; }

    private:
        AudioStreamFormatPtr format_;
        AudioOrigin origin_;
    };
    class Decoder final : public AudioDecoder {
    public:
        Expected<AudioChunk> decode(const AudioPacket& packet) override {
            auto samples = std::make_shared<std::vector<float>>(packet.data->size() / sizeof(float));
            std::memcpy(samples->data(), packet.data->data(), samples->size() * sizeof(float));
            return AudioChunk{std::move(samples), packet.format->channels, packet.format->sampleRate,
                              packet.presentationTime, packet.origin};
        }
    };
};

} // namespace backreel
