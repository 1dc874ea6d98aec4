#pragma once

// Driving an FFmpeg asset writer in tests: a feeder that behaves like the save flow's, writers
// with their inputs, finishing and waiting, and made-up pass-through frames.

#include "FfmpegTestMedia.h"
#include "platform/AssetWriter.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/ffmpeg/FfmpegAssetWriterService.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <vector>

namespace backreel::test {

inline const MediaTime kFirstVideoPts = MediaTime::makeWithSeconds(5123.4, kTimeScale);
inline const MediaTime kFiftyMilliseconds = MediaTime(4500, kTimeScale);

// Feeds samples into an input from a queue of its own, the way the save flow does: appends while
// the input is ready, returns when it is not, and marks it finished at the end or when the writer
// stops. Records how the input called it.
class Feeder {
public:
    Feeder(std::shared_ptr<AssetWriter> writer, std::shared_ptr<AssetWriterInput> input,
           std::vector<MediaSamplePtr> samples)
        : writer_(std::move(writer))
        , input_(std::move(input))
        , samples_(std::move(samples)) {}

    void start() {
        input_->requestMediaDataWhenReady(queue_, [this] { feed(); });
    }

    // Before returning from a call that filled the input, stays this long in it: the input becomes
    // ready again meanwhile and must call again once this call has returned.
    void lingerWhenFull(std::chrono::milliseconds linger) { linger_ = linger; }

    bool waitUntilDone(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return done_; });
    }

    // Waits until this many samples went in (or the timeout passed); returns how many did.
    std::size_t waitForAppended(std::size_t count,
                                std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return appended_ >= count || done_; });
        return appended_;
    }

    std::size_t appended() const {
        std::lock_guard lock(mutex_);
        return appended_;
    }
    bool refused() const { return refused_.load(); }
    bool stopped() const { return stopped_.load(); }
    int calls() const { return calls_.load(); }
    int callsAfterDone() const { return callsAfterDone_.load(); }
    int overlappingCalls() const { return overlapping_.load(); }

private:
    void feed() {
        ++calls_;
        if (running_.exchange(true)) {
            ++overlapping_;
        }
        feedOnce();
        running_ = false;
    }

    void feedOnce() {
        if (finished_) {
            ++callsAfterDone_;
            return;
        }
        if (!input_->isReadyForMoreMediaData()) {
            return;
        }
        for (;;) {
            if (writer_->status() != AssetWriterStatus::writing) {
                stopped_ = true;
                end();
                return;
            }
            if (index_ == samples_.size()) {
                end();
                return;
            }
            if (!input_->append(samples_[index_])) {
                refused_ = true;
                end();
                return;
            }
            ++index_;
            {
                std::lock_guard lock(mutex_);
                appended_ = index_;
            }
            changed_.notify_all();
            if (!input_->isReadyForMoreMediaData()) {
                std::this_thread::sleep_for(linger_);
                return;
            }
        }
    }

    void end() {
        finished_ = true;
        input_->markAsFinished();
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
    }

    const std::shared_ptr<AssetWriter> writer_;
    const std::shared_ptr<AssetWriterInput> input_;
    const std::vector<MediaSamplePtr> samples_;
    // Touched on the queue only.
    std::size_t index_ = 0;
    bool finished_ = false;
    std::chrono::milliseconds linger_{0};
    std::atomic<bool> running_{false};
    std::atomic<int> calls_{0};
    std::atomic<int> callsAfterDone_{0};
    std::atomic<int> overlapping_{0};
    std::atomic<bool> refused_{false};
    std::atomic<bool> stopped_{false};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t appended_ = 0;
    bool done_ = false;
    // Last, so that it goes first and its pending blocks run while the rest still exists.
    SerialQueue queue_{"com.loopvane.write"};
};

// Calls finishWriting and waits for the completion; returns how often it was called (at most once
// is right), or 0 when it never came.
inline int finishAndWait(AssetWriter& writer) {
    struct State {
        std::mutex mutex;
        std::condition_variable called;
        int count = 0;
    };
    auto state = std::make_shared<State>();
    writer.finishWriting([state] {
        std::lock_guard lock(state->mutex);
        ++state->count;
        state->called.notify_all();
    });
    std::unique_lock lock(state->mutex);
    state->called.wait_for(lock, std::chrono::seconds(10), [&] { return state->count > 0; });
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // a second call would come about now
    lock.lock();
    return state->count;
}

inline AudioOutputSettings aacSettings(std::int64_t channels, double rate, std::int64_t bitRate) {
    AudioOutputSettings settings;
    settings.numberOfChannels = channels;
    settings.sampleRate = rate;
    settings.encoderBitRate = bitRate;
    return settings;
}

// Pass-through samples with made-up payloads: an Annex B start code and slice header byte, then
// random bytes. The muxer only repackages them, so they need not decode.
inline std::vector<MediaSamplePtr> randomVideo(const FormatDescriptionPtr& format, int frames,
                                               std::size_t bytes, MediaTime firstPts) {
    std::mt19937 random(7);
    std::vector<MediaSamplePtr> samples;
    for (int index = 0; index < frames; ++index) {
        std::vector<std::byte> payload(bytes);
        for (std::byte& value : payload) {
            value = static_cast<std::byte>(random() % 255 + 1);
        }
        payload[0] = payload[1] = payload[2] = std::byte{0};
        payload[3] = std::byte{1};
        payload[4] = index % 15 == 0 ? std::byte{0x65} : std::byte{0x41}; // IDR or non-IDR slice
        MediaSample::Parts parts;
        parts.formatDescription = format;
        parts.dataBuffer = BlockBuffer::fromBytes(std::move(payload));
        const MediaTime pts = firstPts + MediaTime(index * kFrameTicks, kTimeScale);
        parts.timing = {SampleTimingInfo{MediaTime(kFrameTicks, kTimeScale), pts, pts}};
        parts.attachments = notSyncAttachments(index % 15 != 0);
        samples.push_back(MediaSample::make(std::move(parts)));
    }
    return samples;
}

inline FormatDescriptionPtr h264Format(int width = 160, int height = 96) {
    return encodeVideo("libx264", codec::h264, width, height, 1, kFirstVideoPts, 15).format;
}

struct Inputs {
    std::shared_ptr<AssetWriter> writer;
    std::shared_ptr<AssetWriterInput> video;
    std::shared_ptr<AssetWriterInput> audio;
};

// A writer at path with a video input and, when audioHint is given, an audio input.
inline Inputs makeWriter(const QString& path, const FormatDescriptionPtr& videoHint,
                         const FormatDescriptionPtr& audioHint = nullptr,
                         const AudioOutputSettings& settings = aacSettings(2, 48000, 192000)) {
    FfmpegAssetWriterService service;
    Expected<std::shared_ptr<AssetWriter>> created = service.createWriter(path, FileType::mpeg4);
    EXPECT_TRUE(created) << created.error().description.toStdString();
    if (!created) {
        return {};
    }
    Inputs inputs{created.value(), nullptr, nullptr};
    inputs.video = inputs.writer->makeInput(MediaType::video, std::nullopt, videoHint);
    EXPECT_TRUE(inputs.writer->canAddInput(*inputs.video));
    inputs.writer->addInput(inputs.video);
    if (audioHint) {
        inputs.audio = inputs.writer->makeInput(MediaType::audio, settings, audioHint);
        EXPECT_TRUE(inputs.writer->canAddInput(*inputs.audio));
        inputs.writer->addInput(inputs.audio);
    }
    return inputs;
}

// Writes the samples through the inputs the way the save flow does and finishes the movie.
inline void writeAll(Inputs& inputs, std::vector<MediaSamplePtr> video, std::vector<MediaSamplePtr> audio) {
    ASSERT_TRUE(inputs.writer->startWriting()) << inputs.writer->error()->description.toStdString();
    inputs.writer->startSession(kFirstVideoPts);
    Feeder videoFeeder(inputs.writer, inputs.video, std::move(video));
    std::optional<Feeder> audioFeeder;
    if (inputs.audio) {
        audioFeeder.emplace(inputs.writer, inputs.audio, std::move(audio));
        audioFeeder->start();
    }
    videoFeeder.start();
    ASSERT_TRUE(videoFeeder.waitUntilDone());
    ASSERT_TRUE(!audioFeeder || audioFeeder->waitUntilDone());
    EXPECT_FALSE(videoFeeder.refused() || videoFeeder.stopped());
    EXPECT_FALSE(audioFeeder && (audioFeeder->refused() || audioFeeder->stopped()));
    EXPECT_EQ(videoFeeder.callsAfterDone(), 0);
    EXPECT_EQ(videoFeeder.overlappingCalls(), 0);
    ASSERT_EQ(finishAndWait(*inputs.writer), 1);
    ASSERT_EQ(inputs.writer->status(), AssetWriterStatus::completed)
        << inputs.writer->error().value_or(Error{}).description.toStdString();
    EXPECT_FALSE(inputs.writer->error());
}

} // namespace backreel::test
