#include "capture/MediaStores.h"

#include <algorithm>
#include <cmath>

namespace backreel {

namespace {
constexpr double kAudioStoreMargin = 0.25;
} // namespace

MediaStores::MediaStores(double maxDuration, MemoryLimit limit, Logger log)
    : limit_(limit)
    , log_(log) {
    video_->setMaxDuration(maxDuration);
    // The sound reaches back the packets that decoding the oldest picture's moment needs, and a
    // little more: each store trims against its own newest entry, and the newest sound may be
    // ahead of the newest picture (a few kilobytes).
    audio_->setMaxDuration(maxDuration + kAudioLead.seconds() + kAudioStoreMargin);
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

void MediaStores::appendAudio(AudioPacket packet) {
    bool madeRoom = false;
    {
        std::lock_guard guard(appendLock_);
        madeRoom = makeRoom(storedBytes(packet));
        audio_->append(std::move(packet));
        notePeak();
    }
    noteTrim(madeRoom);
}

namespace {
// (PTS, running total of bytes) for each entry, oldest first.
template <typename T>
std::vector<std::pair<MediaTime, std::size_t>> runningBytes(const std::vector<T>& entries) {
    std::vector<std::pair<MediaTime, std::size_t>> totals;
    totals.reserve(entries.size());
    std::size_t sum = 0;
    for (const T& entry : entries) {
        sum += storedBytes(entry);
        totals.emplace_back(entry.presentationTime, sum);
    }
    return totals;
}

// The bytes of the entries before `oldest`, the oldest PTS a store still holds; all of them when
// the store is empty (an invalid time).
std::size_t bytesBefore(const std::vector<std::pair<MediaTime, std::size_t>>& totals, MediaTime oldest) {
    if (totals.empty()) {
        return 0;
    }
    if (!oldest.isValid()) {
        return totals.back().second;
    }
    const auto after = std::partition_point(totals.begin(), totals.end(),
                                            [&](const auto& entry) { return entry.first < oldest; });
    return after == totals.begin() ? 0 : std::prev(after)->second;
}
} // namespace

BufferedMedia MediaStores::cut(StoresAfterCut after) {
    std::lock_guard guard(appendLock_);
    BufferedMedia media{video_->snapshot(), audio_->snapshot()};
    if (after == StoresAfterCut::empty) {
        video_->clear();
        audio_->clear();
    }
    return media;
}

std::shared_ptr<void> MediaStores::holdClip(const std::vector<VideoPacket>& video,
                                            const std::vector<AudioPacket>& audio) {
    HeldClip held{runningBytes(video), runningBytes(audio)};
    HeldClip* entry = nullptr;
    {
        std::lock_guard guard(heldLock_);
        entry = &heldClips_.emplace_back(std::move(held));
    }
    return std::shared_ptr<void>(entry, [stores = weak_from_this()](void* clip) {
        if (const std::shared_ptr<MediaStores> alive = stores.lock()) {
            alive->release(static_cast<const HeldClip*>(clip));
        }
    });
}

void MediaStores::release(const HeldClip* clip) {
    std::lock_guard guard(heldLock_);
    heldClips_.remove_if([clip](const HeldClip& held) { return &held == clip; });
}

std::size_t MediaStores::heldOutsideBytes() const {
    std::lock_guard guard(heldLock_);
    return heldOutsideLocked();
}

std::size_t MediaStores::heldOutsideLocked() const {
    std::size_t bytes = 0;
    const MediaTime oldestVideo = video_->oldestTime();
    const MediaTime oldestAudio = audio_->oldestTime();
    for (const HeldClip& clip : heldClips_) {
        bytes += bytesBefore(clip.video, oldestVideo) + bytesBefore(clip.audio, oldestAudio);
    }
    return bytes;
}

bool MediaStores::makeRoom(std::size_t incoming) {
    const auto limit = static_cast<std::size_t>(std::max<std::int64_t>(limit_.bytes(), 0));
    std::lock_guard held(heldLock_);
    bool dropped = false;
    while (video_->bytes() + audio_->bytes() + heldOutsideLocked() + incoming > limit) {
        if (video_->dropOldest()) {
            audio_->dropBefore(video_->oldestTime() - kAudioLead);
        } else if (!audio_->dropOldest()) {
            break; // both empty: the entry is larger than the limit and goes in alone
        }
        dropped = true;
    }
    return dropped;
}

void MediaStores::notePeak() {
    const std::size_t held = video_->bytes() + audio_->bytes() + heldOutsideBytes();
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
