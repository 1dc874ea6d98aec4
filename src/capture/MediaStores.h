#pragma once

#include "capture/MemoryLimit.h"
#include "capture/RingBuffer.h"
#include "core/log/Log.h"

#include <atomic>
#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace backreel {

// What the stores held at one moment, oldest first.
struct BufferedMedia {
    std::vector<VideoPacket> video;
    std::vector<AudioPacket> audio;
};

// What a cut leaves in the stores: everything, or nothing, so that the next cut starts after it.
enum class StoresAfterCut { keep, empty };

// A recording's two stores under one memory limit on the bytes they hold together. Before an
// entry goes in that would pass the limit, room is made: the oldest video goes first, a key frame
// and the pictures that depend on it at a time, and with it the audio that then reaches back
// further than the oldest picture's sound needs (kAudioLead: the clip starts at the video anyway);
// the oldest audio goes only once no video is left. An entry larger than the whole limit still
// goes in, alone. The first time the limit drops anything it is logged.
//
// A clip cut from the stores while they go on filling (Save Clip) shares their bytes; while it is
// held for its save, the part of it the stores no longer hold themselves counts against the limit
// as well, so the memory of clips waiting to be written is part of what the limit bounds.
//
// Thread contract: the appends come from the encoder's thread and the audio queue; they take this
// object's lock around their calls into the stores, which call nothing outside under theirs.
// Everything else may be called from any thread.
class MediaStores : public std::enable_shared_from_this<MediaStores> {
public:
    static std::shared_ptr<MediaStores> create(double maxDuration, MemoryLimit limit, Logger log) {
        return std::shared_ptr<MediaStores>(new MediaStores(maxDuration, limit, log));
    }

    MediaStores(const MediaStores&) = delete;
    MediaStores& operator=(const MediaStores&) = delete;

    void appendVideo(const VideoPacket& packet);
    void appendAudio(AudioPacket packet);

    // Both stores' entries as of one moment between appends; with StoresAfterCut::empty the
    // stores are emptied in the same step, so nothing appended meanwhile is lost or taken twice.
    BufferedMedia cut(StoresAfterCut after);

    // Counts the clip (entries cut from these stores) against the limit until the returned
    // handle is let go, for the part of it the stores no longer hold. The handle may outlive the
    // stores.
    std::shared_ptr<void> holdClip(const std::vector<VideoPacket>& video,
                                   const std::vector<AudioPacket>& audio);
    // What held clips keep beyond what the stores hold.
    std::size_t heldOutsideBytes() const;

    const std::shared_ptr<RingBuffer>& video() const { return video_; }
    const std::shared_ptr<AudioRingBuffer>& audio() const { return audio_; }
    MemoryLimit limit() const { return limit_; }
    // Whether the limit has dropped anything yet.
    bool limitReached() const { return limitReached_.load(std::memory_order_relaxed); }
    // The most both stores have held together right after an append.
    std::size_t peakBytes() const { return peakBytes_.load(std::memory_order_relaxed); }

private:
    MediaStores(double maxDuration, MemoryLimit limit, Logger log);

    // A held clip's entries as (PTS, bytes of this and every earlier entry), oldest first.
    struct HeldClip {
        std::vector<std::pair<MediaTime, std::size_t>> video;
        std::vector<std::pair<MediaTime, std::size_t>> audio;
    };
    // Under heldLock_.
    std::size_t heldOutsideLocked() const;
    void release(const HeldClip* clip);

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
    // Taken inside appendLock_ or alone, never the other way round.
    mutable std::mutex heldLock_;
    std::list<HeldClip> heldClips_;
    std::atomic<bool> limitReached_{false};
    std::atomic<std::size_t> peakBytes_{0};
};

} // namespace backreel
