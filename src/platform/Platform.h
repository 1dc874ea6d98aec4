#pragma once

#include <memory>
#include <QString>

namespace backreel {

class AudioCodecService;
class AudioService;
class CaptureService;
class FileReveal;
class GlobalShortcuts;
class MovieFileService;
class MovieProbe;
class NotificationMuter;
class PictureDecoderService;
class ScreenPictureService;
class SoundPlayerService;
class VideoEncoderService;
class WindowServer;

// The services of the desktop that Backreel runs on. Only the loader picks their backends.
struct Platform {
    std::shared_ptr<CaptureService> capture;
    std::shared_ptr<AudioService> audio; // the system's sound; null where there is none
    std::shared_ptr<AudioCodecService> audioCodecs;
    std::shared_ptr<VideoEncoderService> encoders;
    std::shared_ptr<NotificationMuter> notifications;
    std::shared_ptr<WindowServer> windowServer;
    std::shared_ptr<MovieFileService> movieFiles;
    std::shared_ptr<MovieProbe> movieProbe;
    std::shared_ptr<FileReveal> fileReveal;
    std::shared_ptr<ScreenPictureService> screenPictures;
    std::shared_ptr<GlobalShortcuts> shortcuts;
    std::shared_ptr<PictureDecoderService> pictureDecoders; // for reviewing the buffer
    std::shared_ptr<SoundPlayerService> soundPlayers;       // null where there is no sound
};

// What the loader looks at in the environment to pick the capture backend.
struct SessionEnvironment {
    QString captureOverride; // BACKREEL_CAPTURE
    QString sessionType;     // XDG_SESSION_TYPE
    bool hasWaylandDisplay = false;
    bool hasX11Display = false;
};

enum class CaptureBackend { x11, portal, none };

// The capture backend of a session: BACKREEL_CAPTURE ("x11" or "portal") when set; else the
// screen-cast portal in a Wayland session (XDG_SESSION_TYPE=wayland or WAYLAND_DISPLAY set), where
// X11 clients see neither the real screen nor native windows; else X11 where there is an X
// display; else none.
CaptureBackend captureBackendFor(const SessionEnvironment& session);

// The global shortcuts backend of a session (x11: key grabs on the root window): the portal where
// the capture goes through it, and in every Wayland session, where an X11 grab sees keys only while
// an XWayland window has the keyboard; else X11 grabs where the capture uses X11; else none.
CaptureBackend shortcutsBackendFor(const SessionEnvironment& session);

// The backends for this desktop session.
Platform loadPlatform();

} // namespace backreel
