#include "app/PlatformFallbacks.h"

#include "platform/null/NullCaptureService.h"
#include "platform/null/NullCompressionService.h"
#include "platform/null/NullNotificationMuter.h"
#include "platform/null/NullWindowServer.h"

namespace backreel {

Platform withNullFallbacks(Platform platform) {
    if (!platform.capture) {
        platform.capture = std::make_shared<NullCaptureService>();
    }
    if (!platform.compression) {
        platform.compression = std::make_shared<NullCompressionService>();
    }
    if (!platform.notifications) {
        platform.notifications = std::make_shared<NullNotificationMuter>();
    }
    if (!platform.windowServer) {
        platform.windowServer = std::make_shared<NullWindowServer>();
    }
    return platform;
}

} // namespace backreel
