#include "capture/ClipSaver.h"

#include "capture/RecorderSettings.h"
#include "export/SaveFlow.h"

#include <optional>
#include <utility>

namespace backreel {

ClipSaver::ClipSaver(std::shared_ptr<SaveFlow> saveFlow, std::shared_ptr<const RecorderSettings> settings,
                     Logger log, QObject* parent)
    : QObject(parent)
    , saveFlow_(std::move(saveFlow))
    , settings_(std::move(settings))
    , log_(log)
    , clipSaves_(this, [this] { emit clipSavesChanged(); }) {}

ClipSaver::~ClipSaver() {
    // Nobody is asked about a clip that was never saved, but the log says it went.
    unsavedClips_.discardAll(QStringLiteral("Backreel quits"));
}

QCoro::Task<RecordingStatus> ClipSaver::save(Clip clip, std::optional<int> keptID) {
    // The save flow gets a copy, which shares the media's bytes: the clip outlives a failure.
    QCoro::Task<RecordingStatus> saving = saveFlow_->save(clip, SaveRequest{});
    const RecordingStatus outcome = co_await saving;
    announce(outcome, clip);
    if (keptID) {
        if (outcome.is(RecordingStatus::Kind::saved)) {
            dropUnsavedClip(*keptID, QStringLiteral("it was saved"));
        } else if (outcome.is(RecordingStatus::Kind::error)) {
            unsavedClips_.saveFailed(*keptID);
            emit unsavedClipChanged();
        } else {
            // The user kept this clip once already: a cancel leaves it.
            log_.info(QStringLiteral("[Save] Cancelled; the unsaved clip stays"));
        }
    } else if (!outcome.is(RecordingStatus::Kind::saved)) {
        // A failure keeps it; a cancel offers it until the next recording: nothing is lost by that.
        keepUnsavedClip(std::move(clip), UnsavedClipOffer::saveAgain,
                        outcome.is(RecordingStatus::Kind::idle));
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
    if (!outcome.is(RecordingStatus::Kind::saved)) {
        // Offered for Save Again, still counted against the recording's memory limit; nothing is
        // lost to a failed write, and a cancelled one is offered until the next recording.
        keepUnsavedClip(clip, UnsavedClipOffer::saveAgain, outcome.is(RecordingStatus::Kind::idle),
                        std::move(held));
    }
    held.reset();
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

void ClipSaver::keepUnsavedClip(Clip clip, UnsavedClipOffer offer, bool declined,
                                std::shared_ptr<void> held) {
    unsavedClips_.keep(std::move(clip), offer, QTime::currentTime(), declined, std::move(held));
    emit unsavedClipChanged();
}

void ClipSaver::dropUnsavedClip(int id, const QString& why) {
    if (unsavedClips_.discard(id, why)) {
        emit unsavedClipChanged();
    }
}

void ClipSaver::dropUnsavedClips(const QString& why, bool declinedOnly) {
    if (unsavedClips_.discardAll(why, declinedOnly) > 0) {
        emit unsavedClipChanged();
    }
}

} // namespace backreel
