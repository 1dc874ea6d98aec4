#pragma once

#include "platform/media/AudioChunk.h"
#include "platform/media/VideoPacket.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace backreel {

// A time-bounded store of timed values (video packets or audio chunks), oldest first. Every
// append drops the oldest entries until the span from the first to the last entry's PTS is no
// longer than maxDuration (a span equal to the capacity stays). An entry without a valid PTS at
// the front is dropped once the newest has one, so it can never stop the trimming. Entries are
// values that share their bytes: nothing is copied.
//
// Thread contract: every member may be called from any thread; each takes the store's own lock
// for its whole duration and calls nothing outside the store while holding it.
template <typename T> class TimedStore {
public:
    static constexpr double kInitialMaxDuration = 11.0;

    // Shared by the recording session, the encoder's output and the capture delegate; whichever
    // lets go last frees it, on its own thread.
    static std::shared_ptr<TimedStore> create() { return std::shared_ptr<TimedStore>(new TimedStore()); }

    TimedStore(const TimedStore&) = delete;
    TimedStore& operator=(const TimedStore&) = delete;

    void append(T entry) {
        std::lock_guard guard(lock_);
        entries_.push_back(std::move(entry));
        while (entries_.size() >= 2) {
            const MediaTime first = entries_.front().presentationTime;
            const MediaTime last = entries_.back().presentationTime;
            if (!first.isValid() && last.isValid()) {
                entries_.pop_front();
                continue;
            }
            // Strictly greater only: a span equal to the capacity stays; NaN and negative spans stop.
            if (maxDuration_ < subtract(last, first).seconds()) {
                entries_.pop_front();
                continue;
            }
            break;
        }
    }
    std::size_t count() const {
        std::lock_guard guard(lock_);
        return entries_.size();
    }
    std::vector<T> snapshot() const {
        std::lock_guard guard(lock_);
        return {entries_.begin(), entries_.end()};
    }
    void clear() {
        std::lock_guard guard(lock_);
        entries_.clear();
    }
    double maxDuration() const {
        std::lock_guard guard(lock_);
        return maxDuration_;
    }
    // Replaces the capacity; the next append trims to it.
    void setMaxDuration(double seconds) {
        std::lock_guard guard(lock_);
        maxDuration_ = seconds;
    }

private:
    TimedStore() = default;

    mutable std::mutex lock_;
    std::deque<T> entries_;
    double maxDuration_ = kInitialMaxDuration;
};

// The compressed video, appended by the encoder's output.
using RingBuffer = TimedStore<VideoPacket>;
// The copied system audio, appended by the capture delegate on the audio queue.
using AudioRingBuffer = TimedStore<AudioChunk>;

} // namespace backreel
