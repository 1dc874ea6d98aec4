#pragma once

#include "overlay/OverlayPanel.h"

#include <memory>

namespace backreel {

class WindowPickerCoordinator;
class WindowPickerView;

// The window picker's overlay on one screen, with its view. Main thread.
class WindowPickerPanel final : public OverlayPanel {
    Q_OBJECT

public:
    WindowPickerPanel(QScreen* screen, const std::shared_ptr<WindowPickerCoordinator>& coordinator,
                      QImage backdrop);

    WindowPickerView* pickerView() const { return pickerView_; }

private:
    WindowPickerView* pickerView_;
};

} // namespace backreel
