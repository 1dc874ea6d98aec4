#pragma once

#include "overlay/OverlayPanel.h"

#include <memory>

namespace backreel {

class RegionSelectorCoordinator;
class RegionSelectorView;

// The region selector's overlay on one screen, with its view. Main thread.
class PerScreenSelectorPanel final : public OverlayPanel {
    Q_OBJECT

public:
    PerScreenSelectorPanel(QScreen* screen, const std::shared_ptr<RegionSelectorCoordinator>& coordinator,
                           QImage backdrop);

    RegionSelectorView* selectorView() const { return selectorView_; }
    std::shared_ptr<RegionSelectorCoordinator> coordinator() const { return coordinator_.lock(); }

private:
    RegionSelectorView* selectorView_;
    std::weak_ptr<RegionSelectorCoordinator> coordinator_;
};

} // namespace backreel
