#pragma once

#include "platform/ScreenPictureService.h"

namespace backreel {

// Desktops without X11 composite every window themselves: nothing to draw beneath an overlay.
class NullScreenPictureService final : public ScreenPictureService {
public:
    bool hasCompositingManager() override { return true; }
    QImage picture(const QRect&) override { return {}; }
};

} // namespace backreel
