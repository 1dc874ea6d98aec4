#include "overlay/RegionSelectorCoordinator.h"

#include "overlay/OverlayDrawing.h"
#include "overlay/PerScreenSelectorPanel.h"
#include "overlay/RegionSelectorView.h"
#include "core/dispatch/Completion.h"
#include "platform/ScreenPictureService.h"

#include <QGuiApplication>
#include <QWindow>

namespace backreel {

std::shared_ptr<RegionSelectorCoordinator>
RegionSelectorCoordinator::create(std::shared_ptr<ScreenPictureService> pictures, ScreenList screens) {
    return std::shared_ptr<RegionSelectorCoordinator>(
        new RegionSelectorCoordinator(std::move(pictures), std::move(screens)));
}

RegionSelectorCoordinator::RegionSelectorCoordinator(std::shared_ptr<ScreenPictureService> pictures,
                                                     ScreenList screens)
    : pictures_(std::move(pictures))
    , screens_(std::move(screens)) {}

RegionSelectorCoordinator::~RegionSelectorCoordinator() {
    for (const auto& panel : panels_) {
        panel->close();
    }
}

QCoro::Task<std::optional<RegionSelection>> RegionSelectorCoordinator::selectRegion() {
    Completion<std::optional<RegionSelection>> selected(std::nullopt);
    continuation_ = selected.callback();
    showPanels();
    if (panels_.empty()) {
        finish(std::nullopt, nullptr, {}); // no screen, so nothing could ever end the selection
    }
    co_return co_await selected.wait();
}

void RegionSelectorCoordinator::showPanels() {
    // The screen the user works on: the one of the focused window, before the panels take the focus.
    const QWindow* focused = QGuiApplication::focusWindow();
    const QScreen* mainScreen = focused != nullptr ? focused->screen() : QGuiApplication::primaryScreen();

    const QList<QScreen*> screens = screens_();
    std::vector<QImage> backdrops = overlay::backdropsFor(screens, pictures_.get());
    const std::shared_ptr<RegionSelectorCoordinator> self = shared_from_this();
    std::vector<PanelPtr<PerScreenSelectorPanel>> panels;
    for (qsizetype index = 0; index < screens.size(); ++index) {
        auto* panel = new PerScreenSelectorPanel(screens[index], self,
                                                 std::move(backdrops[static_cast<std::size_t>(index)]));
        RegionSelectorView* view = panel->selectorView();
        // The callbacks keep the coordinator alive while its panels are up; emptying the panels at
        // the end breaks that cycle. They see their own panel only weakly.
        const QPointer<PerScreenSelectorPanel> weakPanel(panel);
        view->onActivate = [self, weakPanel] {
            if (weakPanel) {
                self->activate(weakPanel.data());
            }
        };
        view->onSelect = [self, weakPanel, view](const QRectF& rect) {
            self->finish(rect, weakPanel ? weakPanel->targetScreen() : nullptr, QSizeF(view->size()));
        };
        view->onCancel = [self] {
            self->finish(std::nullopt, nullptr, {});
        };
        panels.emplace_back(panel);
    }
    panels_ = std::move(panels);

    // The last screen's panel ends up with the keyboard.
    for (const auto& panel : panels_) {
        panel->bringToFrontAndMakeKey();
    }
    for (const auto& panel : panels_) {
        if (panel->targetScreen() == mainScreen) {
            panel->selectorView()->setActive(true);
            panel->selectorView()->update();
            break;
        }
    }
}

void RegionSelectorCoordinator::activate(PerScreenSelectorPanel* panel) {
    if (panel == nullptr) {
        return;
    }
    for (const auto& each : panels_) {
        each->selectorView()->setActive(each.get() == panel);
        each->selectorView()->update();
    }
}

void RegionSelectorCoordinator::finish(std::optional<QRectF> rect, QScreen* screen, QSizeF viewSize) {
    // The panels may hold the last references to this coordinator: keep it until the end.
    const std::shared_ptr<RegionSelectorCoordinator> keep = shared_from_this();
    for (const auto& panel : panels_) {
        panel->close();
    }
    panels_.clear();
    if (continuation_) {
        const std::function<void(std::optional<RegionSelection>)> resume = std::move(*continuation_);
        continuation_.reset();
        if (rect && screen != nullptr) {
            resume(RegionSelection{*rect, screen, viewSize});
        } else {
            resume(std::nullopt);
        }
    }
}

} // namespace backreel
