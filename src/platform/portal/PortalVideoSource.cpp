#include "platform/portal/PortalVideoSource.h"

#include "core/log/Log.h"
#include "platform/pixels/FrameClock.h"
#include "platform/portal/PortalCast.h"
#include "platform/portal/PortalPicture.h"

namespace backreel {

namespace {
// Converted pictures in use at once at most: one shown (kept for repeats), one being encoded, one
// being filled, one spare.
constexpr std::size_t kPictureSlots = 4;
} // namespace

PortalVideoSource::PortalVideoSource(std::shared_ptr<portal::PortalCast> cast, ContentFilter filter,
                                     VideoSourceSettings settings)
    : cast_(std::move(cast))
    , filter_(std::move(filter))
    , settings_(std::move(settings)) {}

PortalVideoSource::~PortalVideoSource() {
    stop();
}

QCoro::Task<std::optional<CaptureError>> PortalVideoSource::start(FrameSink& sink) {
    if (!cast_) {
        co_return CaptureError::failed(QStringLiteral("The screen sharing chosen in the desktop's dialog has "
                                                      "ended; start again to choose anew."));
    }
    if (started_) {
        co_return CaptureError::failed(QStringLiteral("The capture is already running."));
    }
    // Before the handlers: nothing runs on PipeWire's thread for us yet.
    sink_ = &sink;
    started_ = true;
    startedAt_ = pixels::monotonicNow();
    // Plain pointers: stop() detaches every handler, and waits for one that runs, before the
    // source goes.
    cast_->setHandlers([this](const portal::SourcePicture& picture) { takePicture(picture); },
                       [this](const Error& error) {
                           Logger::recording().error(
                               QStringLiteral("[Capture] Stream stopped: %1").arg(error.description));
                           reportEnd(CaptureError::ended(error.description));
                       });
    cast_->setTickHandler(pixels::frameIntervalOf(settings_.frameInterval), [this] { tick(); });
    co_return std::nullopt;
}

void PortalVideoSource::takePicture(const portal::SourcePicture& picture) {
    // Sooner than the frame interval allows (with a quarter of it for jitter): left out.
    if (lastPictureTime_.isValid() &&
        picture.presentationTime - lastPictureTime_ <
            MediaTime(settings_.frameInterval.value() * 3, settings_.frameInterval.timeScale() * 4)) {
        std::lock_guard lock(mutex_);
        ++statistics_.skippedFast;
        return;
    }
    std::shared_ptr<std::vector<std::byte>> slot;
    for (const auto& candidate : pictureSlots_) {
        if (candidate.use_count() == 1) { // only this pool holds it
            slot = candidate;
            break;
        }
    }
    const auto rowBytes = static_cast<std::size_t>(settings_.width) * 4;
    const std::size_t bytes = rowBytes * static_cast<std::size_t>(settings_.height);
    if (!slot) {
        if (pictureSlots_.size() >= kPictureSlots) {
            std::lock_guard lock(mutex_);
            ++statistics_.droppedBusy;
            return;
        }
        slot = pictureSlots_.emplace_back(std::make_shared<std::vector<std::byte>>(bytes));
    }
    slot->resize(bytes);
    const pixels::PixelView destination{slot->data(), settings_.width, settings_.height, rowBytes};
    const QSizeF displaySize = filter_.contentRect().size();
    const pixels::PixelRect area = portal::visibleArea(picture.crop, settings_.sourceRect, displaySize);
    portal::renderPicture(picture, area, destination, scratch_);

    lastPictureTime_ = picture.presentationTime;
    const MediaTime presentationTime =
        portal::handOnTime(picture.presentationTime, lastHandedOn_, settings_.frameInterval);
    lastHandedOn_ = presentationTime;
    pictureSinceTick_ = true;
    anyPicture_ = true;
    handOn(ImageBuffer::wrap(slot, slot->data(), settings_.width, settings_.height, rowBytes), presentationTime);
}

void PortalVideoSource::tick() {
    const MediaTime now = pixels::monotonicNow();
    if (!anyPicture_) {
        if ((now - startedAt_).seconds() > kFirstPictureDeadline) {
            Logger::recording().error(QStringLiteral("[Capture] The screen's stream sent no picture in %1 s")
                                          .arg(kFirstPictureDeadline));
            reportEnd(CaptureError::ended(QStringLiteral("The screen's stream sent no picture.")));
        }
        return; // nothing to show again yet
    }
    // A picture since the last tick, or a tick too close to the last frame: nothing to say.
    if (std::exchange(pictureSinceTick_, false) ||
        portal::handOnTime(now, lastHandedOn_, settings_.frameInterval) != now) {
        return;
    }
    lastHandedOn_ = now;
    handOn(nullptr, now);
}

void PortalVideoSource::handOn(const ImageBufferPtr& image, MediaTime presentationTime) {
    {
        std::lock_guard lock(mutex_);
        ++(image ? statistics_.delivered : statistics_.unchanged);
    }
    sink_->takeFrame(VideoFrame{image, presentationTime, settings_.frameInterval});
}

void PortalVideoSource::stop() {
    VideoSource::stop();
    if (!cast_) {
        return;
    }
    // No handler runs after these return: they take PipeWire's lock, under which the handlers run.
    cast_->setTickHandler(std::chrono::nanoseconds(0), nullptr);
    cast_->setHandlers(nullptr, nullptr);
    cast_->close();
}

PortalVideoSource::Statistics PortalVideoSource::statistics() const {
    std::lock_guard lock(mutex_);
    return statistics_;
}

} // namespace backreel
