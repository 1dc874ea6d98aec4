#pragma once

#include <memory>

namespace backreel {

class CaptureService;
class FileReveal;
class GlobalShortcuts;
class MovieFileService;
class MovieProbe;
class NotificationMuter;
class ScreenPictureService;
class VideoEncoderService;
class WindowServer;

// The services of the desktop that Backreel runs on. Only the loader picks their backends.
struct Platform {
    std::shared_ptr<CaptureService> capture;
    std::shared_ptr<VideoEncoderService> encoders;
    std::shared_ptr<NotificationMuter> notifications;
    std::shared_ptr<WindowServer> windowServer;
    std::shared_ptr<MovieFileService> movieFiles;
    std::shared_ptr<MovieProbe> movieProbe;
    std::shared_ptr<FileReveal> fileReveal;
    std::shared_ptr<ScreenPictureService> screenPictures;
    std::shared_ptr<GlobalShortcuts> shortcuts;
};

// The backends for this desktop session.
Platform loadPlatform();

} // namespace backreel
