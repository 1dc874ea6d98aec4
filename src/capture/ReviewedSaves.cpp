// The recorder's side of Review…: the snapshot, and saving a part of it.

#include "capture/RecordingManager.h"

#include <algorithm>

namespace backreel {

std::optional<ReviewSnapshot> RecordingManager::reviewSnapshot() {
    if (!status_.is(RecordingStatus::Kind::buffering) || !session_) {
        recLog_.info(QStringLiteral("[Review] Not buffering: there is nothing to review"));
        return std::nullopt;
    }
    BufferedMedia media = session_->cut(StoresAfterCut::keep);
    // A full buffer may begin with pictures whose key frame has gone: nothing can show or save
    // them.
    const auto firstKey = std::find_if(media.video.begin(), media.video.end(),
                                       [](const VideoPacket& packet) { return packet.keyFrame; });
    media.video.erase(media.video.begin(), firstKey);
    if (media.video.empty()) {
        recLog_.info(QStringLiteral("[Review] No picture yet: there is nothing to review"));
        return std::nullopt;
    }
    std::shared_ptr<void> held = session_->holdClip(media.video, media.audio);
    recLog_.info(QStringLiteral("[Review] Snapshot of %1 pictures and %2 pieces of sound")
                     .arg(media.video.size())
                     .arg(media.audio.size()));
    // Only the markers on the snapshot's pictures: older ones may outlive the buffer.
    std::vector<Marker> markers;
    for (const Marker& marker : session_->markers()) {
        if (marker.at >= media.video.front().presentationTime && marker.at <= media.video.back().presentationTime) {
            markers.push_back(marker);
        }
    }
    return ReviewSnapshot{std::move(media.video), std::move(media.audio), std::move(markers), std::move(held)};
}

QCoro::Task<> RecordingManager::saveReviewed(const ReviewSnapshot& snapshot, MediaTime from, MediaTime to) {
    recLog_.info(QStringLiteral("[Review] Saving %1s–%2s of the snapshot")
                     .arg(fixed(from.seconds(), 3))
                     .arg(fixed(to.seconds(), 3)));
    ClipSelection selection = selectBetween(snapshot.video, snapshot.audio, from, to, recLog_);
    if (const QString* message = std::get_if<QString>(&selection)) {
        saver_.nothingToSave(*message);
        co_return;
    }
    Clip clip = std::get<Clip>(std::move(selection));
    clip.microphone = settings_->microphoneTrack();
    clip.markers = markersWithin(snapshot.markers, clip);
    // Counted against the running recording's limit until written, as a Save Clip's clip is; the
    // snapshot may have outlived the recording it came from.
    std::shared_ptr<void> held = session_ ? session_->holdClip(clip.video, clip.audio) : nullptr;
    QCoro::Task<> saving = saver_.saveInTurn(std::move(clip), std::move(held));
    co_await saving;
}

} // namespace backreel
