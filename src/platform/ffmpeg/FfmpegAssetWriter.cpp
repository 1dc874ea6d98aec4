#include "platform/ffmpeg/FfmpegAssetWriter.h"

#include "platform/ffmpeg/FfmpegAssetWriterAudioInput.h"
#include "platform/ffmpeg/FfmpegAssetWriterMuxer.h"
#include "platform/ffmpeg/FfmpegAssetWriterVideoInput.h"

#include <algorithm>

namespace backreel {

FfmpegAssetWriter::FfmpegAssetWriter(std::shared_ptr<FfmpegAssetWriterMuxer> muxer)
    : muxer_(std::move(muxer)) {}

FfmpegAssetWriter::~FfmpegAssetWriter() {
    muxer_->abandon();
}

std::shared_ptr<AssetWriterInput>
FfmpegAssetWriter::makeInput(MediaType mediaType, const std::optional<AudioOutputSettings>& outputSettings,
                             const FormatDescriptionPtr& sourceFormatHint) {
    if (mediaType == MediaType::video) {
        return std::make_shared<FfmpegAssetWriterVideoInput>(muxer_, sourceFormatHint);
    }
    // Audio is always encoded; without settings, to the defaults (AAC, 2 channels, 48 kHz).
    return std::make_shared<FfmpegAssetWriterAudioInput>(
        muxer_, outputSettings.value_or(AudioOutputSettings{}), sourceFormatHint);
}

bool FfmpegAssetWriter::canAddInput(const AssetWriterInput& input) const {
    const auto* ours = dynamic_cast<const FfmpegAssetWriterInput*>(&input);
    if (ours == nullptr || status() != AssetWriterStatus::unknown || ours->isAttached() ||
        ours->setupError()) {
        return false;
    }
    return std::none_of(inputs_.begin(), inputs_.end(),
                        [ours](const auto& added) { return added.get() == ours; });
}

void FfmpegAssetWriter::addInput(std::shared_ptr<AssetWriterInput> input) {
    auto ours = std::dynamic_pointer_cast<FfmpegAssetWriterInput>(std::move(input));
    if (!ours || !canAddInput(*ours)) {
        if (ours && ours->setupError()) {
            muxer_->fail(*ours->setupError());
        } else {
            muxer_->fail(Error::backreel(0, QStringLiteral("The input cannot be added to this writer.")));
        }
        return;
    }
    if (std::optional<Error> error = ours->attach()) {
        muxer_->fail(*error);
        return;
    }
    inputs_.push_back(std::move(ours));
}

bool FfmpegAssetWriter::startWriting() {
    return muxer_->start();
}

void FfmpegAssetWriter::startSession(MediaTime sourceTime) {
    muxer_->startSession(sourceTime);
    for (const auto& input : inputs_) {
        input->sessionStarted();
    }
}

void FfmpegAssetWriter::finishWriting(std::function<void()> completion) {
    // Inputs not marked as finished end here; the audio ones encode what they still hold.
    for (const auto& input : inputs_) {
        input->markAsFinished();
    }
    muxer_->finish(std::move(completion));
}

AssetWriterStatus FfmpegAssetWriter::status() const {
    return muxer_->status();
}

std::optional<Error> FfmpegAssetWriter::error() const {
    return muxer_->error();
}

} // namespace backreel
