#include "overlay/TargetSelection.h"

#include "capture/RecordingManager.h"
#include "overlay/OverlayGeometry.h"
#include "overlay/RegionSelectorCoordinator.h"
#include "overlay/WindowPickerCoordinator.h"
#include "overlay/WindowPickerRules.h"
#include "platform/CaptureStream.h"

#include <QPointer>

namespace backreel {

QCoro::Task<MaybeError> pickWindowTarget(RecordingManager& manager) {
    // The recorder may go away while the flow waits (the application quitting): checked after each wait.
    const QPointer<RecordingManager> alive(&manager);
    const Platform platform = manager.platform();
    if (platform.capture->choosesContentInDialog()) {
        // No window list to pick from: the desktop's dialog asks for the window at the start.
        manager.setCaptureTarget(CaptureTarget::window(ContentFilter::desktopIndependentWindow(Window{})));
        manager.setSelectedWindowInfo(kWindowChosenAtStart);
        co_return std::nullopt;
    }
    Expected<ShareableContent> content = co_await manager.shareableContent();
    if (!content) {
        co_return content.error();
    }
    if (!alive) {
        co_return std::nullopt;
    }
    std::vector<Window> windows = std::move(content.value().windows);
    for (const QString& line : overlay::candidateListLog(windows)) {
        manager.logger().info(line);
    }

    const std::shared_ptr<WindowPickerCoordinator> coordinator =
        WindowPickerCoordinator::create(platform.windowServer, platform.screenPictures);
    QCoro::Task<std::optional<Window>> pick = coordinator->pickWindow(std::move(windows));
    const std::optional<Window> picked = co_await std::move(pick);
    if (!picked || !alive) {
        co_return std::nullopt;
    }
    manager.setCaptureTarget(CaptureTarget::window(ContentFilter::desktopIndependentWindow(*picked)));
    manager.setSelectedWindowInfo(overlay::pickInfo(*picked));
    manager.logger().info(overlay::pickedLine(*picked));
    co_return std::nullopt;
}

QCoro::Task<MaybeError> selectRegionTarget(RecordingManager& manager) {
    const QPointer<RecordingManager> alive(&manager);
    const Platform platform = manager.platform();
    const std::shared_ptr<RegionSelectorCoordinator> coordinator =
        RegionSelectorCoordinator::create(platform.screenPictures);
    QCoro::Task<std::optional<RegionSelection>> selection = coordinator->selectRegion();
    const std::optional<RegionSelection> selected = co_await std::move(selection);
    if (!selected || !selected->screen || !alive) {
        co_return std::nullopt;
    }
    // Taken before the query, which may outlast the screen.
    const QRectF source = overlay::viewRectToDisplay(selected->rect, selected->screen->devicePixelRatio());
    const QString screenName = selected->screen->name();
    const QSize screenSize = selected->screen->size();

    const Expected<ShareableContent> content = co_await manager.shareableContent();
    if (!content) {
        co_return content.error();
    }
    if (!alive) {
        co_return std::nullopt;
    }
    std::optional<Display> display = displayForScreen(content.value().displays, screenName);
    if (!display && platform.capture->choosesContentInDialog()) {
        // The desktop's dialog asks for the display at the start; the region keeps to this screen's points.
        display = Display{0, 0, 0, QRectF(QPointF(0, 0), QSizeF(screenSize)), screenName};
    }
    if (!display) {
        co_return std::nullopt;
    }
    manager.setCaptureTarget(CaptureTarget::region(source, *display));
    co_return std::nullopt;
}

std::optional<Display> displayForScreen(const std::vector<Display>& displays, const QString& screenName) {
    if (displays.empty()) {
        return std::nullopt;
    }
    if (!screenName.isEmpty()) {
        for (const Display& display : displays) {
            if (display.name == screenName) {
                return display;
            }
        }
    }
    return displays.front();
}

} // namespace backreel
