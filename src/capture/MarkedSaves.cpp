// The recorder's markers: setting one, and saving the seconds around the last.

#include "capture/RecordingManager.h"

#include <QCoroTimer>
#include <QPointer>

namespace backreel {

namespace {
// How often a save around a marker looks whether the seconds after it are buffered.
constexpr auto kBufferedCheck = std::chrono::milliseconds(100);

// An earlier cut of the stores and a later one as one: the earlier, then what came after it (of
// the sound, after the earlier cut's newest of the same origin).
BufferedMedia joined(BufferedMedia earlier, const BufferedMedia& later) {
    const auto newestOf = [&earlier](AudioOrigin origin) {
        MediaTime newest = MediaTime::invalid();
        for (const AudioPacket& packet : earlier.audio) {
            newest = packet.origin == origin ? packet.presentationTime : newest;
        }
        return newest;
    };
    const MediaTime newestVideo =
        earlier.video.empty() ? MediaTime::invalid() : earlier.video.back().presentationTime;
    const MediaTime newestSound[] = {newestOf(AudioOrigin::system), newestOf(AudioOrigin::microphone)};
    const auto after = [](MediaTime newest, MediaTime time) { return !newest.isValid() || newest < time; };
    for (const VideoPacket& packet : later.video) {
        if (after(newestVideo, packet.presentationTime)) {
            earlier.video.push_back(packet);
        }
    }
    for (const AudioPacket& packet : later.audio) {
        if (after(newestSound[static_cast<int>(packet.origin)], packet.presentationTime)) {
            earlier.audio.push_back(packet);
        }
    }
    return earlier;
}
} // namespace

std::optional<Marker> RecordingManager::mark(const QString& label) {
    if (!status_.is(RecordingStatus::Kind::buffering) || !session_) {
        recLog_.info(QStringLiteral("[Mark] Not buffering: there is nothing to mark"));
        return std::nullopt;
    }
    std::optional<Marker> marker = session_->mark(label);
    if (marker) {
        emit markerSet(marker->label);
    }
    return marker;
}

std::optional<Marker> RecordingManager::lastMarker() const {
    if (!session_ || session_->markers().empty()) {
        return std::nullopt;
    }
    return session_->markers().back();
}

QCoro::Task<> RecordingManager::saveAroundMark(std::chrono::seconds seconds) {
    const std::optional<Marker> marker = lastMarker();
    if (!marker || !status_.is(RecordingStatus::Kind::buffering)) {
        recLog_.info(QStringLiteral("[SaveClip] No marker to save around"));
        co_return;
    }
    const MediaTime margin(seconds.count(), 1);
    const MediaTime from = marker->at - margin;
    const MediaTime to = marker->at + margin;
    recLog_.info(QStringLiteral("[SaveClip] Saving %1 s around the marker at %2s, once buffered")
                     .arg(seconds.count())
                     .arg(fixed(marker->at.seconds(), 3)));
    // What is buffered now, held until the cut: with a short buffer the seconds before the marker
    // would be gone by the time those after it are in.
    BufferedMedia before = session_->cut(StoresAfterCut::keep);
    std::shared_ptr<void> heldBefore = session_->holdClip(before.video, before.audio);
    const RecordingSession* const session = session_.get();
    const QPointer<RecordingManager> alive(this);
    while (session_.get() == session && status_.is(RecordingStatus::Kind::buffering) &&
           session_->videoStore().newestTime() < to) {
        co_await QCoro::sleepFor(kBufferedCheck);
        if (!alive) {
            co_return; // the application ended meanwhile
        }
    }
    if (session_.get() != session || !status_.is(RecordingStatus::Kind::buffering)) {
        recLog_.info(QStringLiteral("[SaveClip] The recording ended before the seconds after the marker"));
        co_return;
    }
    BufferedMedia media = joined(std::move(before), session_->cut(StoresAfterCut::keep));
    ClipSelection selection = selectBetween(media.video, media.audio, from, to, recLog_);
    media = {};
    heldBefore.reset();
    if (const QString* message = std::get_if<QString>(&selection)) {
        saver_.nothingToSave(*message);
        co_return;
    }
    Clip clip = std::get<Clip>(std::move(selection));
    clip.microphone = settings_->microphoneTrack();
    clip.markers = markersWithin(session_->markers(), clip);
    std::shared_ptr<void> held = session_->holdClip(clip.video, clip.audio);
    QCoro::Task<> saving = saver_.saveInTurn(std::move(clip), std::move(held));
    co_await saving;
}

std::vector<Marker> markersWithin(const std::vector<Marker>& markers, const Clip& clip) {
    std::vector<Marker> within;
    for (const Marker& marker : markers) {
        if (compare(marker.at, clip.startPTS) >= 0 && compare(marker.at, clip.endPTS) <= 0) {
            within.push_back(marker);
        }
    }
    return within;
}

} // namespace backreel
