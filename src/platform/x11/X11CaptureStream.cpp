#include "platform/x11/X11CaptureStream.h"

#include "core/dispatch/SerialQueue.h"
#include "core/log/Log.h"
#include "platform/StreamAudio.h"
#include "platform/x11/FrameGrabber.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Geometry.h"

#include <chrono>
#include <pthread.h>

namespace backreel {

X11CaptureStream::X11CaptureStream(ContentFilter filter, StreamConfiguration configuration,
                                   StreamDelegate* delegate, std::shared_ptr<SystemAudioService> audio)
    : filter_(std::move(filter))
    , configuration_(std::move(configuration))
    , delegate_(delegate)
    , audioService_(std::move(audio)) {}

X11CaptureStream::~X11CaptureStream() {
    shutDown();
}

MaybeError X11CaptureStream::addStreamOutput(std::shared_ptr<StreamOutput> output, StreamOutputType type,
                                             SerialQueue& queue) {
    std::lock_guard lock(mutex_);
    (type == StreamOutputType::screen ? screen_ : audio_) = StreamTarget{std::move(output), &queue};
    return std::nullopt;
}

void X11CaptureStream::startCapture(CaptureCompletion completion) {
    {
        std::lock_guard lock(mutex_);
        if (started_) {
            completion(Error::backreel(-1, QStringLiteral("The capture is already running.")));
            return;
        }
    }
    auto connection = x11::X11Connection::open();
    if (!connection) {
        completion(connection.error());
        return;
    }
    connection_ = std::move(connection).value();
    auto grabber = x11::makeFrameGrabber(connection_, filter_, configuration_);
    if (!grabber) {
        connection_.reset();
        completion(grabber.error());
        return;
    }
    grabber_ = std::move(grabber).value();
    // The first picture is taken whatever changed; this only settles what was reported before it
    // (a new damage record reports the whole screen).
    grabber_->hasChanged();
    const MediaTime presentationTime = x11::monotonicNow();
    Expected<ImageBufferPtr> first = grabber_->grab();
    if (!first) {
        const Error error =
            connection_->hasFailed() ? x11::X11Connection::connectionLostError() : first.error();
        grabber_.reset();
        connection_.reset();
        completion(error);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        started_ = true;
        stopping_ = false;
    }
    if (first.value()) {
        deliverFrame(first.value(), presentationTime);
    }
    startAudio();
    grabThread_ = std::thread([this] { runGrabLoop(); });
    completion(std::nullopt);
}

void X11CaptureStream::startAudio() {
    StreamTarget target;
    {
        std::lock_guard lock(mutex_);
        target = audio_;
    }
    audioSource_ =
        startStreamAudio(*this, configuration_, target.output, target.queue, audioService_.get(), delegate_);
}

void X11CaptureStream::runGrabLoop() {
    pthread_setname_np(pthread_self(), "X11 capture");
    using Clock = std::chrono::steady_clock;
    const std::chrono::nanoseconds interval = x11::frameIntervalOf(configuration_.minimumFrameInterval);
    const Clock::time_point start = Clock::now(); // the first frame was taken just now
    std::int64_t index = 1;
    bool failureLogged = false;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            const auto due = start + std::chrono::duration_cast<Clock::duration>(interval * index);
            if (wake_.wait_until(lock, due, [this] { return stopping_; })) {
                return;
            }
        }
        if (!delivery_.hasRoom()) {
            std::lock_guard lock(mutex_);
            ++statistics_.droppedBusy;
        } else if (const MediaTime presentationTime = x11::monotonicNow(); !grabber_->hasChanged()) {
            if (connection_->hasFailed()) {
                endWithError(x11::X11Connection::connectionLostError());
                return;
            }
            deliverFrame(nullptr, presentationTime);
        } else {
            Expected<ImageBufferPtr> frame = grabber_->grab();
            if (connection_->hasFailed()) {
                endWithError(x11::X11Connection::connectionLostError());
                return;
            }
            if (!frame) {
                if (frame.error().code == x11::x11_error::kWindowClosed) {
                    endWithError(frame.error());
                    return;
                }
                if (!failureLogged) {
                    Logger::recording().error(QStringLiteral("[Capture] %1").arg(frame.error().description));
                    failureLogged = true;
                }
            } else if (frame.value()) {
                deliverFrame(frame.value(), presentationTime);
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

void X11CaptureStream::deliverFrame(const ImageBufferPtr& image, MediaTime presentationTime) {
    delivery_.deliverToScreen(weak_from_this(), mutex_, screen_, statistics_,
                              VideoFrame{image, presentationTime, configuration_.minimumFrameInterval});
}

void X11CaptureStream::endWithError(const Error& error) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return; // stopped by its owner: nobody is told
        }
    }
    Logger::recording().error(QStringLiteral("[Capture] Stream stopped: %1").arg(error.description));
    // Held across the call: a delegate that drops the last reference must not pull the stream out
    // from under it. Then the stream ends here, on the grab thread (see shutDown()).
    const std::shared_ptr<X11CaptureStream> self = weak_from_this().lock();
    if (self && delegate_ != nullptr) {
        delegate_->streamDidStopWithError(*this, error);
    }
}

void X11CaptureStream::shutDown() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (grabThread_.joinable()) {
        if (grabThread_.get_id() == std::this_thread::get_id()) {
            grabThread_.detach(); // the grab thread ends right after this
        } else {
            grabThread_.join();
        }
    }
    if (audioSource_) {
        audioSource_->stop();
        audioSource_.reset();
    }
    grabber_.reset();
    connection_.reset();
}

void X11CaptureStream::stopCapture(CaptureCompletion completion) {
    shutDown();
    {
        std::lock_guard lock(mutex_);
        started_ = false;
    }
    completion(std::nullopt);
}

X11CaptureStream::Statistics X11CaptureStream::statistics() const {
    std::lock_guard lock(mutex_);
    return statistics_;
}

} // namespace backreel
