#pragma once

#include "overlay/OverlayPanel.h"
#include "overlay/WindowPickerRules.h"
#include "platform/ShareableContent.h"

#include <functional>
#include <memory>
#include <optional>
#include <QCoroTask>
#include <QGuiApplication>
#include <vector>

namespace backreel {

class ScreenPictureService;
class WindowPickerPanel;
class WindowServer;

// One window pick: a dimmed overlay on every screen on which the window under the pointer is cut
// out, ringed and labelled; a click on it picks it, Esc cancels. Created (with create()) for one
// pick and dropped after it; its views refer back to it weakly.
//
// Main thread only.
class WindowPickerCoordinator : public std::enable_shared_from_this<WindowPickerCoordinator> {
public:
    static std::shared_ptr<WindowPickerCoordinator> create(std::shared_ptr<WindowServer> windowServer,
                                                           std::shared_ptr<ScreenPictureService> pictures,
                                                           ScreenList screens = &QGuiApplication::screens);
    ~WindowPickerCoordinator();
    WindowPickerCoordinator(const WindowPickerCoordinator&) = delete;
    WindowPickerCoordinator& operator=(const WindowPickerCoordinator&) = delete;

    // Shows the overlay for the pickable ones of the given windows (the full shareable list) and
    // completes with the window the user clicked, or with none after Esc. Without any screen it
    // completes at once with none. Once per coordinator.
    QCoro::Task<std::optional<Window>> pickWindow(std::vector<Window> windows);

    // Runs the hit test at the pointer's current place and updates the hover; redraws the views
    // only when the hovered window changed.
    void updateHover();

    // Closes the overlay and completes the waiting pick with the result. Does nothing when no pick
    // is waiting.
    void finish(std::optional<Window> result);

    const std::vector<PanelPtr<WindowPickerPanel>>& panels() const { return panels_; }
    const std::vector<Window>& candidates() const { return candidates_; }
    std::optional<Window> hoveredWindow() const;
    // The hovered window's bounds in the window server's space.
    std::optional<QRectF> hoveredCGBounds() const;

private:
    WindowPickerCoordinator(std::shared_ptr<WindowServer> windowServer,
                            std::shared_ptr<ScreenPictureService> pictures, ScreenList screens);
    void showPanels();

    const std::shared_ptr<WindowServer> windowServer_;
    const std::shared_ptr<ScreenPictureService> pictures_;
    const ScreenList screens_;
    std::vector<PanelPtr<WindowPickerPanel>> panels_;
    std::optional<std::function<void(std::optional<Window>)>> continuation_;
    std::vector<Window> candidates_;
    std::optional<overlay::Hover> hover_; // the hovered window and its bounds, set and cleared together
};

} // namespace backreel
