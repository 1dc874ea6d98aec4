#include "capture/RecordingSession.h"

#include "capture/VideoCompression.h"

namespace backreel {

RecordingSession::RecordingSession(const RecordingSetup& setup, Logger log)
    : log_(log)
    , stores_(MediaStores::create(setup.bufferCapacity, setup.memoryLimit, log)) {}

RecordingSession::~RecordingSession() {
    // The sources go first, so nothing is handed on any more; then the encoder stops calling back.
    if (source_) {
        source_->stop();
    }
    if (audio_) {
        audio_->stop();
    }
    if (microphone_) {
        microphone_->stop();
    }
    if (encoder_) {
        encoder_->close();
    }
}

QCoro::Task<Expected<std::unique_ptr<RecordingSession>>>
RecordingSession::start(Platform platform, RecordingSetup setup, Logger log) {
    std::unique_ptr<RecordingSession> session(new RecordingSession(setup, log));

    Expected<std::shared_ptr<VideoEncoder>> encoder = openRecordingEncoder(
        *platform.encoders, setup.capture.width, setup.capture.height, session->stores_, log, setup.codec,
                                                                setup.frameRate);
    if (!encoder) {
        co_return encoder.error();
    }
    session->encoder_ = std::move(encoder).value();
    session->pipeline_ = std::make_unique<FramePipeline>(session->encoder_, log);

    session->source_ =
        platform.capture->makeVideoSource(setup.capture.filter, videoSourceSettings(setup.capture, setup.frameRate));
    if (!session->source_) {
        co_return Error(QStringLiteral("The capture could not be created."));
    }
    RecordingSession* const self = session.get();
    connect(session->source_.get(), &VideoSource::ended, self, &RecordingSession::sourceEnded);

    // The sound first, so that it covers the first picture.
    const auto reportTo = [self](AudioOrigin origin) {
        return [self, origin](const std::optional<Error>& lost) {
            {
                std::lock_guard lock(self->audioReportsMutex_);
                self->audioReports_.emplace_back(origin, lost);
            }
            QMetaObject::invokeMethod(self, "takeAudioReports", Qt::QueuedConnection);
        };
    };
    session->audio_ = std::make_unique<AudioCapture>(session->stores_, AudioOrigin::system, log);
    session->audio_->start(platform.audio.get(), platform.audioCodecs, setup.systemSound,
                           reportTo(AudioOrigin::system));
    if (setup.microphone) {
        session->microphone_ = std::make_unique<AudioCapture>(session->stores_, AudioOrigin::microphone, log);
        session->microphone_->start(platform.audio.get(), platform.audioCodecs, *setup.microphone,
                                    reportTo(AudioOrigin::microphone));
    }

    VideoSource* const source = session->source_.get();
    if (std::optional<CaptureError> failure = co_await source->start(*session->pipeline_)) {
        co_return Error(failure->message);
    }
    co_return std::move(session);
}

std::optional<Marker> RecordingSession::mark(const QString& label) {
    const MediaTime newest = stores_->video()->newestTime();
    if (!newest.isValid()) {
        return std::nullopt; // no clip could hold it
    }
    const MediaTime oldest = stores_->video()->oldestTime();
    std::erase_if(markers_, [&](const Marker& marker) { return marker.at < oldest; });
    markers_.push_back({newest, label});
    log_.info(QStringLiteral("[Mark] Marker at %1s%2")
                  .arg(fixed(markers_.back().at.seconds(), 3),
                       label.isEmpty() ? QString() : QStringLiteral(": ") + label));
    return markers_.back();
}

void RecordingSession::sourceEnded(const CaptureError& reason) {
    if (!stopped_) {
        emit ended(reason.message);
    }
}

void RecordingSession::takeAudioReports() {
    std::vector<std::pair<AudioOrigin, std::optional<Error>>> reports;
    {
        std::lock_guard lock(audioReportsMutex_);
        reports.swap(audioReports_);
    }
    for (const auto& [origin, lost] : reports) {
        (origin == AudioOrigin::microphone ? microphoneLoss_ : audioLoss_) = lost;
        if (!stopped_) {
            emit audioChanged(origin, lost);
        }
    }
}

QCoro::Task<BufferedMedia> RecordingSession::stop() {
    if (stopped_) {
        co_return BufferedMedia{};
    }
    stopped_ = true;

    // Once they return, no frame and no sound comes any more.
    source_->stop();
    pipeline_->finish();
    audio_->stop();
    if (microphone_) {
        microphone_->stop();
    }
    const std::int64_t audioCallbacks = audio_->chunksIn();
    log_.info(QStringLiteral("[Stop] Capture stopped (videoFrames=%1 dropped=%2 audioCallbacks=%3)")
                  .arg(pipeline_->framesIn())
                  .arg(pipeline_->framesDropped())
                  .arg(audioCallbacks));
    if (audioCallbacks == 0) {
        log_.error(QStringLiteral("[Stop] Zero audio callbacks — is anything playing audio, and is the audio "
                                  "server running?"));
    }

    log_.info(QStringLiteral("[Stop] Completing the encoder…"));
    co_await finishEncoder(encoder_);
    log_.info(QStringLiteral("[Stop] Encoder completed and closed"));

    BufferedMedia media{stores_->video()->snapshot(), stores_->audio()->snapshot()};
    stores_->video()->clear();
    stores_->audio()->clear();
    co_return media;
}

} // namespace backreel
