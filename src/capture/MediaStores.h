#pragma once

#include "capture/MemoryLimit.h"
#include "capture/RingBuffer.h"
#include "platform/log/Log.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>

namespace backreel {

// A recording's two stores under one memory limit on the bytes they hold together. Before an
// entry goes in that would pass the limit, room is made: the oldest video goes first, a key frame
// and the pictures that depend on it at a time, and with it the audio that then reaches back
// further than the oldest picture (the clip starts at the video anyway); the oldest audio goes
// only once no video is left. An entry larger than the whole limit still goes in, alone. The
// first time the limit drops anything it is logged.
//
// Thread contract: the appends come from the encoder's thread and the audio queue; they take this
// object's lock around their calls into the stores, which call nothing outside under theirs.
// Everything else may be called from any thread.
class MediaStores {
public:
    static std::shared_ptr<MediaStores> create(double maxDuration, MemoryLimit limit, Logger log) {
        return std::shared_ptr<MediaStores>(new MediaStores(maxDuration, limit, log));
    }

    MediaStores(const MediaStores&) = delete;
    MediaStores& operator=(const MediaStores&) = delete;

    void appendVideo(const VideoPacket& packet);
    void appendAudio(AudioChunk chunk);

    const std::shared_ptr<RingBuffer>& video() const { return video_; }
    const std::shared_ptr<AudioRingBuffer>& audio() const { return audio_; }
    MemoryLimit limit() const { return limit_; }
    // Whether the limit has dropped anything yet.
    bool limitReached() const { return limitReached_.load(std::memory_order_relaxed); }
    // The most both stores have held together right after an append.
    std::size_t peakBytes() const { return peakBytes_.load(std::memory_order_relaxed); }

private:
    MediaStores(double maxDuration, MemoryLimit limit, Logger log);

    // Under appendLock_: drops entries until `incoming` more bytes fit; whether any went.
    bool makeRoom(std::size_t incoming);
    // Under appendLock_, after an append.
    void notePeak();
    // After an append that made room: logs the first time.
    void noteTrim(bool madeRoom);

    const std::shared_ptr<RingBuffer> video_ = RingBuffer::create();
    const std::shared_ptr<AudioRingBuffer> audio_ = AudioRingBuffer::create();
    const MemoryLimit limit_;
    const Logger log_;
    std::mutex appendLock_;
    std::atomic<bool> limitReached_{false};
    std::atomic<std::size_t> peakBytes_{0};
};

} // namespace backreel
