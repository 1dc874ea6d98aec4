#pragma once

#include "platform/VideoEncoder.h"
#include "support/synthetic/SyntheticState.h"

#include <memory>

namespace backreel {

// An encoder stand-in: each frame comes out on the encoder's own thread as a small packet with the
// frame's PTS; every Nth one is a key frame. Opening records "open CODEC [hardware]" in the journal
// and fails as the options say.
class SyntheticVideoEncoderService final : public VideoEncoderService {
public:
    explicit SyntheticVideoEncoderService(std::shared_ptr<SyntheticState> state)
        : state_(std::move(state)) {}

    Expected<std::unique_ptr<VideoEncoder>, EncoderError> open(const VideoEncoderSettings& settings,
                                                               EncoderOutput output) override;

private:
    std::shared_ptr<SyntheticState> state_;
};

} // namespace backreel
