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

void PulseSoundPlayer::play(std::vector<AudioChunk> chunks, MediaTime from) {
    stop();
    if (chunks.empty() || chunks.front().channels <= 0 || chunks.front().sampleRate <= 0) {
        return;
    }
    stopping_ = false;
    thread_ = std::thread([this, chunks = std::move(chunks), from] {
        pthread_setname_np(pthread_self(), "Review sound");
        run(chunks, from);
    });
}

void PulseSoundPlayer::stop() {
    stopping_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

void PulseSoundPlayer::run(const std::vector<AudioChunk>& chunks, MediaTime from) {
    const std::int32_t channels = chunks.front().channels;
    const std::int32_t rate = chunks.front().sampleRate;
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
    for (const AudioChunk& chunk : chunks) {
        const double start = chunk.presentationTime.seconds();
        const double end = start + static_cast<double>(chunk.frameCount()) / rate;
        if (chunk.channels != channels || chunk.sampleRate != rate || end <= cursor) {
            continue;
        }
        // Play starts within a chunk, and chunks may overlap by a sample: no gap then.
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
