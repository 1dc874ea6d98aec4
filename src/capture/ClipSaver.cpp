#include "capture/ClipSaver.h"

#include "capture/RecorderSettings.h"
#include "export/SaveFlow.h"

#include <optional>
#include <utility>

namespace backreel {

namespace {
// What a saved movie of this clip lasts: from its first picture to the end of its last.
double clipDuration(const Clip& clip) {
    if (clip.video.empty()) {
        return 0;
    }
    const MediaTime last = clip.video.back().duration;
    return (clip.endPTS - clip.startPTS).seconds() + (last.isValid() ? last.seconds() : 0.0);
}
} // namespace

ClipSaver::ClipSaver(std::shared_ptr<SaveFlow> saveFlow, std::shared_ptr<const RecorderSettings> settings,
                     Logger log, QObject* parent)
    : QObject(parent)
    , saveFlow_(std::move(saveFlow))
    , settings_(std::move(settings))
    , log_(log)
    , clipSaves_(this, [this] { emit clipSavesChanged(); }) {}

ClipSaver::~ClipSaver() {
    // Nobody is asked about a clip that was never saved, but the log says it went.
    unsavedClip_.discard(QStringLiteral("Backreel quits"));
}

QCoro::Task<RecordingStatus> ClipSaver::save(Clip clip, bool again) {
    // The save flow gets a copy, which shares the media's bytes: the clip outlives a failure.
    QCoro::Task<RecordingStatus> saving = saveFlow_->save(clip, SaveRequest{});
    const RecordingStatus outcome = co_await saving;
    announce(outcome, clip);
    if (outcome.is(RecordingStatus::Kind::error)) {
        keepUnsavedClip(std::move(clip), UnsavedClipOffer::saveAgain);
    } else if (outcome.is(RecordingStatus::Kind::idle) && again) {
        // The user kept this clip once already: a cancel leaves it.
        log_.info(QStringLiteral("[Save] Cancelled; the unsaved clip stays"));
    } else if (again) {
        // Only the clip saved again is the unsaved one; a clip a failed Save Clip kept stays.
        dropUnsavedClip(outcome.is(RecordingStatus::Kind::saved) ? QStringLiteral("it was saved")
                                                                 : QStringLiteral("the save was cancelled"));
    }
    co_return outcome;
}

QCoro::Task<> ClipSaver::saveInTurn(Clip clip, std::shared_ptr<void> held) {
    ClipSaveQueue::Place place(clipSaves_);
    ClipSaveQueue::Turn myTurn = place.turn();
    co_await myTurn;

    const SaveRequest request{
        settings_->askWhereToSave() ? std::nullopt : std::optional<QString>(settings_->effectiveClipFolder()),
        false};
    // The save flow gets a copy, which shares the media's bytes: the clip outlives a failure.
    QCoro::Task<RecordingStatus> saving = saveFlow_->save(clip, request);
    const RecordingStatus outcome = co_await saving;
    held.reset();
    if (outcome.is(RecordingStatus::Kind::error)) {
        // Offered for Save Again once buffering is over; nothing is lost to a failed write.
        keepUnsavedClip(clip, UnsavedClipOffer::saveAgain);
    } else if (outcome.is(RecordingStatus::Kind::idle)) {
        log_.info(QStringLiteral("[SaveClip] Cancelled; the clip is dropped"));
    }
    announce(outcome, clip);
    lastClipOutcome_ = outcome;
    // The clip leaves the queue with its place, as the save ends: the next one may be written.
}

void ClipSaver::nothingToSave(const QString& message) {
    lastClipOutcome_ = RecordingStatus::error(message);
    emit saveFailed(message);
    emit clipSavesChanged();
}

void ClipSaver::announce(const RecordingStatus& outcome, const Clip& clip) {
    if (outcome.is(RecordingStatus::Kind::saved)) {
        emit clipSaved(outcome.location().toLocalFile(), clipDuration(clip));
    } else if (outcome.is(RecordingStatus::Kind::error)) {
        emit saveFailed(outcome.message());
    }
}

void ClipSaver::keepUnsavedClip(Clip clip, UnsavedClipOffer offer) {
    unsavedClip_.keep(std::move(clip), offer);
    emit unsavedClipChanged();
}

void ClipSaver::dropUnsavedClip(const QString& why) {
    if (unsavedClip_.discard(why)) {
        emit unsavedClipChanged();
    }
}

} // namespace backreel
