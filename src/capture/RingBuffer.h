#pragma once

#include "platform/media/MediaSample.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace backreel {

// A time-bounded store of samples, oldest first. Every append drops the oldest samples until the
// span from the first to the last sample's PTS is no longer than maxDuration (a span equal to the
// capacity stays). Nothing is copied: the store holds references.
//
// Thread contract: every member may be called from any thread; each takes the store's own lock
// for its whole duration and calls nothing outside the store while holding it.
class SampleStore {
public:
    static constexpr double kInitialMaxDuration = 11.0;

    SampleStore(const SampleStore&) = delete;
    SampleStore& operator=(const SampleStore&) = delete;

    void append(MediaSamplePtr sample);
    std::size_t count() const;
    std::vector<MediaSamplePtr> snapshot() const;
    void clear();
    double maxDuration() const;
    // Replaces the capacity; the next append trims to it.
    void setMaxDuration(double seconds);

protected:
    SampleStore() = default;
    ~SampleStore() = default;

private:
    mutable std::mutex lock_;
    std::deque<MediaSamplePtr> samples_;
    double maxDuration_ = kInitialMaxDuration;
};

// Destroys a store on the main thread, wherever its last reference went away.
void destroyOnMainThread(std::function<void()> destroy);

// The compressed video samples, appended by the compression output callback.
class RingBuffer final : public SampleStore {
public:
    static std::shared_ptr<RingBuffer> create() {
        return std::shared_ptr<RingBuffer>(new RingBuffer(),
                                           [](RingBuffer* store) { destroyOnMainThread([store] { delete store; }); });
    }

private:
    RingBuffer() = default;
};

// The copied system-audio samples, appended by the capture delegate on the audio queue.
class AudioRingBuffer final : public SampleStore {
public:
    static std::shared_ptr<AudioRingBuffer> create() {
        return std::shared_ptr<AudioRingBuffer>(
            new AudioRingBuffer(), [](AudioRingBuffer* store) { destroyOnMainThread([store] { delete store; }); });
    }

private:
    AudioRingBuffer() = default;
};

} // namespace backreel
