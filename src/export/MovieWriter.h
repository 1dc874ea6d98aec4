#pragma once

#include "platform/AssetWriter.h"
#include "platform/Error.h"
#include "platform/log/Log.h"

#include <QCoroTask>
#include <QString>

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

namespace backreel {

// The services a save writes with.
struct MovieWriterServices {
    std::shared_ptr<AssetWriterService> assetWriter;
    std::shared_ptr<MovieProbe> movieProbe;
};

// The AAC settings for audio of this stream description: its channels (1 when it says 0), its
// rate (48 kHz when it says 0), 96 kbit/s mono or 192 kbit/s otherwise, and the matching layout.
AudioOutputSettings audioOutputSettings(const AudioStreamBasicDescription& description);

// The layout tags of the 32-byte channel layout record.
inline constexpr std::uint32_t kMonoLayoutTag = (100u << 16) + 1;
inline constexpr std::uint32_t kStereoLayoutTag = (101u << 16) + 2;

// True when the first min(length, 256) bytes of the sample's data are all zero (or there are none).
bool leadingBytesAreSilent(const MediaSample& sample);

// Writes the clip as an MPEG-4 movie at path: video passed through, audio encoded to AAC, both
// inputs fed concurrently from their own queues. Then reads the file back for the log. Fails with
// the writer's error, or one of Backreel's own. Main thread; suspends while writing.
QCoro::Task<MaybeError> writeMovie(std::vector<MediaSamplePtr> video, std::vector<MediaSamplePtr> audio,
                                   QString path, MovieWriterServices services, Logger log);

// Feeds samples into input as fast as it takes them, from a queue of its own; completes once all
// were appended and the input is marked finished, or with the error that stopped it.
QCoro::Task<MaybeError> appendSamples(std::vector<MediaSamplePtr> samples, std::shared_ptr<AssetWriterInput> input,
                                      std::shared_ptr<AssetWriter> writer, Logger log);

// Logs what the written file holds. Never fails the save.
QCoro::Task<> validateMovie(QString path, std::shared_ptr<MovieProbe> probe, Logger log);

} // namespace backreel
