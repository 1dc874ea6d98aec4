#include "platform/x11/X11VideoSource.h"

#include "core/log/Log.h"
#include "platform/x11/FrameGrabber.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Geometry.h"

#include <chrono>
#include <pthread.h>

namespace backreel {

X11VideoSource::X11VideoSource(ContentFilter filter, VideoSourceSettings settings)
    : filter_(std::move(filter))
    , settings_(std::move(settings)) {}

X11VideoSource::~X11VideoSource() {
    stop();
}

QCoro::Task<std::optional<CaptureError>> X11VideoSource::start(FrameSink& sink) {
    co_return startGrabbing(sink);
}

std::optional<CaptureError> X11VideoSource::startGrabbing(FrameSink& sink) {
    if (grabThread_.joinable() || sink_ != nullptr) {
        return CaptureError::failed(QStringLiteral("The capture is already running."));
    }
    auto connection = x11::X11Connection::open();
    if (!connection) {
        return CaptureError::failed(connection.error().description);
    }
    connection_ = std::move(connection).value();
    auto grabber = x11::makeFrameGrabber(connection_, filter_, settings_);
    if (!grabber) {
        connection_.reset();
        return CaptureError::failed(grabber.error().description);
    }
    grabber_ = std::move(grabber).value();
    // The first picture is taken whatever changed; this only settles what was reported before it
    // (a new damage record reports the whole screen).
    grabber_->hasChanged();
    const MediaTime presentationTime = x11::monotonicNow();
    Expected<ImageBufferPtr, CaptureError> first = grabber_->grab();
    if (!first) {
        const QString reason = connection_->hasFailed() ? x11::X11Connection::connectionLostError().description
                                                        : first.error().message;
        grabber_.reset();
        connection_.reset();
        return CaptureError::failed(reason);
    }
    sink_ = &sink;
    if (first.value()) {
        handOn(first.value(), presentationTime);
    }
    grabThread_ = std::thread([this] { runGrabLoop(); });
    return std::nullopt;
}

void X11VideoSource::runGrabLoop() {
    pthread_setname_np(pthread_self(), "X11 grab");
    using Clock = std::chrono::steady_clock;
    const std::chrono::nanoseconds interval = x11::frameIntervalOf(settings_.frameInterval);
    const Clock::time_point start = Clock::now(); // the first frame was taken just now
    std::int64_t index = 1;
    bool failureLogged = false;
    // The content is gone for good: the source ends, and this thread with it.
    auto end = [this](const QString& reason) {
        Logger::recording().error(QStringLiteral("[Capture] Stream stopped: %1").arg(reason));
        reportEnd(CaptureError::ended(reason));
    };
    const QString connectionLost = x11::X11Connection::connectionLostError().description;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            const auto due = start + std::chrono::duration_cast<Clock::duration>(interval * index);
            if (wake_.wait_until(lock, due, [this] { return stopping_; })) {
                return;
            }
        }
        const MediaTime presentationTime = x11::monotonicNow();
        if (!grabber_->hasChanged()) {
            if (connection_->hasFailed()) {
                end(connectionLost);
                return;
            }
            handOn(nullptr, presentationTime);
        } else {
            Expected<ImageBufferPtr, CaptureError> frame = grabber_->grab();
            if (connection_->hasFailed()) {
                end(connectionLost);
                return;
            }
            if (!frame) {
                if (frame.error().kind == CaptureError::Kind::ended) {
                    end(frame.error().message);
                    return;
                }
                if (!failureLogged) {
                    Logger::recording().error(QStringLiteral("[Capture] %1").arg(frame.error().message));
                    failureLogged = true;
                }
            } else if (frame.value()) {
                handOn(frame.value(), presentationTime);
            } else {
                std::lock_guard lock(mutex_);
                ++statistics_.droppedBusy;
            }
        }
        const std::int64_t next = x11::nextFrameIndex(Clock::now() - start, interval);
        if (next > index + 1) {
            std::lock_guard lock(mutex_);
            statistics_.skippedLate += next - index - 1;
        }
        index = std::max(next, index + 1);
    }
}

void X11VideoSource::handOn(const ImageBufferPtr& image, MediaTime presentationTime) {
    {
        std::lock_guard lock(mutex_);
        ++(image ? statistics_.delivered : statistics_.unchanged);
    }
    sink_->takeFrame(VideoFrame{image, presentationTime, settings_.frameInterval});
}

void X11VideoSource::stop() {
    VideoSource::stop();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (grabThread_.joinable()) {
        grabThread_.join();
    }
    sink_ = nullptr;
    grabber_.reset();
    connection_.reset();
}

X11VideoSource::Statistics X11VideoSource::statistics() const {
    std::lock_guard lock(mutex_);
    return statistics_;
}

} // namespace backreel
