#include "platform/dbus/DbusFileReveal.h"
#include "platform/dbus/DbusNotificationMuter.h"
#include "platform/ffmpeg/FfmpegMovieFile.h"
#include "platform/ffmpeg/FfmpegMovieProbe.h"
#include "platform/ffmpeg/FfmpegVideoEncoderService.h"
#include "platform/null/NullCaptureService.h"
#include "platform/null/NullScreenPictureService.h"
#include "platform/null/NullWindowServer.h"
#include "platform/Platform.h"
#include "platform/pulse/PulseAudioService.h"
#include "platform/x11/X11CaptureService.h"
#include "platform/x11/X11ScreenPictureService.h"
#include "platform/x11/X11WindowServer.h"

#include <QtGlobal>

namespace backreel {

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
    return platform;
}

} // namespace backreel
