#include "platform/x11/X11CaptureService.h"

#include "core/dispatch/Completion.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11ShareableContent.h"
#include "platform/x11/X11VideoSource.h"

namespace backreel {

namespace {
Expected<ShareableContent, CaptureError> listContent() {
    auto connection = x11::X11Connection::open();
    if (!connection) {
        return CaptureError::failed(connection.error().description);
    }
    ShareableContent content = x11::queryShareableContent(*connection.value());
    if (connection.value()->hasFailed()) {
        return CaptureError::failed(x11::X11Connection::connectionLostError().description);
    }
    return content;
}
} // namespace

QCoro::Task<Expected<ShareableContent, CaptureError>> X11CaptureService::shareableContent() {
    co_return co_await runOffMainThread<Expected<ShareableContent, CaptureError>>(
        "X11 listing", listContent, CaptureError::failed(QStringLiteral("The capture service did not answer.")));
}

std::unique_ptr<VideoSource> X11CaptureService::makeVideoSource(const ContentFilter& filter,
                                                                const VideoSourceSettings& settings) {
    return std::make_unique<X11VideoSource>(filter, settings);
}

} // namespace backreel
