#pragma once

#include "platform/AssetWriter.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace backreel {

// How the in-memory writer behaves, for tests of the code that drives a writer.
struct SyntheticWriterOptions {
    std::optional<Error> createError;
    bool failToStart = false;
    std::optional<Error> startError;
    // Refuse the append of this index on the input of this media type.
    std::optional<std::size_t> refuseVideoAt;
    std::optional<std::size_t> refuseAudioAt;
    std::optional<Error> refusalError; // the writer's error after a refusal; none: no error known
    // After this many appends an input reports not ready until the writer's own thread frees it.
    std::size_t readyBurst = 16;
    bool failAtFinish = false;
    std::optional<Error> finishError;
};

// What the writer was given, readable after finishWriting.
struct SyntheticMovie {
    std::vector<MediaSamplePtr> video;
    std::vector<MediaSamplePtr> audio;
    std::optional<AudioOutputSettings> audioSettings;
    MediaTime sessionStart;
    bool hasAudioInput = false;
    bool videoFinished = false;
    bool audioFinished = false;
};

// An asset writer that keeps everything in memory, with readiness that comes and goes like a
// real writer's back-pressure.
class SyntheticAssetWriterService final : public AssetWriterService {
public:
    explicit SyntheticAssetWriterService(SyntheticWriterOptions options = {}) : options_(std::move(options)) {}

    Expected<std::shared_ptr<AssetWriter>> createWriter(const QString& path, FileType fileType) override;

    // The movie of the most recent writer.
    std::shared_ptr<SyntheticMovie> lastMovie() const;
    SyntheticWriterOptions& options() { return options_; }

private:
    SyntheticWriterOptions options_;
    mutable std::mutex mutex_;
    std::shared_ptr<SyntheticMovie> lastMovie_;
};

} // namespace backreel
