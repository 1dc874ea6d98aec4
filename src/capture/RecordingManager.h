#pragma once

#include "capture/CaptureDelegate.h"
#include "capture/CaptureTarget.h"
#include "capture/RecordingDuration.h"
#include "common/RecordingStatus.h"
#include "capture/RingBuffer.h"
#include "capture/VideoCompression.h"
#include "capture/WindowPickInfo.h"
#include "platform/CaptureStream.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/log/Log.h"
#include "platform/Platform.h"

#include <memory>
#include <optional>
#include <QCoroTask>
#include <QObject>
#include <vector>

namespace backreel {

class SaveFlow;

// Owns a recording from start to save: the user's settings, the status, the two sample stores,
// the two delivery queues and, while buffering, the capture stream, the compression session and
// the capture delegate.
//
// Thread contract: every member runs on the main thread, except streamDidStopWithError(), which
// the capture backend may call on any thread and which only schedules work on the main thread.
class RecordingManager final : public QObject, public StreamDelegate {
    Q_OBJECT

public:
    static inline const QString kPermissionMessage = QStringLiteral(
        "Screen Recording permission required.\nEnable it in System Settings → Privacy & Security → "
        "Screen Recording, then relaunch Backreel.");

    RecordingManager(Platform platform, std::shared_ptr<SaveFlow> saveFlow, QObject* parent = nullptr);
    ~RecordingManager() override;

    // Starts buffering from the current settings. Does nothing while buffering (or while another
    // start is still on its way). The outcome shows only in status().
    QCoro::Task<> startRecording();
    // Stops buffering, cuts the clip and saves it. Does nothing unless buffering.
    QCoro::Task<> stopAndSave();
    // Fills availableDisplays() and, for a display target without a display, picks the main one.
    QCoro::Task<> refreshDisplays();
    // Completes once every block submitted to the queue before it has run.
    static QCoro::Task<> drainQueue(SerialQueue& queue);
    // What can be captured now, from the capture service; an error when it refuses or never answers.
    QCoro::Task<Expected<ShareableContent>> shareableContent();

    void streamDidStopWithError(CaptureStream& stream, const Error& error) override;

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
    bool muteNotifications() const { return muteNotifications_; }
    // Persisted on every assignment.
    void setMuteNotifications(bool mute);
    const std::vector<Display>& availableDisplays() const { return availableDisplays_; }
    void setAvailableDisplays(const std::vector<Display>& displays);
    const std::optional<WindowPickInfo>& selectedWindowInfo() const { return selectedWindowInfo_; }
    // Notifies on every assignment.
    void setSelectedWindowInfo(const std::optional<WindowPickInfo>& info);

    const std::shared_ptr<CaptureStream>& stream() const { return stream_; }
    const std::shared_ptr<CompressionSession>& compressionSession() const { return compressionSession_; }
    const std::shared_ptr<CaptureDelegate>& captureDelegate() const { return captureDelegate_; }
    const std::shared_ptr<CallbackContext>& sessionRefcon() const { return sessionRefcon_; }

    const Logger& logger() const { return logger_; }
    const Logger& recLog() const { return recLog_; }
    const std::shared_ptr<RingBuffer>& ringBuffer() const { return ringBuffer_; }
    const std::shared_ptr<AudioRingBuffer>& audioRingBuffer() const { return audioRingBuffer_; }
    SerialQueue& captureQueue() { return captureQueue_; }
    SerialQueue& audioQueue() { return audioQueue_; }
    const Platform& platform() const { return platform_; }

signals:
    void statusChanged();
    void includeBackreelWindowChanged();
    void bufferDurationChanged();
    void captureTargetChanged();
    void muteNotificationsChanged();
    void availableDisplaysChanged();
    void selectedWindowInfoChanged();
    void streamChanged();
    void compressionSessionChanged();
    void captureDelegateChanged();
    void sessionRefconChanged();

private:
    void setStream(std::shared_ptr<CaptureStream> stream);
    void setCompressionSession(std::shared_ptr<CompressionSession> session);
    void setCaptureDelegate(std::shared_ptr<CaptureDelegate> delegate);
    void setSessionRefcon(std::shared_ptr<CallbackContext> context);

    QCoro::Task<> releaseLeftovers();
    void failStart(const Error& error);
    void postUnmuteIfNeeded();

    const Platform platform_;
    const std::shared_ptr<SaveFlow> saveFlow_;

    RecordingStatus status_ = RecordingStatus::idle();
    bool includeBackreelWindow_ = false;
    RecordingDuration bufferDuration_ = RecordingDuration::tenSeconds;
    CaptureTarget captureTarget_ = CaptureTarget::display();
    bool muteNotifications_ = false;
    std::vector<Display> availableDisplays_;
    std::optional<WindowPickInfo> selectedWindowInfo_;

    const Logger logger_ = Logger::windowPicker();
    const Logger recLog_ = Logger::recording();
    const std::shared_ptr<RingBuffer> ringBuffer_ = RingBuffer::create();
    const std::shared_ptr<AudioRingBuffer> audioRingBuffer_ = AudioRingBuffer::create();
    SerialQueue captureQueue_{"com.loopvane.capture"};
    SerialQueue audioQueue_{"com.loopvane.audio"};

    // The context outlives the session that calls back into it.
    std::shared_ptr<CallbackContext> sessionRefcon_;
    std::shared_ptr<CompressionSession> compressionSession_;
    std::shared_ptr<CaptureDelegate> captureDelegate_;
    std::shared_ptr<CaptureStream> stream_;

    bool startInProgress_ = false;
    // Whether our mute is in force, so that every way out of buffering lifts it once.
    bool notificationsMuted_ = false;
};

} // namespace backreel
