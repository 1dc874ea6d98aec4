#include "platform/ffmpeg/FfmpegVideoEncoder.h"

#include "platform/ffmpeg/FfmpegError.h"

#include <cmath>
#include <optional>
#include <pthread.h>
#include <span>
#include <utility>

namespace backreel {

namespace {

// The frame's PTS in the codec's 1/90000 time base.
std::int64_t toTicks(MediaTime time) {
    if (time.timeScale() == kTimeScale) {
        return time.value();
    }
    return av_rescale_rnd(time.value(), kTimeScale, time.timeScale(), AV_ROUND_NEAR_INF);
}

// A key-frame interval in ticks; 0 (no limit) for one that is not a positive number of seconds.
std::int64_t secondsToTicks(double seconds) {
    return std::isfinite(seconds) && seconds > 0 && seconds < 1e6 ? std::llround(seconds * kTimeScale) : 0;
}

VideoStreamFormatPtr formatOf(const OpenCodec& codec, const VideoEncoderSettings& settings) {
    auto format = std::make_shared<VideoStreamFormat>();
    format->codec = settings.codec;
    format->width = settings.width;
    format->height = settings.height;
    const AVCodecContext& context = *codec.context;
    if (context.extradata != nullptr && context.extradata_size > 0) {
        const auto* bytes = reinterpret_cast<const std::byte*>(context.extradata);
        format->codecConfiguration.assign(bytes, bytes + context.extradata_size);
    }
    return format;
}

QString secondsText(MediaTime time) {
    return QString::number(time.seconds(), 'f', 3);
}

} // namespace

FfmpegVideoEncoder::FfmpegVideoEncoder(OpenCodec codec, const VideoEncoderSettings& settings,
                                       EncoderOutput output)
    : encoderName_(codec.candidate.name)
    , format_(formatOf(codec, settings))
    , output_(std::move(output))
    , converter_(settings.width, settings.height, codec.softwareFormat)
    , codec_(std::move(codec))
    , keyFrameSchedule_(settings.maxKeyFrameInterval, secondsToTicks(settings.maxKeyFrameIntervalSeconds)) {
    thread_ = std::thread([this] { run(); });
    threadId_ = thread_.get_id();
}

FfmpegVideoEncoder::~FfmpegVideoEncoder() {
    close();
    // Still running only when close() was called from inside the output, which cannot join.
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool FfmpegVideoEncoder::encode(const VideoFrame& frame) {
    std::lock_guard submitLock(submitMutex_);
    {
        std::lock_guard lock(mutex_);
        if (closed_ || finishing_) {
            return true; // not a drop: nothing is taken any more
        }
        // What waits, in the time its frames are shown for: a still screen's frames far apart in
        // presentation time are no more work than any others.
        double queuedSeconds = 0;
        for (const PendingFrame& waiting : pending_) {
            queuedSeconds += waiting.duration.isValid() ? waiting.duration.seconds() : 0;
        }
        if (pending_.size() >= kMaxPendingFrames || queuedSeconds >= kMaxQueuedSeconds) {
            droppedFrames_.fetch_add(1, std::memory_order_relaxed);
            lastPictureQueued_ = lastPictureQueued_ && frame.repeat;
            return false;
        }
    }
    PendingFrame pending{nullptr, frame.presentationTime, frame.duration, {}, frame.keyFrame};
    if (frame.repeat && lastPictureQueued_ && frame.presentationTime.isValid()) {
        pending.repeat = true;
    } else if (!frame.image || !frame.presentationTime.isValid()) {
        pending.failure = QStringLiteral("a frame came without a picture or a time");
    } else if (AVFramePtr converted = takePoolFrame(); !converted) {
        pending.failure =
            QStringLiteral("no memory for a %1×%2 frame").arg(format_->width).arg(format_->height);
    } else if (!converter_.convert(*frame.image, *converted)) {
        pending.failure = QStringLiteral("the %1×%2 picture at %3 s could not be converted for %4")
                              .arg(frame.image->width())
                              .arg(frame.image->height())
                              .arg(secondsText(frame.presentationTime), QLatin1String(encoderName_));
        returnToPool(std::move(converted));
    } else {
        pending.frame = std::move(converted);
    }
    lastPictureQueued_ = pending.frame || pending.repeat;
    {
        std::lock_guard lock(mutex_);
        if (!closed_) {
            pending_.push_back(std::move(pending));
        }
    }
    wake_.notify_one();
    return true;
}

AVFramePtr FfmpegVideoEncoder::takePoolFrame() {
    AVFramePtr frame;
    {
        std::lock_guard lock(mutex_);
        if (!framePool_.empty()) {
            frame = std::move(framePool_.back());
            framePool_.pop_back();
        }
    }
    if (frame) {
        // A codec may still hold a reference on the pixels; then the frame gets fresh ones.
        return av_frame_make_writable(frame.get()) < 0 ? nullptr : std::move(frame);
    }
    return converter_.makeFrame();
}

void FfmpegVideoEncoder::returnToPool(AVFramePtr frame) {
    // A steady encoder cycles two frames, the one in the codec (kept as lastFrame_ for repeats)
    // and the one being filled: each frame the codec takes hands the one before back here. Frames
    // a slow moment or a burst took beyond that are freed: at 1920×1080 each is 3 MB, and a
    // larger pool kept one or more of them idle for the rest of the recording.
    constexpr std::size_t kPooledFrames = 1;
    std::lock_guard lock(mutex_);
    if (framePool_.size() < kPooledFrames) {
        framePool_.push_back(std::move(frame));
    }
}

void FfmpegVideoEncoder::finish() {
    {
        // Waits for an encode() in progress, so that its frame is queued before the drain.
        std::lock_guard submitLock(submitMutex_);
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_one();
    {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [this] { return drained_ || closed_; });
    }
    close();
}

void FfmpegVideoEncoder::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        pending_.clear();
    }
    wake_.notify_all();
    finished_.notify_all();
    if (std::this_thread::get_id() == threadId_) {
        return; // from inside the output: the thread stops once it returns
    }
    std::lock_guard closing(closeMutex_);
    if (thread_.joinable()) {
        thread_.join();
        // The codec (and a hardware encoder's surfaces) need not wait for the destructor.
        codec_ = OpenCodec{};
        packet_.reset();
        lastFrame_.reset();
        lastKey_.reset();
    }
}

void FfmpegVideoEncoder::run() {
    pthread_setname_np(pthread_self(), "Video encoder");
    for (;;) {
        std::optional<PendingFrame> next;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return closed_ || finishing_ || !pending_.empty(); });
            if (closed_) {
                return;
            }
            if (!pending_.empty()) {
                next = std::move(pending_.front());
                pending_.pop_front();
            }
        }
        if (!next) {
            // Finishing, and nothing waits: frames are no longer taken once finishing, so none
            // can come.
            drain();
            return;
        }
        encodePending(std::move(*next));
    }
}

void FfmpegVideoEncoder::encodePending(PendingFrame pending) {
    if (pending.repeat) {
        repeatLast(pending);
        return;
    }
    if (!pending.frame) {
        reportLostFrame(pending.failure);
        return;
    }
    submit(*pending.frame, pending);
    if (lastFrame_) {
        returnToPool(std::move(lastFrame_));
    }
    lastFrame_ = std::move(pending.frame);
}

void FfmpegVideoEncoder::repeatLast(const PendingFrame& pending) {
    if (!lastFrame_) {
        reportLostFrame(
            QStringLiteral("no picture to show again at %1 s").arg(secondsText(pending.presentationTime)));
        return;
    }
    if (!pending.keyFrame || !lastKey_ || lastKey_->index != nextFrameIndex_ - 1) {
        submit(*lastFrame_, pending);
        return;
    }
    // The codec's last frame is this picture as a key frame: the same bytes again, at the new time.
    const std::int64_t ticks = nextTicks(pending.presentationTime);
    const std::int64_t index = nextFrameIndex_++;
    keyFrameSchedule_.noteKeyFrame(index, ticks);
    lastKey_->index = index;
    hand(lastKey_->owner, pending.presentationTime, pending.duration, true);
}

std::int64_t FfmpegVideoEncoder::nextTicks(MediaTime presentationTime) {
    // Codecs need increasing timestamps; two PTS that round to the same tick keep their order.
    std::int64_t ticks = toTicks(presentationTime);
    if (nextFrameIndex_ > 0 && ticks <= lastTicks_) {
        ticks = lastTicks_ + 1;
    }
    lastTicks_ = ticks;
    return ticks;
}

void FfmpegVideoEncoder::submit(AVFrame& frame, const PendingFrame& pending) {
    const std::int64_t ticks = nextTicks(pending.presentationTime);
    const std::int64_t index = nextFrameIndex_++;
    frame.pts = ticks;
    const bool scheduled = keyFrameSchedule_.shouldForceKeyFrame(index, ticks);
    if (pending.keyFrame && !scheduled) {
        keyFrameSchedule_.noteKeyFrame(index, ticks);
    }
    frame.pict_type = scheduled || pending.keyFrame ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    submitted_[ticks] = SubmittedFrame{index, pending.presentationTime, pending.duration};
    if (const int result = sendFrame(&frame); result < 0) {
        submitted_.erase(ticks);
        reportLostFrame(QStringLiteral("%1 could not encode the frame at %2 s (%3)")
                            .arg(QLatin1String(encoderName_), secondsText(pending.presentationTime),
                                 ffmpegReason(result)));
    }
    receivePackets();
}

int FfmpegVideoEncoder::sendFrame(AVFrame* frame) {
    AVCodecContext* context = codec_.context.get();
    if (frame == nullptr || !codec_.hardwareFrames) {
        return avcodec_send_frame(context, frame);
    }
    // VAAPI encodes from GPU surfaces: upload the converted frame into one from the pool.
    AVFramePtr surface(av_frame_alloc());
    if (!surface) {
        return AVERROR(ENOMEM);
    }
    int result = av_hwframe_get_buffer(codec_.hardwareFrames.get(), surface.get(), 0);
    if (result >= 0) {
        result = av_hwframe_transfer_data(surface.get(), frame, 0);
    }
    if (result >= 0) {
        result = av_frame_copy_props(surface.get(), frame);
    }
    return result < 0 ? result : avcodec_send_frame(context, surface.get());
}

void FfmpegVideoEncoder::drain() {
    if (const int result = sendFrame(nullptr); result < 0) {
        reportLostFrame(QStringLiteral("%1 could not finish the stream (%2)")
                            .arg(QLatin1String(encoderName_), ffmpegReason(result)));
    }
    receivePackets();
    {
        std::lock_guard lock(mutex_);
        drained_ = true;
    }
    finished_.notify_all();
}

void FfmpegVideoEncoder::receivePackets() {
    for (;;) {
        if (!packet_) {
            packet_.reset(av_packet_alloc());
            if (!packet_) {
                reportLostFrame(
                    QStringLiteral("no memory for a packet of %1").arg(QLatin1String(encoderName_)));
                return;
            }
        }
        const int result = avcodec_receive_packet(codec_.context.get(), packet_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return;
        }
        if (result < 0) {
            reportLostFrame(QStringLiteral("%1 failed while encoding (%2)")
                                .arg(QLatin1String(encoderName_), ffmpegReason(result)));
            return;
        }
        deliverPacket(packet_->pts);
    }
}

void FfmpegVideoEncoder::deliverPacket(std::int64_t ticks) {
    // Without reordering packets come out in submission order, so entries before this one belong
    // to frames the codec dropped and are forgotten with it.
    const auto found = submitted_.find(ticks);
    SubmittedFrame frame{-1, MediaTime(ticks, kTimeScale), MediaTime(packet_->duration, kTimeScale)};
    if (found != submitted_.end()) {
        frame = found->second;
        submitted_.erase(submitted_.begin(), std::next(found));
    }
    const bool keyFrame = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
    if (keyFrame && frame.index >= 0) {
        keyFrameSchedule_.noteKeyFrame(frame.index, ticks);
    }
    const bool keepAsKey = keyFrame && frame.index >= 0;
    // Codecs hand back reference-counted packets; this only makes sure of it, without a copy.
    if (const int result = av_packet_make_refcounted(packet_.get()); result < 0) {
        av_packet_unref(packet_.get());
        reportLostFrame(QStringLiteral("%1 returned a packet that could not be kept (%2)")
                            .arg(QLatin1String(encoderName_), ffmpegReason(result)));
        return;
    }
    // The VideoPacket takes over the AVPacket, whose buffer holds the bytes.
    std::shared_ptr<const AVPacket> owner(packet_.release(), AVPacketDeleter{});
    if (keepAsKey) {
        lastKey_ = KeyPacket{owner, frame.index};
    }
    hand(owner, frame.presentationTime, frame.duration, keyFrame);
}

void FfmpegVideoEncoder::hand(const std::shared_ptr<const AVPacket>& owner, MediaTime presentationTime,
                              MediaTime duration, bool keyFrame) {
    const VideoPacket packet{
        owner,
        std::span(reinterpret_cast<const std::byte*>(owner->data), static_cast<std::size_t>(owner->size)),
        presentationTime,
        duration,
        keyFrame,
        format_};
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
    }
    if (output_.packet) {
        output_.packet(packet);
    }
}

void FfmpegVideoEncoder::reportLostFrame(const QString& message) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
    }
    if (output_.error) {
        output_.error(EncoderError{EncoderError::Kind::encodeFailed, message});
    }
}

} // namespace backreel
