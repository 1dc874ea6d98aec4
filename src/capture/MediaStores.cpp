#include "capture/MediaStores.h"

#include <algorithm>
#include <cmath>

namespace backreel {

MediaStores::MediaStores(double maxDuration, MemoryLimit limit, Logger log)
    : limit_(limit)
    , log_(log) {
    video_->setMaxDuration(maxDuration);
    audio_->setMaxDuration(maxDuration);
}

void MediaStores::appendVideo(const VideoPacket& packet) {
    bool madeRoom = false;
    {
        std::lock_guard guard(appendLock_);
        madeRoom = makeRoom(storedBytes(packet));
        video_->append(packet);
        notePeak();
    }
    noteTrim(madeRoom);
}

void MediaStores::appendAudio(AudioChunk chunk) {
    bool madeRoom = false;
    {
        std::lock_guard guard(appendLock_);
        madeRoom = makeRoom(storedBytes(chunk));
        audio_->append(std::move(chunk));
        notePeak();
    }
    noteTrim(madeRoom);
}

bool MediaStores::makeRoom(std::size_t incoming) {
    const auto limit = static_cast<std::size_t>(std::max<std::int64_t>(limit_.bytes(), 0));
    bool dropped = false;
    while (video_->bytes() + audio_->bytes() + incoming > limit) {
        if (video_->dropOldest()) {
            audio_->dropBefore(video_->oldestTime());
        } else if (!audio_->dropOldest()) {
            break; // both empty: the entry is larger than the limit and goes in alone
        }
        dropped = true;
    }
    return dropped;
}

void MediaStores::notePeak() {
    const std::size_t held = video_->bytes() + audio_->bytes();
    if (held > peakBytes_.load(std::memory_order_relaxed)) {
        peakBytes_.store(held, std::memory_order_relaxed);
    }
}

void MediaStores::noteTrim(bool madeRoom) {
    if (madeRoom && !limitReached_.exchange(true, std::memory_order_relaxed)) {
        log_.info(QStringLiteral("[Buffer] Memory limit %1 reached: keeping the newest %2 s")
                      .arg(limit_.label())
                      .arg(std::llround(video_->spanSeconds())));
    }
}

} // namespace backreel
