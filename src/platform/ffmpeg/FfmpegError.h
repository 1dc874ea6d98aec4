#pragma once

#include "core/Error.h"
#include "platform/ffmpeg/FfmpegPtr.h"

namespace backreel {

// An error in the domain "FFmpeg" with FFmpeg's own text for the code ("No space left on device").
inline Error ffmpegError(int code) {
    return Error{QStringLiteral("FFmpeg"), code, QString::fromStdString(ffmpegErrorText(code))};
}

} // namespace backreel
