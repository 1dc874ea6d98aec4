#include "platform/Platform.h"
#include "platform/null/NullCaptureService.h"
#include "platform/null/NullCompressionService.h"
#include "platform/null/NullNotificationMuter.h"
#include "platform/null/NullWindowServer.h"

namespace backreel {

Platform loadPlatform() {
    Platform platform;
    platform.capture = std::make_shared<NullCaptureService>();
    platform.compression = std::make_shared<NullCompressionService>();
    platform.notifications = std::make_shared<NullNotificationMuter>();
    platform.windowServer = std::make_shared<NullWindowServer>();
    return platform;
}

} // namespace backreel
