#pragma once

#include "platform/ScreenPictureService.h"

#include <QImage>

namespace backreel {

// One still picture of a screen, drawn beneath an overlay of that screen instead of the live
// desktop: every area asked for gets the whole picture, scaled to the area's size. Main thread.
class StillScreenPicture final : public ScreenPictureService {
public:
    explicit StillScreenPicture(QImage picture)
        : picture_(std::move(picture)) {}

    // Never: the overlay draws the picture, whatever lies beneath it.
    bool hasCompositingManager() override { return false; }
    QImage picture(const QRect& area) override {
        if (picture_.isNull() || area.isEmpty()) {
            return {};
        }
        return picture_.size() == area.size()
                   ? picture_
                   : picture_.scaled(area.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }

private:
    QImage picture_;
};

} // namespace backreel
