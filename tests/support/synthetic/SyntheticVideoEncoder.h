#pragma once

#include "support/synthetic/SyntheticState.h"

#include <memory>

namespace backreel {

// Small packets on a thread of its own; opening records "open CODEC [hardware]" and fails as told.
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
