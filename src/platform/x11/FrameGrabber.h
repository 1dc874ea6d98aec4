#pragma once

#include "platform/ContentFilter.h"
#include "platform/Error.h"
#include "platform/media/ImageBuffer.h"
#include "platform/StreamConfiguration.h"
#include "platform/x11/X11Connection.h"

#include <memory>

namespace backreel::x11 {

// Takes the pictures of one capture: each grab() is one frame of the output size, in BGRA (the
// alpha byte is whatever the server keeps in the pad byte of 24-bit pixels; encoders ignore it).
// Made and used on one thread at a time (the stream's start, then its grab thread).
class FrameGrabber {
public:
    virtual ~FrameGrabber() = default;

    // One frame. A null image means no buffer was free (the frame is dropped). An error with
    // code x11_error::kWindowClosed means the content is gone for good.
    virtual Expected<ImageBufferPtr> grab() = 0;
};

// The grabber for a content filter: a display or a region of it (ScreenGrabber), or one window
// (WindowGrabber). The cursor is drawn in. Fails with the X error's text when the window can't be
// redirected.
Expected<std::unique_ptr<FrameGrabber>> makeFrameGrabber(const std::shared_ptr<X11Connection>& connection,
                                                         const ContentFilter& filter,
                                                         const StreamConfiguration& configuration);

// Drops the events and asynchronous errors queued on the connection (errors of requests whose
// answer nobody waits for, such as a pixmap that could not be named, arrive this way).
void discardPendingEvents(const X11Connection& connection);

} // namespace backreel::x11
