#include "overlay/PerScreenSelectorPanel.h"

#include "overlay/RegionSelectorView.h"

namespace backreel {

PerScreenSelectorPanel::PerScreenSelectorPanel(QScreen* screen,
                                               const std::shared_ptr<RegionSelectorCoordinator>& coordinator,
                                               QImage backdrop)
    : OverlayPanel(screen, new RegionSelectorView(std::move(backdrop)))
    , selectorView_(static_cast<RegionSelectorView*>(contentView()))
    , coordinator_(coordinator) {
    setObjectName(QStringLiteral("perScreenSelectorPanel"));
}

} // namespace backreel
