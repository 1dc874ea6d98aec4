#include "platform/portal/PortalCaptureStream.h"

#include "core/dispatch/SerialQueue.h"
#include "core/log/Log.h"
#include "platform/pixels/FrameClock.h"
#include "platform/portal/PortalCast.h"
#include "platform/portal/PortalPicture.h"
#include "platform/StreamAudio.h"

#include <chrono>
#include <pthread.h>

namespace backreel {

namespace {
// Converted pictures in use at once at most: two queued, one being encoded, one being filled.
constexpr std::size_t kPictureSlots = 4;
} // namespace

PortalCaptureStream::PortalCaptureStream(std::shared_ptr<portal::PortalCast> cast, ContentFilter filter,
                                         StreamConfiguration configuration, StreamDelegate* delegate,
                                         std::shared_ptr<SystemAudioService> audio)
    : cast_(std::move(cast))
    , filter_(std::move(filter))
    , configuration_(std::move(configuration))
    , delegate_(delegate)
    , audioService_(std::move(audio)) {}

PortalCaptureStream::~PortalCaptureStream() {
    shutDown();
    if (cast_) {
        cast_->close();
    }
}

MaybeError PortalCaptureStream::addStreamOutput(std::shared_ptr<StreamOutput> output, StreamOutputType type,
                                                SerialQueue& queue) {
    std::lock_guard lock(mutex_);
    (type == StreamOutputType::screen ? screen_ : audio_) = StreamTarget{std::move(output), &queue};
    return std::nullopt;
}

void PortalCaptureStream::startCapture(CaptureCompletion completion) {
    if (!cast_) {
        completion(
            Error::backreel(0, QStringLiteral("The screen sharing chosen in the desktop's dialog has ended; "
                                              "start again to choose anew.")));
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (started_) {
            completion(Error::backreel(-1, QStringLiteral("The capture is already running.")));
            return;
        }
        started_ = true;
        stopping_ = false;
    }
    // Plain pointers: shutDown() detaches both handlers, and waits for one that runs, before the
    // stream goes.
    cast_->setHandlers([this](const portal::SourcePicture& picture) { takePicture(picture); },
                       [this](const Error& error) {
                           {
                               std::lock_guard lock(mutex_);
                               if (!ended_) {
                                   ended_ = error;
                               }
                           }
                           wake_.notify_all();
                       });
    StreamTarget audioTarget;
    {
        std::lock_guard lock(mutex_);
        audioTarget = audio_;
    }
    audioSource_ = startStreamAudio(*this, configuration_, audioTarget.output, audioTarget.queue,
                                    audioService_.get(), delegate_);
    tickThread_ = std::thread([this] { runTicks(); });
    completion(std::nullopt);
}

void PortalCaptureStream::takePicture(const portal::SourcePicture& picture) {
    {
        std::lock_guard lock(mutex_);
        if (!started_ || stopping_) {
            return;
        }
        // Sooner than the frame interval allows (with a quarter of it for jitter): left out.
        if (lastPictureTime_.isValid() &&
            picture.presentationTime - lastPictureTime_ <
                MediaTime(configuration_.minimumFrameInterval.value() * 3,
                          configuration_.minimumFrameInterval.timeScale() * 4)) {
            ++statistics_.skippedFast;
            return;
        }
    }
    if (!delivery_.hasRoom()) {
        std::lock_guard lock(mutex_);
        ++statistics_.droppedBusy;
        return;
    }
    std::shared_ptr<std::vector<std::byte>> slot;
    for (const auto& candidate : pictureSlots_) {
        if (candidate.use_count() == 1) { // only this pool holds it
            slot = candidate;
            break;
        }
    }
    const auto rowBytes = static_cast<std::size_t>(configuration_.width) * 4;
    const std::size_t bytes = rowBytes * static_cast<std::size_t>(configuration_.height);
    if (!slot) {
        if (pictureSlots_.size() >= kPictureSlots) {
            std::lock_guard lock(mutex_);
            ++statistics_.droppedBusy;
            return;
        }
        slot = pictureSlots_.emplace_back(std::make_shared<std::vector<std::byte>>(bytes));
    }
    slot->resize(bytes);
    const pixels::PixelView destination{slot->data(), configuration_.width, configuration_.height, rowBytes};
    const QSizeF displaySize = filter_.contentRect().size();
    const pixels::PixelRect area = portal::visibleArea(picture.crop, configuration_.sourceRect, displaySize);
    portal::renderPicture(picture, area, destination, scratch_);
    const ImageBufferPtr image =
        ImageBuffer::wrap(slot, slot->data(), configuration_.width, configuration_.height, rowBytes);

    MediaTime presentationTime;
    {
        std::lock_guard lock(mutex_);
        lastPictureTime_ = picture.presentationTime;
        presentationTime =
            portal::handOnTime(picture.presentationTime, lastHandedOn_, configuration_.minimumFrameInterval);
        lastHandedOn_ = presentationTime;
        pictureSinceTick_ = true;
    }
    deliverFrame(image, presentationTime);
}

void PortalCaptureStream::runTicks() {
    pthread_setname_np(pthread_self(), "Portal ticks");
    using Clock = std::chrono::steady_clock;
    const std::chrono::nanoseconds interval = pixels::frameIntervalOf(configuration_.minimumFrameInterval);
    const Clock::time_point start = Clock::now();
    std::int64_t index = 1;
    for (;;) {
        std::optional<Error> ended;
        MediaTime tick;
        {
            std::unique_lock lock(mutex_);
            const auto due = start + std::chrono::duration_cast<Clock::duration>(interval * index);
            if (wake_.wait_until(lock, due, [this] { return stopping_ || ended_.has_value(); })) {
                if (stopping_) {
                    return;
                }
                ended = ended_;
            } else if (const MediaTime now = pixels::monotonicNow();
                       !pictureSinceTick_ &&
                       portal::handOnTime(now, lastHandedOn_, configuration_.minimumFrameInterval) == now) {
                tick = now;
                lastHandedOn_ = now;
            } else {
                pictureSinceTick_ = false;
            }
        }
        if (ended) {
            Logger::recording().error(QStringLiteral("[Capture] Stream stopped: %1").arg(ended->description));
            // Held across the call: a delegate that drops the last reference must not pull the
            // stream out from under it. Then the stream ends here (see shutDown()).
            const std::shared_ptr<PortalCaptureStream> self = weak_from_this().lock();
            if (self && delegate_ != nullptr) {
                delegate_->streamDidStopWithError(*this, *ended);
            }
            return;
        }
        if (tick.isValid()) {
            deliverFrame(nullptr, tick);
        }
        index = std::max(pixels::nextFrameIndex(Clock::now() - start, interval), index + 1);
    }
}

void PortalCaptureStream::deliverFrame(const ImageBufferPtr& image, MediaTime presentationTime) {
    delivery_.deliverToScreen(weak_from_this(), mutex_, screen_, statistics_,
                              VideoFrame{image, presentationTime, configuration_.minimumFrameInterval});
}

void PortalCaptureStream::shutDown() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (cast_) {
        // No picture after this returns: the handlers run on PipeWire's thread under its lock.
        cast_->setHandlers(nullptr, nullptr);
    }
    if (tickThread_.joinable()) {
        if (tickThread_.get_id() == std::this_thread::get_id()) {
            tickThread_.detach(); // the tick thread ends right after this
        } else {
            tickThread_.join();
        }
    }
    if (audioSource_) {
        audioSource_->stop();
        audioSource_.reset();
    }
}

void PortalCaptureStream::stopCapture(CaptureCompletion completion) {
    shutDown();
    {
        std::lock_guard lock(mutex_);
        started_ = false;
    }
    if (cast_) {
        cast_->close();
    }
    completion(std::nullopt);
}

PortalCaptureStream::Statistics PortalCaptureStream::statistics() const {
    std::lock_guard lock(mutex_);
    return statistics_;
}

} // namespace backreel
