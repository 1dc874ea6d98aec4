#pragma once

#include "platform/ScreenPictureService.h"
#include "platform/x11/ReopeningConnection.h"

namespace backreel {

// An X11 session: a compositing manager owns the selection _NET_WM_CM_S<screen number>, and a
// picture is the root window's content. Main thread; each call makes one round trip on a
// connection of its own, opened at the first call and again after it broke.
class X11ScreenPictureService final : public ScreenPictureService {
public:
    X11ScreenPictureService();
    ~X11ScreenPictureService() override;

    bool hasCompositingManager() override;
    QImage picture(const QRect& area) override;

private:
    x11::ReopeningConnection connection_{QStringLiteral("ScreenPicture")};
};

} // namespace backreel
