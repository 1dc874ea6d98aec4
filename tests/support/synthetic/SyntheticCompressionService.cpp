#include "support/synthetic/SyntheticCompressionService.h"

#include "platform/dispatch/SerialQueue.h"

#include <chrono>
#include <future>
#include <mutex>
#include <thread>

namespace backreel {

namespace {

const char* propertyName(CompressionProperty key) {
    switch (key) {
    case CompressionProperty::realTime:
        return "realTime";
    case CompressionProperty::averageBitRate:
        return "averageBitRate";
    case CompressionProperty::allowFrameReordering:
        return "allowFrameReordering";
    case CompressionProperty::maxKeyFrameInterval:
        return "maxKeyFrameInterval";
    case CompressionProperty::maxKeyFrameIntervalDuration:
        return "maxKeyFrameIntervalDuration";
    case CompressionProperty::profileLevel:
        return "profileLevel";
    }
    return "?";
}

std::string valueText(const PropertyValue& value) {
    if (const bool* flag = std::get_if<bool>(&value)) {
        return *flag ? "true" : "false";
    }
    if (const std::int64_t* number = std::get_if<std::int64_t>(&value)) {
        return std::to_string(*number);
    }
    if (const double* real = std::get_if<double>(&value)) {
        return std::to_string(*real).substr(0, 3);
    }
    return std::get<ProfileLevel>(value) == ProfileLevel::hevcMainAutoLevel ? "HEVC_Main" : "H264_High";
}

class SyntheticCompressionSession final : public CompressionSession {
public:
    SyntheticCompressionSession(std::shared_ptr<SyntheticState> state, std::int32_t width, std::int32_t height,
                                FourCC codecType, CompressionOutputCallback callback, void* refcon)
        : state_(std::move(state))
        , format_(FormatDescription::video(codecType, {width, height},
                                           {std::byte{0x01}, std::byte{0x64}, std::byte{0x00}, std::byte{0x28}}))
        , callback_(callback)
        , refcon_(refcon)
        , keyFrameInterval_(std::max(1, state_->options().keyFrameInterval))
        , latency_(state_->options().encodeLatencyMicroseconds) {}

    ~SyntheticCompressionSession() override { invalidate(); }

    std::int32_t setProperty(CompressionProperty key, const PropertyValue& value) override {
        state_->record(std::string("setProperty ") + propertyName(key) + "=" + valueText(value));
        return 0;
    }

    std::int32_t prepareToEncodeFrames() override {
        state_->record("prepareToEncodeFrames");
        return 0;
    }

    std::int32_t encodeFrame(const ImageBufferPtr& image, MediaTime pts, MediaTime duration) override {
        std::lock_guard lock(mutex_);
        if (invalidated_ || !image) {
            return compression_status::kInvalidSession;
        }
        const std::int64_t index = submitted_++;
        encoder_.async([this, pts, duration, index] { emitFrame(pts, duration, index); });
        return 0;
    }

    std::int32_t completeFrames(MediaTime) override {
        state_->record("completeFrames");
        waitForEncoder();
        return 0;
    }

    void invalidate() override {
        {
            std::lock_guard lock(mutex_);
            if (invalidated_) {
                return;
            }
            invalidated_ = true;
        }
        state_->record("invalidate");
        waitForEncoder();
    }

private:
    void waitForEncoder() {
        std::promise<void> done;
        std::future<void> finished = done.get_future();
        encoder_.async([&done] { done.set_value(); });
        finished.wait();
    }

    void emitFrame(MediaTime pts, MediaTime duration, std::int64_t index) {
        {
            std::lock_guard lock(mutex_);
            if (invalidated_ || callback_ == nullptr) {
                return;
            }
        }
        if (latency_ > 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(latency_));
        }
        MediaSample::Parts parts;
        parts.formatDescription = format_;
        parts.dataBuffer = BlockBuffer::fromBytes(std::vector<std::byte>(64, std::byte{0x42}));
        parts.timing = {SampleTimingInfo{duration, pts, pts}};
        parts.sizes = {64};
        parts.attachments = notSyncAttachments(index % keyFrameInterval_ != 0);
        callback_(refcon_, 0, MediaSample::make(std::move(parts)));
    }

    const std::shared_ptr<SyntheticState> state_;
    const FormatDescriptionPtr format_;
    const CompressionOutputCallback callback_;
    void* const refcon_;
    const int keyFrameInterval_;
    const int latency_;

    std::mutex mutex_;
    bool invalidated_ = false;
    std::int64_t submitted_ = 0;
    // Declared last: destroyed (and joined) first.
    SerialQueue encoder_{"synthetic.encoder"};
};

} // namespace

std::int32_t SyntheticCompressionService::createSession(std::int32_t width, std::int32_t height, FourCC codecType,
                                                        const EncoderSpecification* encoderSpecification,
                                                        CompressionOutputCallback outputCallback,
                                                        void* outputCallbackRefCon,
                                                        std::shared_ptr<CompressionSession>* session) {
    const SyntheticOptions options = state_->options();
    const bool hardware = encoderSpecification != nullptr && encoderSpecification->requireHardwareAcceleratedVideoEncoder;
    state_->record("createSession " + codecType.toString() + (hardware ? " hardware" : ""));
    *session = nullptr;
    if (hardware) {
        if (!options.hardwareHevcAvailable || codecType != codec::hevc) {
            return compression_status::kHardwareNotAvailable;
        }
    } else {
        if (options.createSessionStatus != 0) {
            return options.createSessionStatus;
        }
        if (options.createSessionReturnsNothing) {
            return 0;
        }
    }
    *session = std::make_shared<SyntheticCompressionSession>(state_, width, height, codecType, outputCallback,
                                                             outputCallbackRefCon);
    return 0;
}

} // namespace backreel
