#pragma once

#include "platform/CompressionSession.h"
#include "support/synthetic/SyntheticState.h"

#include <memory>

namespace backreel {

// An encoder stand-in: each submitted frame comes out on the session's own thread as a small
// "compressed" sample with the submitted PTS; every Nth one is a key frame.
class SyntheticCompressionService final : public CompressionService {
public:
    explicit SyntheticCompressionService(std::shared_ptr<SyntheticState> state) : state_(std::move(state)) {}

    std::int32_t createSession(std::int32_t width, std::int32_t height, FourCC codecType,
                               const EncoderSpecification* encoderSpecification,
                               CompressionOutputCallback outputCallback, void* outputCallbackRefCon,
                               std::shared_ptr<CompressionSession>* session) override;

private:
    std::shared_ptr<SyntheticState> state_;
};

} // namespace backreel
