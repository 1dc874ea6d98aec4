#include "capture/UnsavedClips.h"

#include "capture/RingBuffer.h"

#include <algorithm>

namespace backreel {

double clipDuration(const Clip& clip) {
    if (clip.video.empty()) {
        return 0;
    }
    const MediaTime last = clip.video.back().duration;
    return (clip.endPTS - clip.startPTS).seconds() + (last.isValid() ? last.seconds() : 0.0);
}

std::int64_t clipBytes(const Clip& clip) {
    std::size_t bytes = 0;
    for (const VideoPacket& packet : clip.video) {
        bytes += storedBytes(packet);
    }
    for (const AudioPacket& packet : clip.audio) {
        bytes += storedBytes(packet);
    }
    return static_cast<std::int64_t>(bytes);
}

namespace {
QString describe(const Clip& clip) {
    return QStringLiteral("%1 video frames, %2 audio packets, %3s")
        .arg(clip.video.size())
        .arg(clip.audio.size())
        .arg(fixed((clip.endPTS - clip.startPTS).seconds(), 2));
}
} // namespace

std::vector<UnsavedClipInfo> UnsavedClips::list() const {
    std::vector<UnsavedClipInfo> infos;
    infos.reserve(entries_.size());
    for (const Entry& entry : entries_) {
        infos.push_back(entry.info);
    }
    return infos;
}

namespace {
int idOf(const UnsavedClips::Entry& entry) {
    return entry.info.id;
}
} // namespace

std::vector<UnsavedClips::Entry>::iterator UnsavedClips::findEntry(int id) {
    return std::ranges::find(entries_, id, idOf);
}

const UnsavedClips::Entry* UnsavedClips::find(int id) const {
    const auto found = std::ranges::find(entries_, id, idOf);
    return found == entries_.end() ? nullptr : &*found;
}

std::optional<int> UnsavedClips::idOrNewest(std::optional<int> id) const {
    if (id || entries_.empty()) {
        return id;
    }
    return entries_.back().info.id;
}

std::int64_t UnsavedClips::bytes() const {
    std::int64_t total = 0;
    for (const Entry& entry : entries_) {
        total += clipBytes(entry.clip);
    }
    return total;
}

int UnsavedClips::undeclinedCount() const {
    return static_cast<int>(
        std::ranges::count_if(entries_, [](const Entry& entry) { return !entry.declined; }));
}

int UnsavedClips::keep(Clip clip, UnsavedClipOffer offer, QTime keptAt, bool declined,
                       std::shared_ptr<void> held) {
    const int id = nextID_++;
    log_.info(QStringLiteral("[Unsaved] Keeping the clip (%1) %2")
                  .arg(describe(clip), offer == UnsavedClipOffer::saveWhatWasBuffered
                                           ? QStringLiteral("that the ended recording had buffered")
                                       : declined ? QStringLiteral("until the next recording starts")
                                                  : QStringLiteral("until it is saved")));
    const UnsavedClipInfo info{id, offer, clipDuration(clip), keptAt};
    entries_.push_back(Entry{info, std::move(clip), declined, std::move(held)});
    return id;
}

void UnsavedClips::saveFailed(int id) {
    if (const auto found = findEntry(id); found != entries_.end()) {
        found->declined = false;
        found->info.offer = UnsavedClipOffer::saveAgain;
    }
}

bool UnsavedClips::discard(int id, const QString& why) {
    const auto found = findEntry(id);
    if (found == entries_.end()) {
        return false;
    }
    log_.info(
        QStringLiteral("[Unsaved] Discarding the unsaved clip (%1): %2").arg(describe(found->clip), why));
    entries_.erase(found);
    return true;
}

int UnsavedClips::discardAll(const QString& why, bool declinedOnly) {
    std::vector<int> ids;
    for (const Entry& entry : entries_) {
        if (entry.declined || !declinedOnly) {
            ids.push_back(entry.info.id);
        }
    }
    for (const int id : ids) {
        discard(id, why);
    }
    return static_cast<int>(ids.size());
}

} // namespace backreel
