#pragma once

#include "platform/CaptureService.h"
#include "platform/ShareableContent.h"

#include <chrono>
#include <QCoroTask>
#include <QImage>

namespace backreel {

// What a display shows now, taken from a video source of it: its first picture, at the display's
// size in pixels. Yields the source's error when it fails to start or ends, and "The screen's
// stream sent no picture." when no picture comes within the deadline. The source is stopped and
// gone before it completes. Main thread.
QCoro::Task<Expected<QImage, CaptureError>> takeStillPicture(CaptureService& service, const Display& display,
                                                             std::chrono::milliseconds deadline);

} // namespace backreel
