#pragma once

#include "capture/ClipSaveQueue.h"
#include "capture/UnsavedClips.h"
#include "common/RecordingStatus.h"
#include "common/UnsavedClipOffer.h"
#include "core/log/Log.h"
#include "export/Clip.h"

#include <memory>
#include <optional>
#include <QCoroTask>
#include <QObject>
#include <QString>

namespace backreel {

class RecorderSettings;
class SaveFlow;

// What becomes of the clips a recording cuts. Each goes to the save flow and its outcome is told
// through clipSaved() or saveFailed(). Save Clip's clips are written one at a time, in the order
// they were cut, to the clip folder or where the user says when "Ask where to save" is on, as the
// settings are when a clip's turn comes. A clip the save flow did not write stays among the unsaved
// clips until it is saved again or let go; none replaces another.
//
// Thread contract: main thread only.
class ClipSaver final : public QObject {
    Q_OBJECT

public:
    ClipSaver(std::shared_ptr<SaveFlow> saveFlow, std::shared_ptr<const RecorderSettings> settings,
              Logger log, QObject* parent = nullptr);
    ~ClipSaver() override;

    // Saves a clip from the save dialog on: Stop & Save's, or the unsaved clip `keptID` once more.
    // A failure keeps the clip among the unsaved ones; a cancel of a first save keeps it declined
    // (offered until the next recording), of a second leaves it as it was; an unsaved clip goes
    // once saved. Completes with the outcome.
    QCoro::Task<RecordingStatus> save(Clip clip, std::optional<int> keptID = std::nullopt);
    // Saves a Save Clip clip once the clips cut before it are written, and then lets `held` go.
    // Completes when this clip's save has ended; a cancel drops the clip.
    QCoro::Task<> saveInTurn(Clip clip, std::shared_ptr<void> held);
    // A Save Clip that had no clip to save, for `message`: told as a failed save.
    void nothingToSave(const QString& message);

    // Save Clip's clips not yet saved (the one being written included), and how the last one
    // ended (saved, error, or idle before the first and after a cancel); clipSavesChanged().
    int clipSavesPending() const { return clipSaves_.pending(); }
    const RecordingStatus& lastClipOutcome() const { return lastClipOutcome_; }

    // The clips failed saves kept, and what recordings that ended by themselves had buffered;
    // unsavedClipChanged() tells of changes.
    const UnsavedClips& unsavedClips() const { return unsavedClips_; }
    // Keeps the clip among the unsaved ones (declined: offered only until the next recording;
    // `held`: counted against the running recording's limit while kept).
    void keepUnsavedClip(Clip clip, UnsavedClipOffer offer, bool declined = false,
                         std::shared_ptr<void> held = nullptr);
    // Lets the unsaved clip `id` go, saying why in the log.
    void dropUnsavedClip(int id, const QString& why);
    // Lets every unsaved clip go, or only the declined ones.
    void dropUnsavedClips(const QString& why, bool declinedOnly = false);

signals:
    void clipSavesChanged();
    void unsavedClipChanged();
    // A save wrote `path`, a movie of `seconds`.
    void clipSaved(const QString& path, double seconds);
    // A save failed; `message` is the status text ("Save failed: …" and the reason).
    void saveFailed(const QString& message);

private:
    // Tells of a save's outcome through clipSaved() or saveFailed().
    void announce(const RecordingStatus& outcome, const Clip& clip);

    const std::shared_ptr<SaveFlow> saveFlow_;
    const std::shared_ptr<const RecorderSettings> settings_;
    const Logger log_;
    UnsavedClips unsavedClips_{log_};
    ClipSaveQueue clipSaves_;
    RecordingStatus lastClipOutcome_ = RecordingStatus::idle();
};

} // namespace backreel
