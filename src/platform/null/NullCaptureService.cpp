#include "platform/null/NullCaptureService.h"

namespace backreel {

namespace {
CaptureError unavailable() {
    return CaptureError{CaptureError::Kind::unavailable,
                        QStringLiteral("Screen capture is not available in this desktop session.")};
}

class NullVideoSource final : public VideoSource {
public:
    QCoro::Task<std::optional<CaptureError>> start(FrameSink&) override { co_return unavailable(); }
};
} // namespace

QCoro::Task<Expected<ShareableContent, CaptureError>> NullCaptureService::shareableContent() {
    co_return unavailable();
}

std::unique_ptr<VideoSource> NullCaptureService::makeVideoSource(const ContentFilter&, const VideoSourceSettings&) {
    return std::make_unique<NullVideoSource>();
}

} // namespace backreel
