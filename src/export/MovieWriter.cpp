#include "export/MovieWriter.h"

#include "platform/dispatch/Completion.h"
#include "platform/dispatch/SerialQueue.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace backreel {

namespace {

int statusNumber(AssetWriterStatus status) {
    return static_cast<int>(status);
}

Error writerErrorOr(const AssetWriter& writer, int code, const QString& description) {
    if (std::optional<Error> error = writer.error()) {
        return *error;
    }
    return Error::backreel(code, description);
}

// One feeding of one input; shared by the coroutine that waits and the callback on the queue.
struct Feeding {
    Feeding(std::vector<MediaSamplePtr> list, std::shared_ptr<AssetWriterInput> in, std::shared_ptr<AssetWriter> w,
            Logger l)
        : samples(std::move(list)), input(std::move(in)), writer(std::move(w)), log(l) {}

    void feed();
    void end(MaybeError error);

    const std::vector<MediaSamplePtr> samples;
    const std::shared_ptr<AssetWriterInput> input;
    const std::shared_ptr<AssetWriter> writer;
    const Logger log;
    // Touched only on the queue once feeding began.
    std::size_t index = 0;
    bool finished = false;
    Completion<MaybeError> done{Error::backreel(0, QStringLiteral("Writer stopped unexpectedly."))};
    std::function<void(MaybeError)> resume = done.callback();
    SerialQueue queue{"com.loopvane.write"};
};

void Feeding::feed() {
    if (finished || !input->isReadyForMoreMediaData()) {
        return;
    }
    const std::size_t count = samples.size();
    for (;;) {
        if (writer->status() != AssetWriterStatus::writing) {
            if (finished) {
                return;
            }
            const Error error = writerErrorOr(*writer, 0, QStringLiteral("Writer stopped unexpectedly."));
            log.error(QStringLiteral("[Append] Writer stopped (status=%1) at %2/%3")
                          .arg(statusNumber(writer->status()))
                          .arg(index)
                          .arg(count));
            end(error);
            return;
        }
        if (index >= count) {
            if (finished) {
                return;
            }
            log.info(QStringLiteral("[Append] Done: %1/%2 appended").arg(index).arg(count));
            end(std::nullopt);
            return;
        }
        if (!input->append(samples[index])) {
            if (finished) {
                return;
            }
            const Error error = writerErrorOr(*writer, 1, QStringLiteral("Failed to append sample."));
            log.error(QStringLiteral("[Append] append() false at %1/%2; writerStatus=%3; error=%4")
                          .arg(index)
                          .arg(count)
                          .arg(statusNumber(writer->status()))
                          .arg(error.description));
            end(error);
            return;
        }
        if (index == 0) {
            log.info(QStringLiteral("[Append] First sample appended OK"));
        } else if (index % 100 == 0) {
            log.debug(QStringLiteral("[Append] %1/%2 appended").arg(index).arg(count));
        }
        ++index;
        if (!input->isReadyForMoreMediaData()) {
            return; // the input calls again when it can take more
        }
    }
}

void Feeding::end(MaybeError error) {
    finished = true;
    input->markAsFinished();
    resume(std::move(error));
    resume = nullptr; // the callback's last copy goes; nothing waits on it any more
}

} // namespace

AudioOutputSettings audioOutputSettings(const AudioStreamBasicDescription& description) {
    AudioOutputSettings settings;
    settings.formatID = codec::aac;
    const std::uint32_t channels = description.channelsPerFrame == 0 ? 1 : description.channelsPerFrame;
    settings.numberOfChannels = channels;
    settings.sampleRate = description.sampleRate > 0 ? description.sampleRate : 48000.0;
    settings.encoderBitRate = channels < 2 ? 96000 : 192000;
    const std::uint32_t tag = channels == 1 ? kMonoLayoutTag : kStereoLayoutTag;
    // Tag, bitmap 0, no channel descriptions, then one empty 20-byte description; native order.
    settings.channelLayout.fill(std::byte{0});
    std::memcpy(settings.channelLayout.data(), &tag, sizeof tag);
    return settings;
}

bool leadingBytesAreSilent(const MediaSample& sample) {
    const BlockBufferPtr& data = sample.dataBuffer();
    if (!data || data->dataLength() == 0) {
        return true;
    }
    const std::byte* pointer = nullptr;
    std::size_t available = 0;
    if (data->dataPointer(0, &available, nullptr, &pointer) != 0 || pointer == nullptr) {
        return true;
    }
    // The stored copies are contiguous, so the first block holds these bytes; never read past it.
    const std::size_t length = std::min({data->dataLength(), available, std::size_t{256}});
    return std::all_of(pointer, pointer + length, [](std::byte b) { return b == std::byte{0}; });
}

QCoro::Task<MaybeError> appendSamples(std::vector<MediaSamplePtr> samples, std::shared_ptr<AssetWriterInput> input,
                                      std::shared_ptr<AssetWriter> writer, Logger log) {
    log.info(QStringLiteral("[Append] %1 samples via requestMediaDataWhenReady").arg(samples.size()));
    if (samples.empty()) {
        input->markAsFinished();
        log.info(QStringLiteral("[Append] 0 samples — markAsFinished immediately"));
        co_return std::nullopt;
    }
    auto feeding = std::make_shared<Feeding>(std::move(samples), input, writer, log);
    std::weak_ptr<Feeding> weak = feeding;
    input->requestMediaDataWhenReady(feeding->queue, [weak] {
        if (std::shared_ptr<Feeding> self = weak.lock()) {
            self->feed();
        }
    });
    MaybeError result = co_await feeding->done.wait();
    co_return result;
}

QCoro::Task<> validateMovie(QString path, std::shared_ptr<MovieProbe> probe, Logger log) {
    if (!probe) {
        co_return;
    }
    auto info = std::make_shared<std::optional<Expected<MovieInfo>>>();
    std::function<void()> read = [info, probe, path] { *info = probe->probe(path); };
    co_await runInBackground(std::move(read));
    const Expected<MovieInfo>& result = **info;
    if (!result) {
        log.error(QStringLiteral("[Validate] Could not probe output: %1").arg(result.error().description));
        co_return;
    }
    const MovieInfo& movie = result.value();
    log.info(QStringLiteral("[Validate] Output: %1 video track(s), %2 audio track(s), duration=%3s")
                 .arg(movie.videoTrackCount)
                 .arg(movie.audioTrackCount)
                 .arg(fixed(movie.durationSeconds, 2)));
    if (movie.audioTrackCount == 0) {
        log.error(QStringLiteral("[Validate] NO AUDIO TRACK in output file!"));
        co_return;
    }
    for (FourCC format : movie.audioFormats) {
        log.info(QStringLiteral("[Validate] Audio track format: '%1'").arg(QString::fromStdString(format.toString())));
    }
}

QCoro::Task<MaybeError> writeMovie(std::vector<MediaSamplePtr> video, std::vector<MediaSamplePtr> audio,
                                   QString path, MovieWriterServices services, Logger log) {
    if (video.empty() || !video.front()->formatDescription()) {
        co_return Error::backreel(0, QStringLiteral("No frames to write."));
    }
    const FormatDescriptionPtr videoFormat = video.front()->formatDescription();
    const VideoDimensions dimensions = videoFormat->videoDimensions();
    log.info(QStringLiteral("[Write] Video: codec=%1, %2×%3, %4 frames; audio: %5 samples")
                 .arg(videoFormat->mediaSubType() == codec::hevc ? QStringLiteral("HEVC") : QStringLiteral("H264"))
                 .arg(dimensions.width)
                 .arg(dimensions.height)
                 .arg(video.size())
                 .arg(audio.size()));

    if (QFileInfo::exists(path) && !QFile::remove(path)) {
        co_return Error{QStringLiteral("Backreel"), 0, QStringLiteral("Could not replace %1.").arg(path)};
    }

    if (!services.assetWriter) {
        co_return Error::backreel(0, QStringLiteral("This build of Backreel cannot write movies."));
    }
    Expected<std::shared_ptr<AssetWriter>> created = services.assetWriter->createWriter(path, FileType::mpeg4);
    if (!created) {
        co_return created.error();
    }
    const std::shared_ptr<AssetWriter> writer = created.value();

    std::shared_ptr<AssetWriterInput> videoInput = writer->makeInput(MediaType::video, std::nullopt, videoFormat);
    videoInput->setExpectsMediaDataInRealTime(false);
    writer->addInput(videoInput);

    std::shared_ptr<AssetWriterInput> audioInput;
    const FormatDescriptionPtr audioFormat = audio.empty() ? nullptr : audio.front()->formatDescription();
    const AudioStreamBasicDescription* asbd = audioFormat ? audioFormat->streamBasicDescription() : nullptr;
    if (asbd != nullptr) {
        const AudioOutputSettings settings = audioOutputSettings(*asbd);
        audioInput = writer->makeInput(MediaType::audio, settings, audioFormat);
        audioInput->setExpectsMediaDataInRealTime(false);
        writer->addInput(audioInput);
        log.info(QStringLiteral("[Write] Audio input: %1ch @ %2Hz → AAC %3kbps")
                     .arg(settings.numberOfChannels)
                     .arg(static_cast<std::int64_t>(settings.sampleRate))
                     .arg(settings.encoderBitRate / 1000));
        const double first = audio.front()->presentationTime().seconds();
        const double last = audio.back()->presentationTime().seconds();
        log.info(QStringLiteral("[Write] Audio PTS: %1s–%2s span=%3s numSamplesPerBuf=%4")
                     .arg(fixed(first, 3))
                     .arg(fixed(last, 3))
                     .arg(fixed(last - first, 3))
                     .arg(audio.front()->numSamples()));
        log.info(QStringLiteral("[Write] Audio data: %1")
                     .arg(leadingBytesAreSilent(*audio.front()) ? QStringLiteral("ALL ZEROS – nothing was playing")
                                                                : QStringLiteral("non-zero ✓")));
    } else {
        log.info(QStringLiteral("[Write] No audio samples — writing video-only"));
    }

    const MediaTime startPTS = video.front()->presentationTime();
    log.info(QStringLiteral("[Write] startPTS=%1s").arg(fixed(startPTS.seconds(), 3)));
    writer->startWriting();
    writer->startSession(startPTS);
    log.info(QStringLiteral("[Write] Writer status after startWriting+startSession: %1 (1=writing, 3=failed)")
                 .arg(statusNumber(writer->status())));
    if (writer->status() != AssetWriterStatus::writing) {
        const Error error = writerErrorOr(*writer, 0, QStringLiteral("AVAssetWriter failed to start."));
        log.error(QStringLiteral("[Write] Writer not in writing state: %1").arg(error.description));
        co_return error;
    }

    const std::size_t audioCount = audioInput ? audio.size() : 0;
    log.info(QStringLiteral("[Write] Appending %1 video frames + %2 audio samples concurrently…")
                 .arg(video.size())
                 .arg(audioCount));
    if (!audioInput) {
        if (MaybeError error = co_await appendSamples(std::move(video), videoInput, writer, log)) {
            co_return error;
        }
    } else {
        // Both feeders start at once; the video result is awaited first, the audio one always.
        QCoro::Task<MaybeError> videoTask = appendSamples(std::move(video), videoInput, writer, log);
        QCoro::Task<MaybeError> audioTask = appendSamples(std::move(audio), audioInput, writer, log);
        MaybeError videoError = co_await std::move(videoTask);
        MaybeError audioError = co_await std::move(audioTask);
        if (videoError) {
            co_return videoError;
        }
        if (audioError) {
            co_return audioError;
        }
    }

    log.info(QStringLiteral("[Write] All tracks appended"));
    log.info(QStringLiteral("[Write] Calling finishWriting…"));
    Completion<bool> finished(true);
    writer->finishWriting([signal = finished.callback()] { signal(true); });
    co_await finished.wait();
    log.info(QStringLiteral("[Write] finishWriting returned; status=%1 (2=completed, 3=failed)")
                 .arg(statusNumber(writer->status())));

    co_await validateMovie(path, services.movieProbe, log);

    if (writer->status() == AssetWriterStatus::failed) {
        const Error error = writerErrorOr(*writer, 0, QStringLiteral("AVAssetWriter failed."));
        log.error(QStringLiteral("[Write] Writer failed: %1").arg(error.description));
        co_return error;
    }
    co_return std::nullopt;
}

} // namespace backreel
