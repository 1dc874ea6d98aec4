#pragma once

#include "capture/CaptureTarget.h"
#include "capture/ClipSaver.h"
#include "capture/MemoryLimit.h"
#include "capture/RecorderSettings.h"
#include "capture/RecordingDuration.h"
#include "capture/RecordingSession.h"
#include "capture/WindowPickInfo.h"
#include "common/RecordingStatus.h"
#include "export/ClipSelection.h"
#include "platform/CaptureStream.h"
#include "core/dispatch/SerialQueue.h"
#include "core/log/Log.h"
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
// the options the user keeps in RecorderSettings. The running recording itself (stream, encoder,
// delegate, stores) is a RecordingSession, which a successful start makes and a stop or a failure
// ends; the manager keeps the two delivery queues that every session uses. What becomes of the
// clips it cuts is the ClipSaver's.
//
// Thread contract: every member runs on the main thread, except streamDidStopWithError() and
// streamAudioDidChange(), which the capture backend may call on any thread and which only
// schedule work on the main thread.
class RecordingManager final : public QObject, public StreamDelegate {
    Q_OBJECT

public:
    // Shown when the capture service cannot say what there is to capture and gives no reason.
    static inline const QString kContentUnavailableMessage =
        QStringLiteral("The screen cannot be captured: the capture service gave no reason.");

    RecordingManager(Platform platform, std::shared_ptr<SaveFlow> saveFlow,
                     std::shared_ptr<const RecorderSettings> settings, QObject* parent = nullptr);
    ~RecordingManager() override;

    // Starts buffering from the current settings. Does nothing while buffering (or while another
    // start is still on its way). The outcome shows only in status().
    QCoro::Task<> startRecording();
    // Stops buffering, cuts the clip and saves it. Does nothing unless buffering. A save that
    // fails keeps the clip as the unsaved clip; a cancel lets it go.
    QCoro::Task<> stopAndSave();
    // Save Clip: cuts the newest `length` of the buffer (the chosen duration when none; never more
    // than it) on a key frame and saves it while buffering goes on, in the clip folder under its
    // dated name, or where the user says when "Ask where to save" is on. Saves queue: a clip is cut
    // at once and written once the clips before it are; none is dropped. With a fresh buffer after
    // each save the stores start empty after the cut. Completes when this clip's save has ended;
    // the outcome shows in clipSaves() and in clipSaved() or saveFailed(). Does nothing unless
    // buffering.
    QCoro::Task<> saveClip(std::optional<std::chrono::seconds> length = std::nullopt);
    // Saves the unsaved clip once more, from the save dialog on. A failure keeps it again, and so
    // does a cancel, which also brings back the status shown before. Does nothing without an
    // unsaved clip or while buffering or saving.
    QCoro::Task<> saveAgain();
    // Lets the unsaved clip go.
    void discardUnsavedClip();
    // Fills availableDisplays() and, for a display target without a display, picks the main one.
    QCoro::Task<> refreshDisplays();
    // What can be captured now, from the capture service; an error when it refuses or never answers.
    QCoro::Task<Expected<ShareableContent>> shareableContent();
    // What the user chose in the desktop's dialog, where the capture service has one; an error
    // when the user cancelled (kCaptureCancelledCode), the service failed or it never answered.
    QCoro::Task<Expected<ShareableContent>> chosenContent(ContentKind kind);

    void streamDidStopWithError(CaptureStream& stream, const Error& error) override;
    // A lost audio shows as "no system audio: <reason>" after "Recording…" until it is back.
    void streamAudioDidChange(CaptureStream& stream, const std::optional<Error>& lost) override;

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

    // The clip a failed save kept, or that a recording which ended by itself had buffered, until
    // it is saved, discarded or a new recording starts; unsavedClipChanged() tells of changes.
    bool hasUnsavedClip() const { return saver_.hasUnsavedClip(); }
    UnsavedClipOffer unsavedClipOffer() const { return saver_.unsavedClipOffer(); }

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

private:
    // What the running recording lacks, each kind shown in the status line while buffering.
    enum class BufferingNote { audio, memory };
    // Sets (or, with an empty text, clears) one note; the status follows while buffering.
    void setBufferingNote(BufferingNote which, const QString& text);
    RecordingStatus bufferingStatus() const;

    // While buffering, once a second: the memory note follows what the limit left in the buffer.
    void updateMemoryNote();

    void failStart(const Error& error);
    void postUnmuteIfNeeded();
    // Ends the running recording and cuts its clip, of the chosen duration, out of what it buffered.
    QCoro::Task<ClipSelection> endRecording();
    // After the stream stopped by itself: stops the session and keeps what it had buffered.
    QCoro::Task<> keepWhatWasBuffered();
    void dropUnsavedClip(const QString& why);

    const Platform platform_;
    const std::shared_ptr<const RecorderSettings> settings_;

    RecordingStatus status_ = RecordingStatus::idle();
    bool includeBackreelWindow_ = false;
    RecordingDuration bufferDuration_ = RecordingDuration::tenSeconds;
    CaptureTarget captureTarget_ = CaptureTarget::display();
    std::vector<Display> availableDisplays_;
    std::optional<WindowPickInfo> selectedWindowInfo_;
    // The limit of the recording that runs or starts, taken from the settings as it starts.
    MemoryLimit memoryLimit_ = MemoryLimit::defaultLimit();

    const Logger recLog_ = Logger::recording();
    SerialQueue captureQueue_{"com.loopvane.capture"};
    SerialQueue audioQueue_{"com.loopvane.audio"};
    // Declared after the queues: destroyed first, while they still run.
    std::unique_ptr<RecordingSession> session_;
    // Declared after the session: the unsaved clip goes before the recording, as the manager goes.
    ClipSaver saver_;

    QString audioNote_;
    QString memoryNote_;
    QTimer memoryCheck_;

    // An audio note a stream asked for. The stream is compared, never used.
    struct AudioReport {
        const CaptureStream* stream = nullptr;
        QString note;
    };
    // Applies the reports that came in, in order; on the main thread.
    Q_INVOKABLE void takeAudioReports();
    // A stream that stopped by itself, with its reason.
    struct StreamStop {
        const CaptureStream* stream = nullptr;
        QString reason;
    };
    // Ends buffering for the stops that came in, if one is the running recording's; main thread.
    Q_INVOKABLE void takeStreamStops();
    // Reports from the capture threads, handed over under the mutex (Qt's event queue hands over
    // nothing a thread checker can see).
    std::mutex streamReportsMutex_;
    std::vector<AudioReport> incomingAudioReports_;
    std::vector<StreamStop> incomingStops_;
    // The last report taken, kept for a start whose session does not exist yet when its stream
    // tells of a loss.
    AudioReport audioReport_;

    bool startInProgress_ = false;
    // Whether our mute is in force, so that every way out of buffering lifts it once.
    bool notificationsMuted_ = false;
};

} // namespace backreel
