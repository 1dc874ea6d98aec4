#pragma once

#include "platform/AssetWriter.h"

namespace backreel {

// Creates FfmpegAssetWriters. The file is created (or emptied) at once, with the user's usual
// permissions; a path that cannot be written fails with the system's text and the path, e.g.
// "Permission denied (/srv/movies/clip.mp4)". Any thread.
class FfmpegAssetWriterService final : public AssetWriterService {
public:
    Expected<std::shared_ptr<AssetWriter>> createWriter(const QString& path, FileType fileType) override;
};

} // namespace backreel
