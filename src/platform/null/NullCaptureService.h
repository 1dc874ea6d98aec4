#pragma once

#include "platform/CaptureService.h"

namespace backreel {

// Capture on a desktop without a capture backend: listing fails with a clear text, and so does
// every source's start.
class NullCaptureService final : public CaptureService {
public:
    QCoro::Task<Expected<ShareableContent, CaptureError>> shareableContent() override;
    std::unique_ptr<VideoSource> makeVideoSource(const ContentFilter& filter,
                                                 const VideoSourceSettings& settings) override;
};

} // namespace backreel
