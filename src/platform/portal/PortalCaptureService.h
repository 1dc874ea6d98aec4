#pragma once

#include "platform/CaptureService.h"

#include <cstdint>
#include <map>
#include <memory>

namespace backreel::portal {
class PortalCast;
}

namespace backreel {

// Capture through the desktop's screen-cast portal and PipeWire, for Wayland sessions, where no
// application sees the screen or the other windows: the desktop's dialog chooses the display or
// window (chooseContent), and the chosen content names the cast that a source then captures. The
// choice is remembered per kind of content (the portal's restore token in Settings), so the same
// choice starts again without the dialog. Nothing is listed by shareableContent().
class PortalCaptureService final : public CaptureService {
public:
    QCoro::Task<Expected<ShareableContent, CaptureError>> shareableContent() override;
    bool choosesContentInDialog() const override { return true; }
    QCoro::Task<Expected<ShareableContent, CaptureError>> chooseContent(ContentKind kind, int frameRate) override;
    std::unique_ptr<VideoSource> makeVideoSource(const ContentFilter& filter,
                                                 const VideoSourceSettings& settings) override;

private:
    // The cast chosen last and not yet taken by a source; a new choice drops the one before it.
    std::map<std::uint32_t, std::shared_ptr<portal::PortalCast>> chosen_;
    std::uint32_t nextID_ = 1;
};

} // namespace backreel
