#include "overlay/WindowPickerPanel.h"

#include "overlay/WindowPickerView.h"

namespace backreel {

WindowPickerPanel::WindowPickerPanel(QScreen* screen,
                                     const std::shared_ptr<WindowPickerCoordinator>& coordinator,
                                     QImage backdrop)
    : OverlayPanel(screen, new WindowPickerView(screen, coordinator, std::move(backdrop)))
    , pickerView_(static_cast<WindowPickerView*>(contentView())) {
    setObjectName(QStringLiteral("windowPickerPanel"));
}

} // namespace backreel
