#include "capture/RecordingManager.h"

#include "capture/CaptureSetup.h"
#include "export/ClipSelection.h"
#include "export/SaveFlow.h"
#include "platform/CompressionSession.h"
#include "platform/NotificationMuter.h"
#include "platform/Settings.h"
#include "platform/WindowServer.h"
#include "platform/dispatch/Completion.h"


namespace backreel {

namespace {
QCoro::Task<MaybeError> startCapture(CaptureStream& stream) {
    Completion<MaybeError> started(Error::backreel(0, QStringLiteral("The capture did not report whether it started.")));
    stream.startCapture(started.callback());
    co_return co_await started.wait();
}

QCoro::Task<MaybeError> stopCapture(CaptureStream& stream) {
    Completion<MaybeError> stopped(std::nullopt);
    stream.stopCapture(stopped.callback());
    co_return co_await stopped.wait();
}
} // namespace

RecordingManager::RecordingManager(Platform platform, std::shared_ptr<SaveFlow> saveFlow, QObject* parent)
    : QObject(parent)
    , platform_(std::move(platform))
    , saveFlow_(std::move(saveFlow))
    , muteNotifications_(Settings::boolValue(Settings::kMuteNotificationsKey)) {}

RecordingManager::~RecordingManager() {
    // No callback may reach a context or store that is going away: stop the stream, then make
    // sure the session never calls back again.
    stream_.reset();
    captureDelegate_.reset();
    if (compressionSession_) {
        compressionSession_->invalidate();
    }
}

// MARK: published properties

void RecordingManager::setStatus(const RecordingStatus& status) {
    if (status_ == status) {
        return;
    }
    status_ = status;
    emit statusChanged();
}

void RecordingManager::setIncludeBackreelWindow(bool include) {
    if (includeBackreelWindow_ == include) {
        return;
    }
    includeBackreelWindow_ = include;
    emit includeBackreelWindowChanged();
}

void RecordingManager::setBufferDuration(RecordingDuration duration) {
    if (bufferDuration_ == duration) {
        return;
    }
    bufferDuration_ = duration;
    emit bufferDurationChanged();
}

void RecordingManager::setCaptureTarget(const CaptureTarget& target) {
    captureTarget_ = target;
    emit captureTargetChanged();
    if (target.asWindow() == nullptr) {
        setSelectedWindowInfo(std::nullopt);
    }
}

void RecordingManager::setMuteNotifications(bool mute) {
    Settings::setBoolValue(Settings::kMuteNotificationsKey, mute);
    if (muteNotifications_ == mute) {
        return;
    }
    muteNotifications_ = mute;
    emit muteNotificationsChanged();
}

void RecordingManager::setAvailableDisplays(const std::vector<Display>& displays) {
    if (availableDisplays_ == displays) {
        return;
    }
    availableDisplays_ = displays;
    emit availableDisplaysChanged();
}

void RecordingManager::setSelectedWindowInfo(const std::optional<WindowPickInfo>& info) {
    selectedWindowInfo_ = info;
    emit selectedWindowInfoChanged();
}

void RecordingManager::setStream(std::shared_ptr<CaptureStream> stream) {
    if (stream_ == stream) {
        return;
    }
    stream_ = std::move(stream);
    emit streamChanged();
}

void RecordingManager::setCompressionSession(std::shared_ptr<CompressionSession> session) {
    if (compressionSession_ == session) {
        return;
    }
    compressionSession_ = std::move(session);
    emit compressionSessionChanged();
}

void RecordingManager::setCaptureDelegate(std::shared_ptr<CaptureDelegate> delegate) {
    if (captureDelegate_ == delegate) {
        return;
    }
    captureDelegate_ = std::move(delegate);
    emit captureDelegateChanged();
}

void RecordingManager::setSessionRefcon(std::shared_ptr<CallbackContext> context) {
    sessionRefcon_ = std::move(context);
    emit sessionRefconChanged();
}

// MARK: operations

QCoro::Task<> RecordingManager::drainQueue(SerialQueue& queue) {
    Completion<bool> drained(true);
    queue.async([signal = drained.callback()] { signal(true); });
    co_await drained.wait();
}

QCoro::Task<Expected<ShareableContent>> RecordingManager::shareableContent() {
    Completion<Expected<ShareableContent>> content(
        Error::backreel(0, QStringLiteral("The capture service did not answer.")));
    platform_.capture->getShareableContent(content.callback());
    co_return co_await content.wait();
}

QCoro::Task<> RecordingManager::releaseLeftovers() {
    // What a failed start or a stream that stopped by itself left behind. The stream goes first so
    // no frame is submitted any more; the session is invalidated before its context is released.
    setStream(nullptr);
    setCaptureDelegate(nullptr);
    if (const std::shared_ptr<CompressionSession> session = compressionSession_) {
        std::function<void()> invalidate = [session] { session->invalidate(); };
        co_await runInBackground(std::move(invalidate));
        setCompressionSession(nullptr);
    }
    if (sessionRefcon_) {
        setSessionRefcon(nullptr);
    }
}

QCoro::Task<> RecordingManager::startRecording() {
    if (status_.is(RecordingStatus::Kind::buffering) || startInProgress_) {
        co_return;
    }
    startInProgress_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{startInProgress_};

    ringBuffer_->clear();
    audioRingBuffer_->clear();
    ringBuffer_->setMaxDuration(bufferDuration_.bufferCapacity());
    audioRingBuffer_->setMaxDuration(bufferDuration_.bufferCapacity());
    recLog_.info(QStringLiteral("[Start] target=%1s bufferCapacity=%2s")
                     .arg(fixed(bufferDuration_.seconds(), 0))
                     .arg(fixed(bufferDuration_.bufferCapacity(), 1)));

    const Expected<ShareableContent> content = co_await shareableContent();
    if (!content) {
        setStatus(RecordingStatus::error(kPermissionMessage));
        co_return;
    }

    const std::optional<ResolvedCapture> capture = resolveCapture(
        captureTarget_, includeBackreelWindow_, content.value(), platform_.windowServer->mainDisplayID());
    if (!capture) {
        setStatus(RecordingStatus::error(QStringLiteral("No display found.")));
        co_return;
    }
    recLog_.info(QStringLiteral("[Start] captureSize=%1×%2").arg(capture->width).arg(capture->height));

    co_await releaseLeftovers();

    Expected<CompressionSetup> compression =
        createCompressionSession(*platform_.compression, capture->width, capture->height, ringBuffer_, recLog_);
    if (!compression) {
        failStart(compression.error());
        co_return;
    }
    setCompressionSession(compression.value().session);
    setSessionRefcon(compression.value().context);

    setCaptureDelegate(std::make_shared<CaptureDelegate>(compressionSession_, audioRingBuffer_, recLog_));

    const StreamConfiguration configuration = makeStreamConfiguration(*capture);
    setStream(platform_.capture->createStream(capture->filter, configuration, this));
    const std::shared_ptr<CaptureStream> stream = stream_;
    if (MaybeError error = stream->addStreamOutput(captureDelegate_, StreamOutputType::screen, captureQueue_)) {
        failStart(*error);
        co_return;
    }
    if (MaybeError error = stream->addStreamOutput(captureDelegate_, StreamOutputType::audio, audioQueue_)) {
        failStart(*error);
        co_return;
    }

    if (MaybeError error = co_await startCapture(*stream)) {
        failStart(*error);
        co_return;
    }

    recLog_.info(QStringLiteral("[Start] SCStream started OK"));
    if (muteNotifications_) {
        platform_.notifications->postMute();
        notificationsMuted_ = true;
    }
    setStatus(RecordingStatus::buffering());
}

void RecordingManager::failStart(const Error& error) {
    recLog_.error(QStringLiteral("[Start] SCStream failed: %1").arg(error.description));
    setStatus(RecordingStatus::error(error.description));
}

void RecordingManager::postUnmuteIfNeeded() {
    if (muteNotifications_ || notificationsMuted_) {
        platform_.notifications->postUnmute();
    }
    notificationsMuted_ = false;
}

QCoro::Task<> RecordingManager::stopAndSave() {
    if (!status_.is(RecordingStatus::Kind::buffering)) {
        co_return;
    }
    setStatus(RecordingStatus::saving());
    recLog_.info(QStringLiteral("[Stop] User triggered stop"));
    postUnmuteIfNeeded();

    if (const std::shared_ptr<CaptureStream> stream = stream_) {
        co_await stopCapture(*stream); // an error here changes nothing: the stop goes on
        setStream(nullptr);
    }
    recLog_.info(QStringLiteral("[Stop] SCStream stopped; draining capture queue…"));

    co_await drainQueue(captureQueue_);
    co_await drainQueue(audioQueue_);

    const std::int64_t audioCallbacks = captureDelegate_ ? captureDelegate_->audioSamplesIn() : 0;
    setCaptureDelegate(nullptr);
    recLog_.info(QStringLiteral("[Stop] Queues drained; delegate released (audioCallbacks=%1)").arg(audioCallbacks));
    if (audioCallbacks == 0) {
        recLog_.error(QStringLiteral("[Stop] Zero audio callbacks — is another app playing audio? "
                                     "(excludesCurrentProcessAudio=true means Backreel's own audio is excluded)"));
    }

    if (const std::shared_ptr<CompressionSession> session = compressionSession_) {
        recLog_.info(QStringLiteral("[Stop] Completing VT session…"));
        co_await completeAndInvalidate(session);
        recLog_.info(QStringLiteral("[Stop] VT session completed and invalidated"));
        setCompressionSession(nullptr);
    }
    if (sessionRefcon_) {
        setSessionRefcon(nullptr);
    }

    const std::vector<MediaSamplePtr> video = ringBuffer_->snapshot();
    ringBuffer_->clear();
    const std::vector<MediaSamplePtr> audio = audioRingBuffer_->snapshot();
    audioRingBuffer_->clear();

    ClipSelection selection = selectClip(video, audio, bufferDuration_.seconds(), recLog_);
    if (const QString* message = std::get_if<QString>(&selection)) {
        setStatus(RecordingStatus::error(*message));
        co_return;
    }
    const RecordingStatus outcome = co_await saveFlow_->save(std::get<Clip>(std::move(selection)));
    setStatus(outcome);
}

QCoro::Task<> RecordingManager::refreshDisplays() {
    const Expected<ShareableContent> content = co_await shareableContent();
    if (!content) {
        co_return;
    }
    setAvailableDisplays(content.value().displays);
    const auto* displayTarget = captureTarget_.asDisplay();
    if (displayTarget != nullptr && !displayTarget->display) {
        if (std::optional<Display> main =
                mainDisplayOf(content.value().displays, platform_.windowServer->mainDisplayID())) {
            setCaptureTarget(CaptureTarget::display(*main));
        }
    }
}

void RecordingManager::streamDidStopWithError(CaptureStream&, const Error& error) {
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            if (!status_.is(RecordingStatus::Kind::buffering)) {
                return;
            }
            setStatus(RecordingStatus::error(error.description));
            // Buffering is over: lift our mute now rather than leave notifications off.
            if (notificationsMuted_) {
                platform_.notifications->postUnmute();
                notificationsMuted_ = false;
            }
        },
        Qt::QueuedConnection);
}

} // namespace backreel
