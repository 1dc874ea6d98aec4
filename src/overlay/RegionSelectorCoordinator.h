#pragma once

#include "overlay/OverlayPanel.h"

#include <functional>
#include <memory>
#include <optional>
#include <QCoroTask>
#include <QGuiApplication>
#include <QPointer>
#include <QRectF>
#include <QScreen>
#include <vector>

namespace backreel {

class PerScreenSelectorPanel;
class ScreenPictureService;

// A finished selection: the rectangle in the view of the screen it was drawn on, and that screen
// (null once the screen has gone).
struct RegionSelection {
    QRectF rect;
    QPointer<QScreen> screen;
    // The size of the view it was dragged in: the screen's, unless the compositor placed the
    // overlay otherwise (a tiling one may).
    QSizeF viewSize;
};

// One region selection: an overlay on every screen, of which only the active one draws (a dim, a
// hint, and the selection cut out of the dim while the user drags). Releasing a drag of more than
// 10 points each way selects; Esc cancels. Created (with create()) for one selection and dropped
// after it.
//
// Main thread only.
class RegionSelectorCoordinator : public std::enable_shared_from_this<RegionSelectorCoordinator> {
public:
    static std::shared_ptr<RegionSelectorCoordinator> create(std::shared_ptr<ScreenPictureService> pictures,
                                                             ScreenList screens = &QGuiApplication::screens);
    ~RegionSelectorCoordinator();
    RegionSelectorCoordinator(const RegionSelectorCoordinator&) = delete;
    RegionSelectorCoordinator& operator=(const RegionSelectorCoordinator&) = delete;

    // Shows the overlay, the screen of the focused window (else the primary one) active, and
    // completes with the selection, or with none after Esc. Without any screen it completes at
    // once with none. Once per coordinator.
    QCoro::Task<std::optional<RegionSelection>> selectRegion();

    // Makes the panel's view the only active one. Does nothing for a panel that has gone.
    void activate(PerScreenSelectorPanel* panel);

    // Closes the overlay and completes the waiting selection: with none when the rectangle or the
    // screen is missing.
    void finish(std::optional<QRectF> rect, QScreen* screen, QSizeF viewSize);

    const std::vector<PanelPtr<PerScreenSelectorPanel>>& panels() const { return panels_; }

private:
    RegionSelectorCoordinator(std::shared_ptr<ScreenPictureService> pictures, ScreenList screens);
    void showPanels();

    const std::shared_ptr<ScreenPictureService> pictures_;
    const ScreenList screens_;
    std::vector<PanelPtr<PerScreenSelectorPanel>> panels_;
    std::optional<std::function<void(std::optional<RegionSelection>)>> continuation_;
};

} // namespace backreel
