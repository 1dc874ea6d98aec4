#pragma once

#include "core/Error.h"
#include "platform/ffmpeg/FfmpegPtr.h"

namespace backreel {

// FFmpeg's own text for the code ("No space left on device"), for a message of ours.
inline QString ffmpegReason(int code) {
    return QString::fromStdString(ffmpegErrorText(code));
}

// The code as an error with FFmpeg's own text; a code that is a negated errno (as FFmpeg reports
// the system's failures) brings that errno along.
inline Error ffmpegError(int code) {
    constexpr int kLargestErrno = 4095;
    const int errnoValue = code < 0 && -code <= kLargestErrno ? -code : 0;
    return Error(ffmpegReason(code), errnoValue);
}

} // namespace backreel
