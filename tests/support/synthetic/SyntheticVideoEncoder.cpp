#include "support/synthetic/SyntheticVideoEncoder.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <stop_token>
#include <thread>
#include <utility>

namespace backreel {

namespace {

// Frames come out on its own thread after the latency; every 15th is a key frame; a close drops the rest.
class SyntheticVideoEncoder final : public VideoEncoder {
public:
    SyntheticVideoEncoder(std::shared_ptr<SyntheticState> state, const VideoEncoderSettings& settings,
                          EncoderOutput output)
        : state_(std::move(state))
        , format_(std::make_shared<VideoStreamFormat>(
              VideoStreamFormat{settings.codec, settings.width, settings.height, {std::byte{0x01}}}))
        , output_(std::move(output))
        , latency_(state_->options().encodeLatencyMicroseconds)
        , packetBytes_(static_cast<std::size_t>(std::max(1, state_->options().packetBytes))) {}

    ~SyntheticVideoEncoder() override { close(); } // then the thread is stopped and joined

    bool encode(const VideoFrame& frame) override {
        {
            std::lock_guard lock(mutex_);
            if (closed_ || !frame.image) {
                return true;
            }
            pending_.push_back(frame);
        }
        changed_.notify_all();
        return true;
    }

    void finish() override {
        state_->record("finish");
        waitUntilIdle();
        close();
    }

    void close() override {
        {
            std::lock_guard lock(mutex_);
            if (std::exchange(closed_, true)) {
                return;
            }
        }
        state_->record("close");
        waitUntilIdle();
    }

    const VideoStreamFormat& format() const override { return *format_; }

private:
    void waitUntilIdle() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return pending_.empty() && !busy_; });
    }

    void run(const std::stop_token& stop) {
        std::unique_lock lock(mutex_);
        for (std::int64_t index = 0;; ++index) {
            if (!changed_.wait(lock, stop, [this] { return !pending_.empty(); })) {
                return;
            }
            const VideoFrame frame = pending_.front();
            pending_.pop_front();
            busy_ = !closed_ && output_.packet;
            if (busy_) {
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::microseconds(latency_));
                const std::vector<std::byte> bytes(packetBytes_, std::byte{0x42});
                output_.packet(VideoPacket::copyOf(bytes, frame.presentationTime, frame.duration,
                                                   index % 15 == 0, format_));
                lock.lock();
                busy_ = false;
            }
            changed_.notify_all();
        }
    }

    const std::shared_ptr<SyntheticState> state_;
    const VideoStreamFormatPtr format_;
    const EncoderOutput output_;
    const int latency_;
    const std::size_t packetBytes_;

    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<VideoFrame> pending_;
    bool busy_ = false;
    bool closed_ = false;
    std::jthread thread_{[this](const std::stop_token& stop) {
        run(stop);
    }}; // last: starts once the rest is there
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
