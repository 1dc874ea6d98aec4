#include "platform/dbus/DbusFileReveal.h"
#include "platform/dbus/DbusNotificationMuter.h"
#include "platform/ffmpeg/FfmpegAudioCodec.h"
#include "platform/ffmpeg/FfmpegFrameDecoder.h"
#include "platform/ffmpeg/FfmpegMovieFile.h"
#include "platform/ffmpeg/FfmpegMovieProbe.h"
#include "platform/ffmpeg/FfmpegVideoEncoderService.h"
#include "platform/null/NullCaptureService.h"
#include "platform/null/NullGlobalShortcuts.h"
#include "platform/null/NullScreenPictureService.h"
#include "platform/null/NullWindowServer.h"
#include "platform/Platform.h"
#include "platform/portal/HostRegistry.h"
#include "platform/portal/PortalCaptureService.h"
#include "platform/portal/PortalGlobalShortcuts.h"
#include "platform/pulse/PulseAudioService.h"
#include "platform/pulse/PulseSoundPlayer.h"
#include "platform/x11/X11CaptureService.h"
#include "platform/x11/X11GlobalShortcuts.h"
#include "platform/x11/X11ScreenPictureService.h"
#include "platform/x11/X11WindowServer.h"

#include <QtGlobal>

namespace backreel {

CaptureBackend captureBackendFor(const SessionEnvironment& session) {
    const QString forced = session.captureOverride.trimmed().toLower();
    if (forced == QLatin1String("x11")) {
        return CaptureBackend::x11;
    }
    if (forced == QLatin1String("portal")) {
        return CaptureBackend::portal;
    }
    if (session.sessionType.trimmed().toLower() == QLatin1String("wayland") || session.hasWaylandDisplay) {
        return CaptureBackend::portal;
    }
    return session.hasX11Display ? CaptureBackend::x11 : CaptureBackend::none;
}

CaptureBackend shortcutsBackendFor(const SessionEnvironment& session) {
    const CaptureBackend capture = captureBackendFor(session);
    SessionEnvironment unforced = session;
    unforced.captureOverride.clear();
    if (capture == CaptureBackend::portal || captureBackendFor(unforced) == CaptureBackend::portal) {
        return CaptureBackend::portal;
    }
    return capture;
}

Platform loadPlatform() {
    Platform platform;
    const SessionEnvironment session{
        qEnvironmentVariable("BACKREEL_CAPTURE"), qEnvironmentVariable("XDG_SESSION_TYPE"),
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"), !qEnvironmentVariableIsEmpty("DISPLAY")};
    const CaptureBackend capture = captureBackendFor(session);
    if (capture == CaptureBackend::portal || shortcutsBackendFor(session) == CaptureBackend::portal) {
        portal::registerWithPortal();
    }
    switch (capture) {
    case CaptureBackend::x11:
        // X11 sessions (and X11 clients of Wayland sessions through XWayland) have DISPLAY set.
        platform.capture = std::make_shared<X11CaptureService>();
        platform.windowServer = std::make_shared<X11WindowServer>();
        platform.screenPictures = std::make_shared<X11ScreenPictureService>();
        break;
    case CaptureBackend::portal:
        // The desktop's dialog chooses displays and windows; no window list or screen picture here.
        platform.capture = std::make_shared<PortalCaptureService>();
        platform.windowServer = std::make_shared<NullWindowServer>();
        platform.screenPictures = std::make_shared<NullScreenPictureService>();
        break;
    case CaptureBackend::none:
        platform.capture = std::make_shared<NullCaptureService>();
        platform.windowServer = std::make_shared<NullWindowServer>();
        platform.screenPictures = std::make_shared<NullScreenPictureService>();
        break;
    }
    // The sound is PulseAudio's (or PipeWire's PulseAudio server's) whatever captures the picture.
    platform.audio = std::make_shared<PulseAudioService>();
    platform.encoders = std::make_shared<FfmpegVideoEncoderService>();
    platform.notifications = std::make_shared<DbusNotificationMuter>();
    platform.movieFiles = std::make_shared<FfmpegMovieFileService>();
    platform.audioCodecs = std::make_shared<FfmpegAudioCodecService>();
    platform.movieProbe = std::make_shared<FfmpegMovieProbe>();
    platform.pictureDecoders = std::make_shared<FfmpegPictureDecoderService>();
    platform.soundPlayers = std::make_shared<PulseSoundPlayerService>(platform.audioCodecs);
    platform.fileReveal = std::make_shared<DbusFileReveal>();
    switch (shortcutsBackendFor(session)) {
    case CaptureBackend::x11:
        platform.shortcuts = std::make_shared<X11GlobalShortcuts>();
        break;
    case CaptureBackend::portal:
        platform.shortcuts = std::make_shared<PortalGlobalShortcuts>();
        break;
    case CaptureBackend::none:
        platform.shortcuts = std::make_shared<NullGlobalShortcuts>(kNoGlobalShortcutsMessage);
        break;
    }
    return platform;
}

} // namespace backreel
