#include "platform/pulse/PulseSoundPlayer.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <pthread.h>
#include <pulse/simple.h>

namespace backreel {

namespace {
struct PaSimpleDeleter {
    void operator()(pa_simple* simple) const { pa_simple_free(simple); }
};
using PaSimplePtr = std::unique_ptr<pa_simple, PaSimpleDeleter>;

// What one write hands over, and what the server keeps queued: short, so that the picture and the
// sound start together and a stop is heard at once.
constexpr double kBlockSeconds = 0.02;
constexpr double kQueuedSeconds = 0.05;
} // namespace

PulseSoundPlayer::~PulseSoundPlayer() {
    stop();
}

void PulseSoundPlayer::play(std::vector<AudioPacket> packets, MediaTime from) {
    stop();
    if (packets.empty() || !packets.front().format || packets.front().format->channels <= 0 ||
        packets.front().format->sampleRate <= 0 || !codecs_) {
        return;
    }
    stopping_ = false;
    thread_ = std::thread([this, packets = std::move(packets), from] {
        pthread_setname_np(pthread_self(), "Review sound");
        run(packets, from);
    });
}

void PulseSoundPlayer::stop() {
    stopping_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

void PulseSoundPlayer::run(const std::vector<AudioPacket>& packets, MediaTime from) {
    const AudioStreamFormat& stream = *packets.front().format;
    Expected<std::unique_ptr<AudioDecoder>> decoder = codecs_->decoder(stream);
    if (!decoder) {
        return; // the review plays without sound
    }
    const std::int32_t channels = stream.channels;
    const std::int32_t rate = stream.sampleRate;
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, static_cast<std::uint32_t>(rate),
                              static_cast<std::uint8_t>(channels)};
    const auto bytesPerFrame = static_cast<std::size_t>(channels) * sizeof(float);
    const auto blockFrames = static_cast<std::size_t>(std::lround(rate * kBlockSeconds));
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(std::lround(rate * kQueuedSeconds)) *
                         static_cast<std::uint32_t>(bytesPerFrame);
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(-1);
    int error = 0;
    const PaSimplePtr output(pa_simple_new(nullptr, "Backreel", PA_STREAM_PLAYBACK, nullptr, "Review", &format,
                                           nullptr, &attributes, &error));
    if (!output) {
        return; // no sound server: the review plays without sound
    }
    // Writes frames in blocks, until done or stopped.
    const auto write = [&](const float* samples, std::size_t frames) {
        while (frames > 0 && !stopping_) {
            const std::size_t block = std::min(frames, blockFrames);
            if (pa_simple_write(output.get(), samples, block * bytesPerFrame, &error) < 0) {
                return false;
            }
            samples += block * static_cast<std::size_t>(channels);
            frames -= block;
        }
        return !stopping_;
    };
    const std::vector<float> silence(blockFrames * static_cast<std::size_t>(channels), 0.0F);
    double cursor = from.seconds(); // where the sound written so far ends
    for (const AudioPacket& packet : packets) {
        if (stopping_) {
            break;
        }
        if (packet.origin != packets.front().origin || !reachesInto(packet, from)) {
            continue;
        }
        Expected<AudioChunk> decoded = decoder.value()->decode(packet);
        if (!decoded) {
            continue; // a packet that does not decode is a moment of silence
        }
        const AudioChunk& chunk = decoded.value();
        const double start = chunk.presentationTime.seconds();
        const double end = start + static_cast<double>(chunk.frameCount()) / rate;
        if (chunk.channels != channels || chunk.sampleRate != rate || end <= cursor) {
            continue;
        }
        // Play starts within a decoded packet, and packets may overlap by a sample: no gap then.
        for (auto gap = static_cast<std::size_t>(std::max(0L, std::lround((start - cursor) * rate))); gap > 0;) {
            const std::size_t block = std::min(gap, blockFrames);
            if (!write(silence.data(), block)) {
                break;
            }
            gap -= block;
        }
        const auto skipped = static_cast<std::size_t>(std::max(0L, std::lround((cursor - start) * rate)));
        const auto frames = static_cast<std::size_t>(chunk.frameCount());
        if (skipped < frames &&
            !write(chunk.view().data() + skipped * static_cast<std::size_t>(channels), frames - skipped)) {
            break;
        }
        cursor = std::max(cursor, end);
    }
    if (stopping_) {
        pa_simple_flush(output.get(), &error);
    } else {
        pa_simple_drain(output.get(), &error);
    }
}

} // namespace backreel
