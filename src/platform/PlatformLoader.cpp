#include "platform/Platform.h"
#include "platform/dbus/DbusFileReveal.h"
#include "platform/dbus/DbusNotificationMuter.h"
#include "platform/null/NullCaptureService.h"
#include "platform/null/NullCompressionService.h"
#include "platform/null/NullWindowServer.h"

namespace backreel {

Platform loadPlatform() {
    Platform platform;
    platform.capture = std::make_shared<NullCaptureService>();
    platform.compression = std::make_shared<NullCompressionService>();
    platform.notifications = std::make_shared<DbusNotificationMuter>();
    platform.windowServer = std::make_shared<NullWindowServer>();
    platform.fileReveal = std::make_shared<DbusFileReveal>();
    return platform;
}

} // namespace backreel
