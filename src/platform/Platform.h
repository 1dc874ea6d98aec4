#pragma once

#include <memory>

namespace backreel {

class AssetWriterService;
class CaptureService;
class FileReveal;
class MovieProbe;
class CompressionService;
class NotificationMuter;
class ScreenPictureService;
class WindowServer;

// The services of the desktop that Backreel runs on. Only the loader picks their backends.
struct Platform {
    std::shared_ptr<CaptureService> capture;
    std::shared_ptr<CompressionService> compression;
    std::shared_ptr<NotificationMuter> notifications;
    std::shared_ptr<WindowServer> windowServer;
    std::shared_ptr<AssetWriterService> assetWriter;
    std::shared_ptr<MovieProbe> movieProbe;
    std::shared_ptr<FileReveal> fileReveal;
    std::shared_ptr<ScreenPictureService> screenPictures;
};

// The backends for this desktop session.
Platform loadPlatform();

} // namespace backreel
