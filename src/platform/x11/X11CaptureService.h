#pragma once

#include "platform/CaptureService.h"

namespace backreel {

// Capture on an X11 display: shareable content from RandR and the window manager's client list
// (listed on a thread of its own: a connection and a few pipelined round trips), and sources that
// grab the screen or a window with MIT-SHM (X11VideoSource).
class X11CaptureService final : public CaptureService {
public:
    QCoro::Task<Expected<ShareableContent, CaptureError>> shareableContent() override;
    std::unique_ptr<VideoSource> makeVideoSource(const ContentFilter& filter,
                                                 const VideoSourceSettings& settings) override;
};

} // namespace backreel
