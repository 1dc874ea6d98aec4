#pragma once

#include "platform/AssetWriter.h"

#include <memory>
#include <vector>

namespace backreel {

class FfmpegAssetWriterInput;
class FfmpegAssetWriterMuxer;

// An MP4 file written with libavformat: pass-through video tracks, AAC audio tracks encoded with
// FFmpeg's native encoder, packets interleaved by time on the muxer's own thread, the movie box
// moved to the front when the file is finished.
//
// Thread contract: as AssetWriter. Destroying an unfinished writer stops its thread and closes the
// file as it stands; removing it is the caller's business.
class FfmpegAssetWriter final : public AssetWriter {
public:
    explicit FfmpegAssetWriter(std::shared_ptr<FfmpegAssetWriterMuxer> muxer);
    ~FfmpegAssetWriter() override;

    FfmpegAssetWriter(const FfmpegAssetWriter&) = delete;
    FfmpegAssetWriter& operator=(const FfmpegAssetWriter&) = delete;

    // Always an input; one whose format the writer does not take fails canAddInput(), and adding it
    // anyway fails the writer with the reason.
    std::shared_ptr<AssetWriterInput> makeInput(MediaType mediaType,
                                                const std::optional<AudioOutputSettings>& outputSettings,
                                                const FormatDescriptionPtr& sourceFormatHint) override;
    bool canAddInput(const AssetWriterInput& input) const override;
    void addInput(std::shared_ptr<AssetWriterInput> input) override;

    bool startWriting() override;
    void startSession(MediaTime sourceTime) override;
    void finishWriting(std::function<void()> completion) override;

    AssetWriterStatus status() const override;
    std::optional<Error> error() const override;

private:
    const std::shared_ptr<FfmpegAssetWriterMuxer> muxer_;
    std::vector<std::shared_ptr<FfmpegAssetWriterInput>> inputs_;
};

} // namespace backreel
