#include "capture/RecordingSession.h"

#include "capture/VideoCompression.h"
#include "core/dispatch/Completion.h"

namespace backreel {

namespace {
QCoro::Task<MaybeError> startCapture(CaptureStream& stream) {
    Completion<MaybeError> started(
        Error::backreel(0, QStringLiteral("The capture did not report whether it started.")));
    stream.startCapture(started.callback());
    co_return co_await started.wait();
}

QCoro::Task<MaybeError> stopCapture(CaptureStream& stream) {
    Completion<MaybeError> stopped(std::nullopt);
    stream.stopCapture(stopped.callback());
    co_return co_await stopped.wait();
}
} // namespace

RecordingSession::RecordingSession(const RecordingSetup& setup, SerialQueue& captureQueue,
                                   SerialQueue& audioQueue, Logger log)
    : captureQueue_(captureQueue)
    , audioQueue_(audioQueue)
    , log_(log)
    , stores_(MediaStores::create(setup.bufferCapacity, setup.memoryLimit, log)) {}

RecordingSession::~RecordingSession() {
    // The stream goes first so no frame is submitted any more; then the encoder stops calling
    // back. Blocks still queued hold the delegate, which holds the closed encoder: harmless.
    stream_.reset();
    if (encoder_) {
        encoder_->close();
    }
}

QCoro::Task<Expected<std::unique_ptr<RecordingSession>>>
RecordingSession::start(Platform platform, RecordingSetup setup, StreamDelegate* streamDelegate,
                        SerialQueue& captureQueue, SerialQueue& audioQueue, Logger log) {
    std::unique_ptr<RecordingSession> session(new RecordingSession(setup, captureQueue, audioQueue, log));

    Expected<std::shared_ptr<VideoEncoder>> encoder = openRecordingEncoder(
        *platform.encoders, setup.capture.width, setup.capture.height, session->stores_, log);
    if (!encoder) {
        co_return encoder.error();
    }
    session->encoder_ = std::move(encoder).value();
    session->delegate_ = std::make_shared<CaptureDelegate>(session->encoder_, session->stores_, log);

    const StreamConfiguration configuration = makeStreamConfiguration(setup.capture);
    session->stream_ = platform.capture->createStream(setup.capture.filter, configuration, streamDelegate);
    if (!session->stream_) {
        co_return Error::backreel(0, QStringLiteral("The capture could not be created."));
    }
    if (MaybeError error =
            session->stream_->addStreamOutput(session->delegate_, StreamOutputType::screen, captureQueue)) {
        co_return *error;
    }
    if (MaybeError error =
            session->stream_->addStreamOutput(session->delegate_, StreamOutputType::audio, audioQueue)) {
        co_return *error;
    }
    const std::shared_ptr<CaptureStream> stream = session->stream_;
    if (MaybeError error = co_await startCapture(*stream)) {
        co_return *error;
    }
    co_return std::move(session);
}

QCoro::Task<BufferedMedia> RecordingSession::stop() {
    if (stopped_) {
        co_return BufferedMedia{};
    }
    stopped_ = true;

    if (const std::shared_ptr<CaptureStream> stream = stream_) {
        co_await stopCapture(*stream); // an error here changes nothing: the stop goes on
        stream_.reset();
    }
    log_.info(QStringLiteral("[Stop] Capture stopped; draining capture queue…"));
    // After the last frame: a still picture lasts until the stop.
    captureQueue_.async([delegate = delegate_] { delegate->finishVideo(); });

    co_await drainQueue(captureQueue_);
    co_await drainQueue(audioQueue_);

    const std::int64_t audioCallbacks = delegate_->audioChunksIn();
    delegate_.reset();
    log_.info(
        QStringLiteral("[Stop] Queues drained; delegate released (audioCallbacks=%1)").arg(audioCallbacks));
    if (audioCallbacks == 0) {
        log_.error(QStringLiteral("[Stop] Zero audio callbacks — is anything playing audio, and is the audio "
                                  "server running?"));
    }

    if (const std::shared_ptr<VideoEncoder> encoder = encoder_) {
        log_.info(QStringLiteral("[Stop] Completing the encoder…"));
        co_await finishEncoder(encoder);
        log_.info(QStringLiteral("[Stop] Encoder completed and closed"));
    }

    BufferedMedia media{stores_->video()->snapshot(), stores_->audio()->snapshot()};
    stores_->video()->clear();
    stores_->audio()->clear();
    co_return media;
}

} // namespace backreel
