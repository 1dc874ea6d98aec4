#include "overlay/WindowPickerCoordinator.h"

#include "overlay/OverlayDrawing.h"
#include "overlay/WindowPickerPanel.h"
#include "overlay/WindowPickerView.h"
#include "core/dispatch/Completion.h"
#include "platform/ScreenPictureService.h"
#include "platform/WindowServer.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace backreel {

std::shared_ptr<WindowPickerCoordinator>
WindowPickerCoordinator::create(std::shared_ptr<WindowServer> windowServer,
                                std::shared_ptr<ScreenPictureService> pictures, ScreenList screens) {
    return std::shared_ptr<WindowPickerCoordinator>(
        new WindowPickerCoordinator(std::move(windowServer), std::move(pictures), std::move(screens)));
}

WindowPickerCoordinator::WindowPickerCoordinator(std::shared_ptr<WindowServer> windowServer,
                                                 std::shared_ptr<ScreenPictureService> pictures,
                                                 ScreenList screens)
    : windowServer_(std::move(windowServer))
    , pictures_(std::move(pictures))
    , screens_(std::move(screens)) {}

// A coordinator dropped while showing takes its panels down; the pick then completes with none.
WindowPickerCoordinator::~WindowPickerCoordinator() {
    for (const auto& panel : panels_) {
        panel->close();
    }
}

QCoro::Task<std::optional<Window>> WindowPickerCoordinator::pickWindow(std::vector<Window> windows) {
    Completion<std::optional<Window>> picked(std::nullopt);
    continuation_ = picked.callback();
    candidates_ = overlay::pickableWindows(windows, kApplicationID);
    showPanels();
    if (panels_.empty()) {
        finish(std::nullopt); // no screen, so nothing could ever end the pick
    }
    co_return co_await picked.wait();
}

void WindowPickerCoordinator::showPanels() {
    const QList<QScreen*> screens = screens_();
    // The pictures are taken before the first panel covers anything.
    std::vector<QImage> backdrops = overlay::backdropsFor(screens, pictures_.get());
    for (qsizetype index = 0; index < screens.size(); ++index) {
        panels_.emplace_back(new WindowPickerPanel(screens[index], shared_from_this(),
                                                   std::move(backdrops[static_cast<std::size_t>(index)])));
    }
    // The last screen's panel ends up with the keyboard.
    for (const auto& panel : panels_) {
        panel->bringToFrontAndMakeKey();
    }
}

void WindowPickerCoordinator::updateHover() {
    std::vector<overlay::ScreenPlacement> screens;
    for (const auto& panel : panels_) {
        if (const QScreen* screen = panel->targetScreen()) {
            screens.push_back(overlay::placementOf(*screen));
        }
    }
    const QPointF pointer = overlay::globalToWindowServer(QCursor::pos(), screens);
    const std::vector<WindowServerEntry> list = windowServer_->windowList();
    if (list.empty()) {
        return; // the window server did not answer: the hover stays as it was
    }
    overlay::HoverChange change = overlay::hoverChange(overlay::hitWindow(list, pointer), candidates_, hover_);
    if (change.kind == overlay::HoverChange::Kind::unchanged) {
        return;
    }
    hover_ = std::move(change.hover);
    for (const auto& panel : panels_) {
        panel->pickerView()->update();
    }
}

void WindowPickerCoordinator::finish(std::optional<Window> result) {
    if (!continuation_) {
        return;
    }
    for (const auto& panel : panels_) {
        panel->close();
    }
    panels_.clear();
    const std::function<void(std::optional<Window>)> resume = std::move(*continuation_);
    continuation_.reset();
    resume(std::move(result));
}

std::optional<Window> WindowPickerCoordinator::hoveredWindow() const {
    return hover_ ? std::optional<Window>(hover_->window) : std::nullopt;
}

std::optional<QRectF> WindowPickerCoordinator::hoveredCGBounds() const {
    return hover_ ? std::optional<QRectF>(hover_->bounds) : std::nullopt;
}

} // namespace backreel
