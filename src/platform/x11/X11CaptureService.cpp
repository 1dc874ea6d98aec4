#include "platform/x11/X11CaptureService.h"

#include "platform/x11/X11CaptureStream.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11ShareableContent.h"

#include <thread>

namespace backreel {

void X11CaptureService::getShareableContent(ShareableContentCompletion completion) {
    std::thread([completion = std::move(completion)] {
        auto connection = x11::X11Connection::open();
        if (!connection) {
            completion(connection.error());
            return;
        }
        ShareableContent content = x11::queryShareableContent(*connection.value());
        if (connection.value()->hasFailed()) {
            completion(x11::X11Connection::connectionLostError());
            return;
        }
        completion(std::move(content));
    }).detach();
}

std::shared_ptr<CaptureStream> X11CaptureService::createStream(const ContentFilter& filter,
                                                               const StreamConfiguration& configuration,
                                                               StreamDelegate* delegate) {
    return std::make_shared<X11CaptureStream>(filter, configuration, delegate, audio_);
}

} // namespace backreel
