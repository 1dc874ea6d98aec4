#pragma once

#include "platform/CaptureStream.h"
#include "platform/ShareableContent.h"

#include <chrono>
#include <QCoroTask>
#include <QImage>

namespace backreel {

// What a display shows now, taken from a stream of it: its first picture, at the display's size
// in pixels. Completes with the stream's error when it fails to start or stops, and with "The
// screen's stream sent no picture." when no picture comes within the deadline. The stream is
// stopped and gone before it completes. Main thread.
QCoro::Task<Expected<QImage>> takeStillPicture(CaptureService& service, const Display& display,
                                               std::chrono::milliseconds deadline);

} // namespace backreel
