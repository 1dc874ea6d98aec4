#pragma once

#include "platform/Error.h"
#include "platform/media/FormatDescription.h"
#include "platform/media/FourCC.h"
#include "platform/media/MediaSample.h"
#include "platform/media/MediaTime.h"

#include <QString>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace backreel {

class SerialQueue;

// Writer status values; the numbers are part of the log texts.
enum class AssetWriterStatus { unknown = 0, writing = 1, completed = 2, failed = 3, cancelled = 4 };

// How an audio input encodes what it is given.
struct AudioOutputSettings {
    FourCC formatID = codec::aac;
    std::int64_t numberOfChannels = 2;
    double sampleRate = 48000.0;
    std::int64_t encoderBitRate = 192000;
    // A channel layout record: tag, bitmap, number of descriptions, one empty description.
    std::array<std::byte, 32> channelLayout{};

    friend bool operator==(const AudioOutputSettings&, const AudioOutputSettings&) = default;
};

// One track of a movie being written, fed in pull fashion.
//
// Thread contract: set-up calls on the writer's owner before startWriting(); afterwards append(),
// isReadyForMoreMediaData() and markAsFinished() from the feeding queue given to
// requestMediaDataWhenReady(), which the input calls whenever it can take more (never while a
// previous call of the block is still running, and not at all after markAsFinished()).
class AssetWriterInput {
public:
    virtual ~AssetWriterInput() = default;

    virtual MediaType mediaType() const = 0;
    virtual void setExpectsMediaDataInRealTime(bool realTime) = 0;
    virtual void requestMediaDataWhenReady(SerialQueue& queue, std::function<void()> block) = 0;
    // Back-pressure: false while this input is far enough ahead of the others.
    virtual bool isReadyForMoreMediaData() const = 0;
    // False when the sample is refused; the writer's error() then tells why, if it knows.
    virtual bool append(const MediaSamplePtr& sample) = 0;
    virtual void markAsFinished() = 0;
};

// Writes one movie file from several inputs, interleaving them by time.
//
// Thread contract: everything on one thread (the main thread) except what AssetWriterInput says;
// status() and error() from any thread.
class AssetWriter {
public:
    virtual ~AssetWriter() = default;

    // A video input without settings passes the compressed samples through; an audio input
    // with settings encodes to them. The hint is the format of the samples that will come.
    virtual std::shared_ptr<AssetWriterInput> makeInput(MediaType mediaType,
                                                        const std::optional<AudioOutputSettings>& outputSettings,
                                                        const FormatDescriptionPtr& sourceFormatHint) = 0;
    virtual bool canAddInput(const AssetWriterInput& input) const = 0;
    virtual void addInput(std::shared_ptr<AssetWriterInput> input) = 0;

    virtual bool startWriting() = 0;
    // Samples before this time are not shown; time stamps in the file count from it.
    virtual void startSession(MediaTime sourceTime) = 0;
    // Completion runs once the file is complete or the writer failed, on any thread.
    virtual void finishWriting(std::function<void()> completion) = 0;

    virtual AssetWriterStatus status() const = 0;
    virtual std::optional<Error> error() const = 0;
};

enum class FileType { mpeg4 };

class AssetWriterService {
public:
    virtual ~AssetWriterService() = default;
    // Fails with the platform's description when the file can't be created.
    virtual Expected<std::shared_ptr<AssetWriter>> createWriter(const QString& path, FileType fileType) = 0;
};

// What a written movie holds, read back from the file.
struct MovieInfo {
    std::size_t videoTrackCount = 0;
    std::size_t audioTrackCount = 0;
    double durationSeconds = 0;
    // The media subtype of each audio track's format ("aac " for AAC).
    std::vector<FourCC> audioFormats;
};

class MovieProbe {
public:
    virtual ~MovieProbe() = default;
    // Any thread; reads the file.
    virtual Expected<MovieInfo> probe(const QString& path) = 0;
};

} // namespace backreel
