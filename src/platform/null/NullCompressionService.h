#pragma once

#include "platform/CompressionSession.h"

namespace backreel {

// Compression without any encoder: every session creation fails.
class NullCompressionService final : public CompressionService {
public:
    std::int32_t createSession(std::int32_t, std::int32_t, FourCC, const EncoderSpecification*,
                               CompressionOutputCallback, void*,
                               std::shared_ptr<CompressionSession>* session) override {
        if (session != nullptr) {
            *session = nullptr;
        }
        return compression_status::kCouldNotFindVideoEncoder;
    }
};

} // namespace backreel
