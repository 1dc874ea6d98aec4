#pragma once

#include "platform/ContentFilter.h"
#include "core/Error.h"
#include "core/media/ImageBuffer.h"
#include "platform/CaptureError.h"
#include "platform/VideoSource.h"
#include "platform/x11/X11Connection.h"

#include <memory>

namespace backreel::x11 {

// Takes the pictures of one capture: each grab() is one frame of the output size, in BGRA (the
// alpha byte is whatever the server keeps in the pad byte of 24-bit pixels; encoders ignore it).
// Made and used on one thread at a time (the stream's start, then its grab thread).
class FrameGrabber {
public:
    virtual ~FrameGrabber() = default;

    // One frame. A null image means no buffer was free (the frame is dropped). An error of kind
    // ended means the content is gone for good.
    virtual Expected<ImageBufferPtr, CaptureError> grab() = 0;

    // Whether the picture may differ from the last one grab() returned: something was drawn into
    // the captured content, or the pointer moved or changed its shape where it is drawn in. Always
    // true on a server without the DAMAGE extension. Called before grab() at every tick; a change
    // stays reported until a grab took it.
    virtual bool hasChanged() = 0;
};

// The grabber for a content filter: a display or a region of it (ScreenGrabber), or one window
// (WindowGrabber). The cursor is drawn in. Fails with the X error's text when the window can't be
// redirected.
Expected<std::unique_ptr<FrameGrabber>> makeFrameGrabber(const std::shared_ptr<X11Connection>& connection,
                                                         const ContentFilter& filter,
                                                         const VideoSourceSettings& settings);

} // namespace backreel::x11
