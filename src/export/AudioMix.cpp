#include "export/AudioMix.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace backreel {

std::vector<AudioChunk> mixAudio(const std::vector<AudioChunk>& audio) {
    std::vector<const AudioChunk*> order;
    for (const AudioChunk& chunk : audio) {
        if (chunk.frameCount() > 0 && chunk.presentationTime.isValid()) {
            order.push_back(&chunk);
        }
    }
    if (order.empty()) {
        return {};
    }
    std::stable_sort(order.begin(), order.end(), [](const AudioChunk* a, const AudioChunk* b) {
        return a->presentationTime < b->presentationTime;
    });
    const std::int32_t channels = order.front()->channels;
    const std::int32_t rate = order.front()->sampleRate;
    const MediaTime start = order.front()->presentationTime;

    std::vector<AudioChunk> mixed;
    // Frames from `windowStart` on, summed so far; blocks are made once no later chunk reaches them.
    std::int64_t windowStart = 0;
    std::vector<float> window;
    std::vector<bool> covered; // per block of the window: whether any chunk sounded there
    const auto emitBefore = [&](std::int64_t frame) {
        while (!covered.empty() && windowStart + kMixFrames <= frame) {
            const std::int64_t frames = std::min<std::int64_t>(
                kMixFrames, static_cast<std::int64_t>(window.size()) / channels);
            const auto values = static_cast<std::ptrdiff_t>(frames * channels);
            if (covered.front()) {
                auto samples = std::make_shared<std::vector<float>>(window.begin(), window.begin() + values);
                for (float& sample : *samples) {
                    sample = std::clamp(sample, -1.0f, 1.0f);
                }
                mixed.push_back(AudioChunk{std::move(samples), channels, rate,
                                           start + MediaTime(windowStart, rate), AudioOrigin::system});
            }
            window.erase(window.begin(), window.begin() + values);
            covered.erase(covered.begin());
            windowStart += kMixFrames;
        }
    };
    for (const AudioChunk* chunk : order) {
        const double seconds = (chunk->presentationTime - start).seconds();
        const auto offset = static_cast<std::int64_t>(std::llround(seconds * rate));
        emitBefore(offset);
        if (covered.empty()) {
            // Nothing pending: the window starts at the block this chunk begins in.
            windowStart = offset - offset % kMixFrames;
        }
        const std::int64_t end = offset + chunk->frameCount();
        const auto blocks = static_cast<std::size_t>((end - windowStart + kMixFrames - 1) / kMixFrames);
        window.resize(std::max(window.size(), blocks * static_cast<std::size_t>(kMixFrames * channels)), 0.0f);
        covered.resize(std::max(covered.size(), blocks), false);
        for (std::int64_t frame = offset; frame < end; frame += kMixFrames - (frame - windowStart) % kMixFrames) {
            covered[static_cast<std::size_t>((frame - windowStart) / kMixFrames)] = true;
        }
        const std::span<const float> samples = chunk->view();
        const auto first = static_cast<std::size_t>((offset - windowStart) * channels);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            window[first + i] += samples[i];
        }
    }
    // The last block ends where the sound does, not on a block's edge.
    std::int64_t lastFrame = windowStart;
    for (const AudioChunk* chunk : order) {
        const auto offset = static_cast<std::int64_t>(
            std::llround((chunk->presentationTime - start).seconds() * rate));
        lastFrame = std::max(lastFrame, offset + chunk->frameCount());
    }
    window.resize(static_cast<std::size_t>((lastFrame - windowStart) * channels));
    emitBefore(std::numeric_limits<std::int64_t>::max() - kMixFrames);
    return mixed;
}

} // namespace backreel
