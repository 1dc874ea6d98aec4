#pragma once

#include "platform/CaptureError.h"
#include "platform/ContentFilter.h"
#include "platform/ShareableContent.h"
#include "platform/VideoSource.h"

#include <memory>
#include <QCoroTask>

namespace backreel {

// What the user asks to capture, where the desktop's own dialog chooses it: a display, a window,
// or a display to cut a region from.
enum class ContentKind { display, window, region };

// The capture service: what can be captured, and sources that capture it.
//
// Thread contract: main thread; the coroutines complete there.
class CaptureService {
public:
    virtual ~CaptureService() = default;

    // The displays, windows and applications there are, or why they cannot be listed.
    virtual QCoro::Task<Expected<ShareableContent, CaptureError>> shareableContent() = 0;

    // Whether the user chooses what to capture in a dialog of the desktop's own (on Wayland, where
    // no application sees the others' windows), not from what shareableContent() lists.
    virtual bool choosesContentInDialog() const { return false; }
    // Asks the desktop's dialog for one display or window (for a region, the display it lies on)
    // and yields content holding exactly that one, sized as it will be captured; a source made for
    // it captures what the user chose. A cancelled dialog yields a CaptureError of kind cancelled.
    // Services without a dialog yield their shareable content. The desktop's stream is asked for
    // frames at up to frameRate a second.
    virtual QCoro::Task<Expected<ShareableContent, CaptureError>> chooseContent(ContentKind kind, int frameRate);

    virtual std::unique_ptr<VideoSource> makeVideoSource(const ContentFilter& filter,
                                                         const VideoSourceSettings& settings) = 0;
};

inline QCoro::Task<Expected<ShareableContent, CaptureError>> CaptureService::chooseContent(ContentKind, int) {
    co_return co_await shareableContent();
}

} // namespace backreel
