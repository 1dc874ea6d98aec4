#pragma once

#include "core/media/AudioPacket.h"
#include "core/media/VideoPacket.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace backreel {

// The bytes an entry holds: a packet's compressed bytes.
inline std::size_t storedBytes(const VideoPacket& packet) {
    return packet.data.size();
}
inline std::size_t storedBytes(const AudioPacket& packet) {
    return packet.data ? packet.data->size() : 0;
}

// A time-bounded store of timed values (video or audio packets), oldest first. Every
// append drops the oldest entries until the span from the first to the last entry's PTS is no
// longer than maxDuration (a span equal to the capacity stays). An entry without a valid PTS at
// the front is dropped once the newest has one, so it can never stop the trimming. Entries are
// values that share their bytes: nothing is copied. The store counts the bytes its entries hold;
// what it does about a limit on them is its owner's business (see MediaStores).
//
// Thread contract: every member may be called from any thread; each takes the store's own lock
// for its whole duration and calls nothing outside the store while holding it.
template <typename T> class TimedStore {
public:
    static constexpr double kInitialMaxDuration = 11.0;

    // Shared by the recording session, the encoder's output and the audio capture; whichever
    // lets go last frees it, on its own thread.
    static std::shared_ptr<TimedStore> create() { return std::shared_ptr<TimedStore>(new TimedStore()); }

    TimedStore(const TimedStore&) = delete;
    TimedStore& operator=(const TimedStore&) = delete;

    void append(T entry) {
        std::lock_guard guard(lock_);
        bytes_ += storedBytes(entry);
        entries_.push_back(std::move(entry));
        while (entries_.size() >= 2) {
            const MediaTime first = entries_.front().presentationTime;
            const MediaTime last = entries_.back().presentationTime;
            if (!first.isValid() && last.isValid()) {
                popFront();
                continue;
            }
            // Strictly greater only: a span equal to the capacity stays; NaN and negative spans stop.
            if (maxDuration_ < subtract(last, first).seconds()) {
                popFront();
                continue;
            }
            break;
        }
    }
    // Drops the oldest entry; in a video store also the pictures after it up to the next key
    // frame, which could not be decoded without it. False when the store was empty.
    bool dropOldest() {
        std::lock_guard guard(lock_);
        if (entries_.empty()) {
            return false;
        }
        popFront();
        if constexpr (requires(const T& entry) { entry.keyFrame; }) {
            while (!entries_.empty() && !entries_.front().keyFrame) {
                popFront();
            }
        }
        return true;
    }
    // Drops the oldest entries while their PTS is before `time` (or invalid).
    void dropBefore(MediaTime time) {
        std::lock_guard guard(lock_);
        while (!entries_.empty() && entries_.front().presentationTime < time) {
            popFront();
        }
    }
    std::size_t count() const {
        std::lock_guard guard(lock_);
        return entries_.size();
    }
    // What the entries hold together (see storedBytes()).
    std::size_t bytes() const {
        std::lock_guard guard(lock_);
        return bytes_;
    }
    // The PTS of the oldest entry; invalid when the store is empty.
    MediaTime oldestTime() const {
        std::lock_guard guard(lock_);
        return entries_.empty() ? MediaTime::invalid() : entries_.front().presentationTime;
    }
    // The PTS of the newest entry; invalid when the store is empty.
    MediaTime newestTime() const {
        std::lock_guard guard(lock_);
        return entries_.empty() ? MediaTime::invalid() : entries_.back().presentationTime;
    }
    // Seconds from the oldest entry's PTS to the newest's; 0 with fewer than two valid ends.
    double spanSeconds() const {
        std::lock_guard guard(lock_);
        if (entries_.size() < 2 || !entries_.front().presentationTime.isValid() ||
            !entries_.back().presentationTime.isValid()) {
            return 0;
        }
        return subtract(entries_.back().presentationTime, entries_.front().presentationTime).seconds();
    }
    std::vector<T> snapshot() const {
        std::lock_guard guard(lock_);
        return {entries_.begin(), entries_.end()};
    }
    void clear() {
        std::lock_guard guard(lock_);
        entries_.clear();
        bytes_ = 0;
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

    // Under the lock.
    void popFront() {
        bytes_ -= storedBytes(entries_.front());
        entries_.pop_front();
    }

    mutable std::mutex lock_;
    std::deque<T> entries_;
    std::size_t bytes_ = 0;
    double maxDuration_ = kInitialMaxDuration;
};

// The compressed video, appended by the encoder's output.
using RingBuffer = TimedStore<VideoPacket>;
// The compressed sound, appended by the audio capture on the sound source's thread.
using AudioRingBuffer = TimedStore<AudioPacket>;

} // namespace backreel
