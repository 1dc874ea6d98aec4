#include "support/synthetic/SyntheticVideoEncoder.h"

#include "core/dispatch/SerialQueue.h"

#include <chrono>
#include <future>
#include <mutex>
#include <thread>

namespace backreel {

namespace {

class SyntheticVideoEncoder final : public VideoEncoder {
public:
    SyntheticVideoEncoder(std::shared_ptr<SyntheticState> state, const VideoEncoderSettings& settings,
                          EncoderOutput output)
        : state_(std::move(state))
        , format_(std::make_shared<VideoStreamFormat>(
              VideoStreamFormat{settings.codec,
                                settings.width,
                                settings.height,
                                {std::byte{0x01}, std::byte{0x64}, std::byte{0x00}, std::byte{0x28}}}))
        , output_(std::move(output))
        , keyFrameInterval_(std::max(1, state_->options().keyFrameInterval))
        , latency_(state_->options().encodeLatencyMicroseconds)
        , packetBytes_(static_cast<std::size_t>(std::max(1, state_->options().packetBytes))) {}

    ~SyntheticVideoEncoder() override { close(); }

    void encode(const VideoFrame& frame) override {
        std::lock_guard lock(mutex_);
        if (closed_ || !frame.image) {
            return;
        }
        const std::int64_t index = submitted_++;
        encoder_.async([this, frame, index] { produce(frame, index); });
    }

    void finish() override {
        state_->record("finish");
        waitForEncoder();
        close();
    }

    void close() override {
        {
            std::lock_guard lock(mutex_);
            if (closed_) {
                return;
            }
            closed_ = true;
        }
        state_->record("close");
        waitForEncoder();
    }

    const VideoStreamFormat& format() const override { return *format_; }

private:
    void waitForEncoder() {
        std::promise<void> done;
        std::future<void> finished = done.get_future();
        encoder_.async([&done] { done.set_value(); });
        finished.wait();
    }

    void produce(const VideoFrame& frame, std::int64_t index) {
        {
            std::lock_guard lock(mutex_);
            if (closed_ || !output_.packet) {
                return;
            }
        }
        if (latency_ > 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(latency_));
        }
        const std::vector<std::byte> bytes(packetBytes_, std::byte{0x42});
        output_.packet(VideoPacket::copyOf(bytes, frame.presentationTime, frame.duration,
                                           index % keyFrameInterval_ == 0, format_));
    }

    const std::shared_ptr<SyntheticState> state_;
    const VideoStreamFormatPtr format_;
    const EncoderOutput output_;
    const int keyFrameInterval_;
    const int latency_;
    const std::size_t packetBytes_;

    std::mutex mutex_;
    bool closed_ = false;
    std::int64_t submitted_ = 0;
    // Declared last: destroyed (and joined) first.
    SerialQueue encoder_{"synthetic.encoder"};
};

} // namespace

Expected<std::unique_ptr<VideoEncoder>, EncoderError>
SyntheticVideoEncoderService::open(const VideoEncoderSettings& settings, EncoderOutput output) {
    const SyntheticOptions options = state_->options();
    state_->record(std::string("open ") + codecLogName(settings.codec) +
                   (settings.requireHardware ? " hardware" : ""));
    if (settings.requireHardware) {
        if (!options.hardwareHevcAvailable || settings.codec != VideoCodec::hevc) {
            return EncoderError{EncoderError::Kind::unavailable, QStringLiteral("no hardware encoder")};
        }
    } else if (options.openError) {
        return *options.openError;
    }
    return std::unique_ptr<VideoEncoder>(new SyntheticVideoEncoder(state_, settings, std::move(output)));
}

} // namespace backreel
