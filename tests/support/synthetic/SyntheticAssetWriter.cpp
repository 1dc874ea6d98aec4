#include "support/synthetic/SyntheticAssetWriter.h"

#include "platform/dispatch/SerialQueue.h"

#include <QFile>

#include <chrono>
#include <thread>

namespace backreel {

namespace {

class SyntheticWriter;

class SyntheticInput final : public AssetWriterInput, public std::enable_shared_from_this<SyntheticInput> {
public:
    SyntheticInput(SyntheticWriter& writer, MediaType type) : writer_(writer), type_(type) {}

    MediaType mediaType() const override { return type_; }
    void setExpectsMediaDataInRealTime(bool) override {}
    void requestMediaDataWhenReady(SerialQueue& queue, std::function<void()> block) override {
        std::lock_guard lock(mutex_);
        queue_ = &queue;
        block_ = std::move(block);
    }
    bool isReadyForMoreMediaData() const override {
        std::lock_guard lock(mutex_);
        return !finished_ && sinceReady_ < burst_;
    }
    bool append(const MediaSamplePtr& sample) override;
    void markAsFinished() override;

    // Called by the writer: makes the input ready again and asks its feeder for more.
    // Dispatches the feeder once at the start and again whenever the input had become not ready;
    // never while a dispatch is pending or running.
    void becomeReady() {
        std::lock_guard lock(mutex_);
        if (finished_ || queue_ == nullptr || !block_ || pending_) {
            return;
        }
        if (dispatchedOnce_ && sinceReady_ < burst_) {
            return;
        }
        dispatchedOnce_ = true;
        pending_ = true;
        sinceReady_ = 0;
        queue_->async([self = shared_from_this(), block = block_] {
            block();
            std::lock_guard done(self->mutex_);
            self->pending_ = false;
        });
    }

    void setBurst(std::size_t burst) { burst_ = burst == 0 ? 1 : burst; }

private:
    SyntheticWriter& writer_;
    const MediaType type_;
    mutable std::mutex mutex_;
    SerialQueue* queue_ = nullptr;
    std::function<void()> block_;
    std::size_t sinceReady_ = 0;
    std::size_t appended_ = 0;
    std::size_t burst_ = 16;
    bool finished_ = false;
    bool pending_ = false;
    bool dispatchedOnce_ = false;
};

class SyntheticWriter final : public AssetWriter {
public:
    SyntheticWriter(const SyntheticWriterOptions& options, std::shared_ptr<SyntheticMovie> movie)
        : options_(options), movie_(std::move(movie)) {}

    ~SyntheticWriter() override {
        running_ = false;
        if (pump_.joinable()) {
            pump_.join();
        }
    }

    std::shared_ptr<AssetWriterInput> makeInput(MediaType mediaType, const std::optional<AudioOutputSettings>& settings,
                                                const FormatDescriptionPtr&) override {
        auto input = std::make_shared<SyntheticInput>(*this, mediaType);
        input->setBurst(options_.readyBurst);
        if (mediaType == MediaType::audio) {
            std::lock_guard lock(mutex_);
            movie_->audioSettings = settings;
        }
        return input;
    }
    bool canAddInput(const AssetWriterInput&) const override { return status() == AssetWriterStatus::unknown; }
    void addInput(std::shared_ptr<AssetWriterInput> input) override {
        std::lock_guard lock(mutex_);
        if (input->mediaType() == MediaType::audio) {
            movie_->hasAudioInput = true;
        }
        inputs_.push_back(std::static_pointer_cast<SyntheticInput>(std::move(input)));
    }

    bool startWriting() override {
        if (options_.failToStart) {
            std::lock_guard lock(mutex_);
            status_ = AssetWriterStatus::failed;
            error_ = options_.startError;
            return false;
        }
        {
            std::lock_guard lock(mutex_);
            status_ = AssetWriterStatus::writing;
        }
        // The "muxer": frees the inputs every few milliseconds, as a real writer drains them.
        pump_ = std::thread([this] {
            while (running_) {
                std::vector<std::shared_ptr<SyntheticInput>> inputs;
                {
                    std::lock_guard lock(mutex_);
                    inputs = inputs_;
                }
                for (const auto& input : inputs) {
                    input->becomeReady();
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        return true;
    }
    void startSession(MediaTime sourceTime) override {
        std::lock_guard lock(mutex_);
        movie_->sessionStart = sourceTime;
    }
    void finishWriting(std::function<void()> completion) override {
        running_ = false;
        if (pump_.joinable()) {
            pump_.join();
        }
        {
            std::lock_guard lock(mutex_);
            if (status_ == AssetWriterStatus::writing) {
                status_ = options_.failAtFinish ? AssetWriterStatus::failed : AssetWriterStatus::completed;
                if (options_.failAtFinish) {
                    error_ = options_.finishError;
                }
            }
        }
        std::thread(std::move(completion)).detach();
    }
    AssetWriterStatus status() const override {
        std::lock_guard lock(mutex_);
        return status_;
    }
    std::optional<Error> error() const override {
        std::lock_guard lock(mutex_);
        return error_;
    }

    // For the inputs.
    bool take(MediaType type, std::size_t index, const MediaSamplePtr& sample) {
        std::lock_guard lock(mutex_);
        if (status_ != AssetWriterStatus::writing) {
            return false;
        }
        const auto& refuseAt = type == MediaType::video ? options_.refuseVideoAt : options_.refuseAudioAt;
        if (refuseAt && *refuseAt == index) {
            error_ = options_.refusalError;
            if (error_) {
                status_ = AssetWriterStatus::failed;
            }
            return false;
        }
        (type == MediaType::video ? movie_->video : movie_->audio).push_back(sample);
        return true;
    }
    void finished(MediaType type) {
        std::lock_guard lock(mutex_);
        (type == MediaType::video ? movie_->videoFinished : movie_->audioFinished) = true;
    }

private:
    const SyntheticWriterOptions options_;
    const std::shared_ptr<SyntheticMovie> movie_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<SyntheticInput>> inputs_;
    AssetWriterStatus status_ = AssetWriterStatus::unknown;
    std::optional<Error> error_;
    std::atomic<bool> running_{true};
    std::thread pump_;
};

bool SyntheticInput::append(const MediaSamplePtr& sample) {
    std::size_t index = 0;
    {
        std::lock_guard lock(mutex_);
        index = appended_;
        ++sinceReady_;
    }
    if (!writer_.take(type_, index, sample)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    ++appended_;
    return true;
}

void SyntheticInput::markAsFinished() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        block_ = nullptr;
    }
    writer_.finished(type_);
}

} // namespace

Expected<std::shared_ptr<AssetWriter>> SyntheticAssetWriterService::createWriter(const QString& path, FileType) {
    if (options_.createError) {
        return *options_.createError;
    }
    // A small file stands for the movie, so callers can move, replace and remove it for real.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return Error{QStringLiteral("QFile"), static_cast<int>(file.error()), file.errorString()};
    }
    file.write("synthetic movie\n");
    auto movie = std::make_shared<SyntheticMovie>();
    {
        std::lock_guard lock(mutex_);
        lastMovie_ = movie;
    }
    return std::shared_ptr<AssetWriter>(std::make_shared<SyntheticWriter>(options_, movie));
}

std::shared_ptr<SyntheticMovie> SyntheticAssetWriterService::lastMovie() const {
    std::lock_guard lock(mutex_);
    return lastMovie_;
}

} // namespace backreel
