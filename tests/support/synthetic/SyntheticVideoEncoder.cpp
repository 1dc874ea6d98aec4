#include "support/synthetic/SyntheticVideoEncoder.h"

#include <chrono>
#include <condition_variable>
#include <deque>
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
        , packetBytes_(static_cast<std::size_t>(std::max(1, state_->options().packetBytes)))
        , thread_([this] { run(); }) {}

    ~SyntheticVideoEncoder() override {
        close();
        {
            std::lock_guard lock(mutex_);
            ending_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    bool encode(const VideoFrame& frame) override {
        {
            std::lock_guard lock(mutex_);
            if (closed_ || !frame.image) {
                return true;
            }
            pending_.push_back({frame, submitted_++});
        }
        wake_.notify_all();
        return true;
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
    // Until every frame given so far has come out (or was skipped once closed).
    void waitForEncoder() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return pending_.empty() && !busy_; });
    }

    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return ending_ || !pending_.empty(); });
            if (pending_.empty()) {
                return;
            }
            const auto [frame, index] = pending_.front();
            pending_.pop_front();
            busy_ = true;
            lock.unlock();
            produce(frame, index);
            lock.lock();
            busy_ = false;
            idle_.notify_all();
        }
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
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::pair<VideoFrame, std::int64_t>> pending_;
    bool busy_ = false;
    bool closed_ = false;
    bool ending_ = false;
    std::int64_t submitted_ = 0;
    // Declared last: started once everything above is there.
    std::thread thread_;
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
