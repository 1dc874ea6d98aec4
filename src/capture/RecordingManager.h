#pragma once

#include "capture/CaptureTarget.h"
#include "capture/ClipSaver.h"
#include "capture/MemoryLimit.h"
#include "capture/RecorderSettings.h"
#include "capture/RecordingDuration.h"
#include "capture/RecordingSession.h"
#include "capture/ReviewSnapshot.h"
#include "capture/WindowPickInfo.h"
#include "common/RecordingStatus.h"
#include "core/log/Log.h"
#include "export/ClipSelection.h"
#include "platform/CaptureService.h"
#include "platform/Platform.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <QCoroTask>
#include <QObject>
#include <QTimer>
#include <vector>

namespace backreel {

class SaveFlow;

// The recorder as the user sees it: the status, the target, and the way from start to save, by
// the options the user keeps in RecorderSettings. The running recording itself (sources, encoder,
// stores) is a RecordingSession, which a successful start makes and a stop or a failure ends; the
// manager hears from it through its signals. What becomes of the clips it cuts is the ClipSaver's.
//
// Thread contract: main thread.
class RecordingManager final : public QObject {
    Q_OBJECT

public:
    // Shown when the capture service cannot say what there is to capture and gives no reason.
    static inline const QString kContentUnavailableMessage =
        QStringLiteral("The screen cannot be captured: the capture service gave no reason.");
    // Shown when Start finds the Window target without a picked window.
    static inline const QString kPickAWindowMessage = QStringLiteral("Pick a window first.");

    RecordingManager(Platform platform, std::shared_ptr<SaveFlow> saveFlow,
                     std::shared_ptr<const RecorderSettings> settings, QObject* parent = nullptr);
    ~RecordingManager() override;

    // Starts buffering from the current settings. Does nothing while buffering (or while another
    // start is still on its way). The outcome shows only in status().
    QCoro::Task<> startRecording();
    // Stops buffering, cuts the clip and saves it. Does nothing unless buffering. A save that
    // fails keeps the clip among the unsaved clips; a cancel keeps it declined.
    QCoro::Task<> stopAndSave();
    // Save Clip: cuts the newest `length` of the buffer (the chosen duration when none; never more
    // than it) on a key frame and saves it while buffering goes on, in the clip folder under its
    // dated name, or where the user says when "Ask where to save" is on. Saves queue: a clip is cut
    // at once and written once the clips before it are; none is dropped. With a fresh buffer after
    // each save the stores start empty after the cut. Completes when this clip's save has ended;
    // the outcome shows in clipSaves() and in clipSaved() or saveFailed(). Does nothing unless
    // buffering.
    QCoro::Task<> saveClip(std::optional<std::chrono::seconds> length = std::nullopt);
    // Saves the unsaved clip `id` (the newest when none) once more, from the save dialog on. A
    // failure keeps it again, and so does a cancel, which also brings back the status shown before.
    // Does nothing without such a clip or while buffering or saving.
    // Marks the newest picture's moment while buffering, with a label or none: clips that hold it
    // have a chapter from there. None when not buffering or before the first picture.
    std::optional<Marker> mark(const QString& label);
    std::optional<Marker> lastMarker() const;
    // Saves `seconds` before and after the last marker (from the key frame at or before), once the
    // seconds after it have been buffered; nothing when there is no marker or the recording ends
    // first.
    QCoro::Task<> saveAroundMark(std::chrono::seconds seconds);
    // Review…: what the buffer holds now, counted against the memory limit while the snapshot
    // lives; buffering goes on. None unless buffering with a picture in the buffer.
    std::optional<ReviewSnapshot> reviewSnapshot();
    // Saves the snapshot's pictures from the key frame at or before `from` to the last picture at
    // or before `to`, with their sound and markers, as Save Clip saves (in turn, to the clip
    // folder or where the user says, kept for Save Again when it fails). Completes when the save
    // has ended.
    QCoro::Task<> saveReviewed(const ReviewSnapshot& snapshot, MediaTime from, MediaTime to);
    QCoro::Task<> saveAgain(std::optional<int> id = std::nullopt);
    // Lets the unsaved clip `id` (the newest when none) go.
    void discardUnsavedClip(std::optional<int> id = std::nullopt);
    // Lets every unsaved clip go, as a quit that the user allowed to lose them does.
    void discardUnsavedClips();
    // Fills availableDisplays() and, for a display target without a display, picks the main one.
    QCoro::Task<> refreshDisplays();
    // What can be captured now, from the capture service; an error when it refuses.
    QCoro::Task<Expected<ShareableContent, CaptureError>> shareableContent();
    // What the user chose in the desktop's dialog, where the capture service has one; an error
    // when the user cancelled (kind cancelled) or the service failed.
    // The desktop's stream asks for frameRate a second, the settings' rate unless told.
    QCoro::Task<Expected<ShareableContent, CaptureError>> chosenContent(ContentKind kind,
                                                                        std::optional<int> frameRate = {});

    // Published properties. Setters of equal values do not notify, except where noted.
    const RecordingStatus& status() const { return status_; }
    void setStatus(const RecordingStatus& status);
    bool includeBackreelWindow() const { return includeBackreelWindow_; }
    void setIncludeBackreelWindow(bool include);
    RecordingDuration bufferDuration() const { return bufferDuration_; }
    void setBufferDuration(RecordingDuration duration);
    const CaptureTarget& captureTarget() const { return captureTarget_; }
    // Notifies on every assignment; a target other than a window clears selectedWindowInfo.
    void setCaptureTarget(const CaptureTarget& target);
    const std::vector<Display>& availableDisplays() const { return availableDisplays_; }
    void setAvailableDisplays(const std::vector<Display>& displays);

    // Clips cut by Save Clip and not yet saved (the one being written included), and how the last
    // one ended (saved, error, or idle before the first and after a cancel); clipSavesChanged().
    int clipSavesPending() const { return saver_.clipSavesPending(); }
    const RecordingStatus& lastClipOutcome() const { return saver_.lastClipOutcome(); }

    const std::optional<WindowPickInfo>& selectedWindowInfo() const { return selectedWindowInfo_; }
    // Notifies on every assignment.
    void setSelectedWindowInfo(const std::optional<WindowPickInfo>& info);

    // The clips failed saves kept, and what recordings that ended by themselves had buffered,
    // oldest first, until each is saved or discarded (a clip whose save the user cancelled, until
    // the next recording starts); unsavedClipChanged() tells of changes. They count against the
    // memory limit of the recordings that run while they are kept.
    bool hasUnsavedClip() const { return !saver_.unsavedClips().empty(); }
    std::vector<UnsavedClipInfo> unsavedClips() const { return saver_.unsavedClips().list(); }
    // The unsaved clips quitting would lose without asking: all but the declined ones.
    int unsavedClipsToAskAbout() const { return saver_.unsavedClips().undeclinedCount(); }

    // A note on the running recording's target, shown after "Recording…" until it stops (for
    // example that the last session's window could not come back).
    void setTargetNote(const QString& note) { setBufferingNote(BufferingNote::target, note); }

    // The recording that runs; none otherwise.
    const RecordingSession* session() const { return session_.get(); }

signals:
    void statusChanged();
    void includeBackreelWindowChanged();
    void bufferDurationChanged();
    void captureTargetChanged();
    void availableDisplaysChanged();
    void selectedWindowInfoChanged();
    void unsavedClipChanged();
    void clipSavesChanged();
    // A save (Save Clip or Stop & Save) wrote `path`, a movie of `seconds`.
    void clipSaved(const QString& path, double seconds);
    // A save failed; `message` is the status text ("Save failed: …" and the reason).
    void saveFailed(const QString& message);
    // A marker was set, with this label (or none).
    void markerSet(const QString& label);

private:
    // What the running recording lacks, each kind shown in the status line while buffering.
    enum class BufferingNote { audio, microphone, memory, target };
    // Sets (or, with an empty text, clears) one note; the status follows while buffering.
    void setBufferingNote(BufferingNote which, const QString& text);
    RecordingStatus bufferingStatus() const;

    // While buffering, once a second: the memory note follows what the limit left in the buffer.
    void updateMemoryNote();

    void failStart(const Error& error);
    // Lifts the mute of notifications: always when ours is in force; at a stop also when the option
    // is on (it may have been switched on while buffering).
    enum class MuteLift { whenInForce, whenOptionIsOn };
    void liftMute(MuteLift when);
    // Ends the running recording and cuts its clip, of the chosen duration, out of what it buffered.
    QCoro::Task<ClipSelection> endRecording();
    // The clip of the last seconds of what the stores held, its microphone written as set now,
    // with the markers in it.
    ClipSelection cutClip(const BufferedMedia& media, double seconds, const std::vector<Marker>& markers) const;
    // After the stream stopped by itself: stops the session and keeps what it had buffered.
    QCoro::Task<> keepWhatWasBuffered();

    const Platform platform_;
    const std::shared_ptr<const RecorderSettings> settings_;

    RecordingStatus status_ = RecordingStatus::idle();
    bool includeBackreelWindow_ = false;
    RecordingDuration bufferDuration_ = RecordingDuration::tenSeconds;
    CaptureTarget captureTarget_ = CaptureTarget::display();
    std::vector<Display> availableDisplays_;
    std::optional<WindowPickInfo> selectedWindowInfo_;

    const Logger recLog_ = Logger::recording();
    std::unique_ptr<RecordingSession> session_;
    // Declared after the session: the unsaved clip goes before the recording, as the manager goes.
    ClipSaver saver_;

    QString audioNote_;
    QString microphoneNote_;
    QString memoryNote_;
    QString targetNote_;
    QTimer memoryCheck_;

    // The running recording's video source ended by itself: buffering is over, what it buffered is
    // kept for Save What Was Buffered.
    void sessionEnded(const QString& reason);
    // A lost sound shows as "no system audio: <reason>" after "Recording…" until it is back.
    void sessionAudioChanged(AudioOrigin origin, const std::optional<Error>& lost);

    bool startInProgress_ = false;
    // Whether our mute is in force, so that every way out of buffering lifts it once.
    bool notificationsMuted_ = false;
};

// The markers that lie within the clip's pictures.
std::vector<Marker> markersWithin(const std::vector<Marker>& markers, const Clip& clip);

} // namespace backreel
