#pragma once

#include <QImage>
#include <QRect>

namespace backreel {

// What the full-screen overlays need to look the same with and without a compositing manager:
// whether translucent windows show what lies beneath them, and, where they don't, a picture of
// what a screen shows, to draw beneath the overlay instead. Main thread.
class ScreenPictureService {
public:
    virtual ~ScreenPictureService() = default;

    // Whether a compositing manager blends translucent windows with the windows beneath them.
    virtual bool hasCompositingManager() = 0;
    // What the given area (window server space: top-left origin, points) shows now, one image
    // pixel per point; a null image when it can't be read.
    virtual QImage picture(const QRect& area) = 0;
};

} // namespace backreel
