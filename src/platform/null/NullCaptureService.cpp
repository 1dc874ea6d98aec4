#include "platform/null/NullCaptureService.h"

namespace backreel {

namespace {
const QString kUnavailable = QStringLiteral("Screen capture is not available in this desktop session.");

class NullCaptureStream final : public CaptureStream {
public:
    MaybeError addStreamOutput(std::shared_ptr<StreamOutput>, StreamOutputType, SerialQueue&) override {
        return Error::backreel(0, kUnavailable);
    }
    void startCapture(CaptureCompletion completion) override { completion(Error::backreel(0, kUnavailable)); }
    void stopCapture(CaptureCompletion completion) override { completion(std::nullopt); }
};
} // namespace

void NullCaptureService::getShareableContent(ShareableContentCompletion completion) {
    completion(Error::backreel(0, kUnavailable));
}

std::shared_ptr<CaptureStream> NullCaptureService::createStream(const ContentFilter&, const StreamConfiguration&,
                                                                StreamDelegate*) {
    return std::make_shared<NullCaptureStream>();
}

} // namespace backreel
