#include "platform/ffmpeg/FfmpegCompressionSession.h"

#include "platform/log/Log.h"

#include <cmath>
#include <libyuv/convert_from_argb.h>
#include <libyuv/scale_argb.h>
#include <limits>
#include <optional>
#include <span>
#include <utility>

namespace backreel {

namespace {

// The frame's PTS in the encoder's 1/90000 time base.
std::int64_t toTicks(MediaTime time) {
    if (time.timeScale() == kTimeScale) {
        return time.value();
    }
    return av_rescale_rnd(time.value(), kTimeScale, time.timeScale(), AV_ROUND_NEAR_INF);
}

std::vector<std::byte> extradataOf(const AVCodecContext& context) {
    if (context.extradata == nullptr || context.extradata_size <= 0) {
        return {};
    }
    const auto* bytes = reinterpret_cast<const std::byte*>(context.extradata);
    return std::vector<std::byte>(bytes, bytes + context.extradata_size);
}

// The packet's bytes, shared with the packet rather than copied: the segment keeps a reference on
// the packet's buffer. Encoders hand back reference-counted packets; the copy is only a safeguard.
BlockBufferPtr wrapPacket(const AVPacket& packet) {
    const auto* data = reinterpret_cast<const std::byte*>(packet.data);
    const auto length = static_cast<std::size_t>(packet.size);
    if (packet.buf == nullptr) {
        return BlockBuffer::copyOf(std::span(data, length));
    }
    AVBufferRefPtr reference(av_buffer_ref(packet.buf));
    if (!reference) {
        return nullptr;
    }
    std::shared_ptr<const void> owner = std::shared_ptr<AVBufferRef>(std::move(reference));
    return BlockBuffer::fromSegments({BlockBuffer::Segment{std::move(owner), data, length}});
}

void logFailure(const char* what, const EncoderCandidate& candidate, int error) {
    Logger::recording().error(QStringLiteral("[Compression] %1 %2 failed: %3")
                                  .arg(QLatin1String(what), QLatin1String(candidate.name),
                                       QString::fromStdString(ffmpegErrorText(error))));
}

} // namespace

FfmpegCompressionSession::FfmpegCompressionSession(std::int32_t width, std::int32_t height, FourCC codecType,
                                                   EncoderCandidate encoder, std::string softwarePreset,
                                                   CompressionOutputCallback outputCallback,
                                                   void* outputCallbackRefCon)
    : width_(width)
    , height_(height)
    , codecType_(codecType)
    , candidate_(encoder)
    , outputCallback_(outputCallback)
    , outputCallbackRefCon_(outputCallbackRefCon) {
    settings_.softwarePreset = std::move(softwarePreset);
}

FfmpegCompressionSession::~FfmpegCompressionSession() {
    invalidate();
    // Still set only when invalidate() ran on the encoder thread, which then cannot join itself.
    if (encoderThread_.joinable()) {
        if (encoderThread_.get_id() == std::this_thread::get_id()) {
            encoderThread_.detach();
        } else {
            encoderThread_.join();
        }
    }
}

std::int32_t FfmpegCompressionSession::setProperty(CompressionProperty key, const PropertyValue& value) {
    std::lock_guard submitLock(submitMutex_);
    {
        std::lock_guard lock(mutex_);
        if (invalidated_) {
            return compression_status::kInvalidSession;
        }
    }
    if (opened_) {
        return compression_status::kParameter;
    }
    switch (key) {
    case CompressionProperty::realTime:
        if (const bool* flag = std::get_if<bool>(&value)) {
            settings_.realTime = *flag;
            return compression_status::kNoError;
        }
        break;
    case CompressionProperty::averageBitRate:
        if (const std::int64_t* bitRate = std::get_if<std::int64_t>(&value);
            bitRate != nullptr && *bitRate > 0) {
            settings_.averageBitRate = *bitRate;
            return compression_status::kNoError;
        }
        break;
    case CompressionProperty::allowFrameReordering:
        if (std::holds_alternative<bool>(value)) {
            return compression_status::kNoError;
        }
        break;
    case CompressionProperty::maxKeyFrameInterval:
        if (const std::int64_t* frames = std::get_if<std::int64_t>(&value);
            frames != nullptr && *frames >= 0) {
            settings_.maxKeyFrameInterval = *frames;
            return compression_status::kNoError;
        }
        break;
    case CompressionProperty::maxKeyFrameIntervalDuration: {
        std::optional<double> seconds;
        if (const double* real = std::get_if<double>(&value)) {
            seconds = *real;
        } else if (const std::int64_t* whole = std::get_if<std::int64_t>(&value)) {
            seconds = static_cast<double>(*whole);
        }
        if (seconds && std::isfinite(*seconds) && *seconds >= 0 && *seconds < 1e6) {
            maxKeyFrameIntervalDuration_ = *seconds;
            return compression_status::kNoError;
        }
        break;
    }
    case CompressionProperty::profileLevel:
        if (const ProfileLevel* level = std::get_if<ProfileLevel>(&value)) {
            const FourCC profileCodec = *level == ProfileLevel::hevcMainAutoLevel ? codec::hevc : codec::h264;
            if (profileCodec == codecType_) {
                settings_.profileLevel = *level;
                return compression_status::kNoError;
            }
        }
        break;
    }
    return compression_status::kParameter;
}

std::int32_t FfmpegCompressionSession::prepareToEncodeFrames() {
    std::lock_guard submitLock(submitMutex_);
    return openEncoderLocked();
}

std::int32_t FfmpegCompressionSession::openEncoderLocked() {
    if (opened_) {
        return compression_status::kNoError;
    }
    {
        std::lock_guard lock(mutex_);
        if (invalidated_ || finishRequested_) {
            return compression_status::kInvalidSession;
        }
    }
    if (openFailure_ != compression_status::kNoError) {
        return openFailure_;
    }
    FfmpegEncoder encoder;
    if (const int result = openFfmpegEncoder(candidate_, codecType_, width_, height_, settings_, &encoder);
        result < 0) {
        logFailure("Opening", candidate_, result);
        openFailure_ = compression_status::kEncoderFailed;
        return openFailure_;
    }
    packet_.reset(av_packet_alloc());
    if (!packet_) {
        openFailure_ = compression_status::kAllocationFailed;
        return openFailure_;
    }
    encoder_ = std::move(encoder);
    converter_.emplace(width_, height_, encoder_.softwareFormat);
    formatDescription_ =
        FormatDescription::video(codecType_, {width_, height_}, extradataOf(*encoder_.context));
    keyFrameSchedule_ = KeyFrameSchedule(settings_.maxKeyFrameInterval,
                                         std::llround(maxKeyFrameIntervalDuration_ * kTimeScale));
    {
        std::lock_guard lock(mutex_);
        if (invalidated_) {
            return compression_status::kInvalidSession;
        }
        // Everything the encoder thread reads was written above, before it starts.
        encoderThread_ = std::thread([this] { runEncoder(); });
    }
    opened_ = true;
    return compression_status::kNoError;
}

std::int32_t FfmpegCompressionSession::encodeFrame(const ImageBufferPtr& image, MediaTime presentationTime,
                                                   MediaTime duration) {
    if (!image || !presentationTime.isValid()) {
        return compression_status::kParameter;
    }
    std::lock_guard submitLock(submitMutex_);
    {
        std::lock_guard lock(mutex_);
        if (invalidated_ || finishRequested_) {
            return compression_status::kInvalidSession;
        }
    }
    if (const std::int32_t status = openEncoderLocked(); status != compression_status::kNoError) {
        return status;
    }
    {
        std::lock_guard lock(mutex_);
        if (pending_.size() >= kMaxPendingFrames) {
            ++dropsToReport_;
            wake_.notify_one();
            return compression_status::kNoError;
        }
    }
    AVFramePtr frame = takePoolFrame();
    if (!frame) {
        return compression_status::kAllocationFailed;
    }
    const std::int32_t status = converter_->convert(*image, *frame);
    std::lock_guard lock(mutex_);
    if (invalidated_) {
        return compression_status::kInvalidSession;
    }
    if (status != compression_status::kNoError) {
        framePool_.push_back(std::move(frame));
        return status;
    }
    pending_.push_back(PendingFrame{std::move(frame), presentationTime, duration});
    wake_.notify_one();
    return compression_status::kNoError;
}

AVFramePtr FfmpegCompressionSession::takePoolFrame() {
    AVFramePtr frame;
    {
        std::lock_guard lock(mutex_);
        if (!framePool_.empty()) {
            frame = std::move(framePool_.back());
            framePool_.pop_back();
        }
    }
    if (frame) {
        // An encoder may still hold a reference on the pixels; then the frame gets fresh ones.
        return av_frame_make_writable(frame.get()) < 0 ? nullptr : std::move(frame);
    }
    return converter_->makeFrame();
}

std::int32_t FfmpegCompressionSession::completeFrames(MediaTime) {
    std::lock_guard submitLock(submitMutex_);
    std::unique_lock lock(mutex_);
    if (invalidated_) {
        return compression_status::kInvalidSession;
    }
    finishRequested_ = true;
    if (!opened_) {
        return compression_status::kNoError; // nothing was ever submitted
    }
    wake_.notify_one();
    finished_.wait(lock, [this] { return encoderDrained_ || invalidated_; });
    return encoderDrained_ ? compression_status::kNoError : compression_status::kInvalidSession;
}

void FfmpegCompressionSession::invalidate() {
    std::thread encoderThread;
    {
        std::lock_guard lock(mutex_);
        invalidated_ = true;
        pending_.clear();
        // From the output callback the encoder thread cannot join itself; it stops after the
        // callback returns and the destructor joins it.
        if (encoderThread_.joinable() && encoderThread_.get_id() != std::this_thread::get_id()) {
            encoderThread = std::move(encoderThread_);
        }
    }
    wake_.notify_all();
    finished_.notify_all();
    if (encoderThread.joinable()) {
        encoderThread.join();
    }
}

void FfmpegCompressionSession::runEncoder() {
    for (;;) {
        std::optional<PendingFrame> next;
        std::int64_t drops = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] {
                return invalidated_ || !pending_.empty() || dropsToReport_ > 0 || finishRequested_;
            });
            if (invalidated_) {
                return;
            }
            drops = std::exchange(dropsToReport_, 0);
            if (!pending_.empty()) {
                next = std::move(pending_.front());
                pending_.pop_front();
            }
        }
        for (; drops > 0; --drops) {
            deliver(compression_status::kNoError, nullptr);
        }
        if (next) {
            encodePending(std::move(*next));
            continue;
        }
        bool finish = false;
        {
            std::lock_guard lock(mutex_);
            // Submissions stop before a finish is requested, so an empty queue now stays empty.
            finish = finishRequested_ && pending_.empty() && dropsToReport_ == 0;
        }
        if (finish) {
            if (const std::int32_t status = sendFrame(nullptr); status < 0) {
                deliver(status, nullptr);
            }
            receivePackets();
            {
                std::lock_guard lock(mutex_);
                encoderDrained_ = true;
            }
            finished_.notify_all();
            return;
        }
    }
}

void FfmpegCompressionSession::encodePending(PendingFrame pending) {
    // Encoders need increasing timestamps; two PTS that round to the same tick keep their order.
    std::int64_t ticks = toTicks(pending.presentationTime);
    if (nextFrameIndex_ > 0 && ticks <= lastTicks_) {
        ticks = lastTicks_ + 1;
    }
    lastTicks_ = ticks;
    const std::int64_t index = nextFrameIndex_++;

    AVFrame& frame = *pending.frame;
    frame.pts = ticks;
    frame.pict_type =
        keyFrameSchedule_.shouldForceKeyFrame(index, ticks) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    submitted_[ticks] = SubmittedFrame{index, pending.presentationTime, pending.duration};
    const std::int32_t status = sendFrame(&frame);
    {
        std::lock_guard lock(mutex_);
        framePool_.push_back(std::move(pending.frame));
    }
    if (status < 0) {
        submitted_.erase(ticks);
        deliver(status, nullptr);
    }
    receivePackets();
}

std::int32_t FfmpegCompressionSession::sendFrame(AVFrame* frame) {
    AVCodecContext* context = encoder_.context.get();
    if (frame == nullptr || !encoder_.hardwareFrames) {
        return avcodec_send_frame(context, frame);
    }
    // VAAPI encodes from GPU surfaces: upload the converted frame into one from the pool.
    AVFramePtr surface(av_frame_alloc());
    if (!surface) {
        return compression_status::kAllocationFailed;
    }
    int result = av_hwframe_get_buffer(encoder_.hardwareFrames.get(), surface.get(), 0);
    if (result >= 0) {
        result = av_hwframe_transfer_data(surface.get(), frame, 0);
    }
    if (result >= 0) {
        result = av_frame_copy_props(surface.get(), frame);
    }
    return result < 0 ? result : avcodec_send_frame(context, surface.get());
}

void FfmpegCompressionSession::receivePackets() {
    for (;;) {
        const int result = avcodec_receive_packet(encoder_.context.get(), packet_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return;
        }
        if (result < 0) {
            logFailure("Encoding with", candidate_, result);
            deliver(result, nullptr);
            return;
        }
        deliverPacket(*packet_);
        av_packet_unref(packet_.get());
    }
}

void FfmpegCompressionSession::deliverPacket(AVPacket& packet) {
    // Without B-frames packets come out in submission order, so entries before this one belong to
    // frames the encoder dropped and are forgotten with it.
    const auto found = submitted_.find(packet.pts);
    SubmittedFrame frame{-1, MediaTime(packet.pts, kTimeScale), MediaTime(packet.duration, kTimeScale)};
    if (found != submitted_.end()) {
        frame = found->second;
        submitted_.erase(submitted_.begin(), std::next(found));
    }
    const bool keyFrame = (packet.flags & AV_PKT_FLAG_KEY) != 0;
    if (keyFrame && frame.index >= 0) {
        keyFrameSchedule_.noteKeyFrame(frame.index, packet.pts);
    }
    BlockBufferPtr data = wrapPacket(packet);
    if (!data) {
        deliver(compression_status::kAllocationFailed, nullptr);
        return;
    }
    MediaSample::Parts parts;
    parts.formatDescription = formatDescription_;
    parts.dataBuffer = std::move(data);
    parts.timing = {SampleTimingInfo{frame.duration, frame.presentationTime, frame.presentationTime}};
    parts.sizes = {static_cast<std::size_t>(packet.size)};
    parts.attachments = notSyncAttachments(!keyFrame);
    deliver(compression_status::kNoError, MediaSample::make(std::move(parts)));
}

void FfmpegCompressionSession::deliver(std::int32_t status, const MediaSamplePtr& sample) {
    {
        std::lock_guard lock(mutex_);
        if (invalidated_) {
            return;
        }
    }
    if (outputCallback_ != nullptr) {
        outputCallback_(outputCallbackRefCon_, status, sample);
    }
}

} // namespace backreel
