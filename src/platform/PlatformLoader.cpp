#include "platform/dbus/DbusFileReveal.h"
#include "platform/dbus/DbusNotificationMuter.h"
#include "platform/ffmpeg/FfmpegMovieFile.h"
#include "platform/ffmpeg/FfmpegMovieProbe.h"
#include "platform/ffmpeg/FfmpegVideoEncoderService.h"
#include "platform/null/NullCaptureService.h"
#include "platform/null/NullGlobalShortcuts.h"
#include "platform/null/NullScreenPictureService.h"
#include "platform/null/NullWindowServer.h"
#include "platform/Platform.h"
#include "platform/pulse/PulseAudioService.h"
#include "platform/x11/X11CaptureService.h"
#include "platform/x11/X11GlobalShortcuts.h"
#include "platform/x11/X11ScreenPictureService.h"
#include "platform/x11/X11WindowServer.h"

#include <QtGlobal>

namespace backreel {

namespace {
// Key grabs on the root window are global only where every application is an X11 client: in a
// Wayland session an X11 grab sees keys only while an XWayland window has the keyboard.
std::shared_ptr<GlobalShortcuts> loadShortcuts() {
    const bool x11Session = !qEnvironmentVariableIsEmpty("DISPLAY") &&
                            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
                            qgetenv("XDG_SESSION_TYPE") != "wayland";
    if (x11Session) {
        return std::make_shared<X11GlobalShortcuts>();
    }
    return std::make_shared<NullGlobalShortcuts>(
        QStringLiteral("This desktop does not let Backreel bind global shortcuts."));
}
} // namespace

Platform loadPlatform() {
    Platform platform;
    // X11 sessions (and X11 clients of Wayland sessions through XWayland) have DISPLAY set.
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        platform.capture = std::make_shared<X11CaptureService>(std::make_shared<PulseAudioService>());
        platform.windowServer = std::make_shared<X11WindowServer>();
        platform.screenPictures = std::make_shared<X11ScreenPictureService>();
    } else {
        platform.capture = std::make_shared<NullCaptureService>();
        platform.windowServer = std::make_shared<NullWindowServer>();
        platform.screenPictures = std::make_shared<NullScreenPictureService>();
    }
    platform.encoders = std::make_shared<FfmpegVideoEncoderService>();
    platform.notifications = std::make_shared<DbusNotificationMuter>();
    platform.movieFiles = std::make_shared<FfmpegMovieFileService>();
    platform.movieProbe = std::make_shared<FfmpegMovieProbe>();
    platform.fileReveal = std::make_shared<DbusFileReveal>();
    platform.shortcuts = loadShortcuts();
    return platform;
}

} // namespace backreel
