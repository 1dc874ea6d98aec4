#pragma once

#include "platform/CaptureStream.h"

namespace backreel {

// Capture on a desktop without a capture backend: the content request fails with a clear text.
class NullCaptureService final : public CaptureService {
public:
    void getShareableContent(ShareableContentCompletion completion) override;
    std::shared_ptr<CaptureStream> createStream(const ContentFilter& filter, const StreamConfiguration& configuration,
                                                StreamDelegate* delegate) override;
};

} // namespace backreel
