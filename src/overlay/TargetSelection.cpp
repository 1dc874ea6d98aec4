#include "overlay/TargetSelection.h"

#include "capture/RecordingManager.h"
#include "capture/StillPicture.h"
#include "overlay/OverlayGeometry.h"
#include "overlay/RegionSelectorCoordinator.h"
#include "overlay/StillScreenPicture.h"
#include "overlay/WindowPickerCoordinator.h"
#include "overlay/WindowPickerRules.h"
#include "platform/CaptureService.h"

#include <chrono>
#include <QPointer>
#include <QScreen>

namespace backreel {

namespace {
// The user reads the capture service's own words.
Error asError(const CaptureError& error) {
    return Error(error.message);
}
} // namespace

QCoro::Task<MaybeError> pickWindowTarget(RecordingManager& manager, Platform platform, Logger log) {
    // The recorder may go away while the flow waits (the application quitting): checked after each wait.
    const QPointer<RecordingManager> alive(&manager);
    if (platform.capture->choosesContentInDialog()) {
        // No window list to pick from: the desktop's dialog asks for the window at the start.
        manager.setCaptureTarget(CaptureTarget::window(ContentFilter::window(Window{})));
        manager.setSelectedWindowInfo(kWindowChosenAtStart);
        co_return std::nullopt;
    }
    Expected<ShareableContent, CaptureError> content = co_await manager.shareableContent();
    if (!content) {
        co_return asError(content.error());
    }
    if (!alive) {
        co_return std::nullopt;
    }
    std::vector<Window> windows = std::move(content.value().windows);
    for (const QString& line : overlay::candidateListLog(windows)) {
        log.info(line);
    }

    const std::shared_ptr<WindowPickerCoordinator> coordinator =
        WindowPickerCoordinator::create(platform.windowServer, platform.screenPictures);
    QCoro::Task<std::optional<Window>> pick = coordinator->pickWindow(std::move(windows));
    const std::optional<Window> picked = co_await std::move(pick);
    if (!picked || !alive) {
        co_return std::nullopt;
    }
    manager.setCaptureTarget(CaptureTarget::window(ContentFilter::window(*picked)));
    manager.setSelectedWindowInfo(overlay::pickInfo(*picked));
    log.info(overlay::pickedLine(*picked));
    co_return std::nullopt;
}

namespace {

// How long the chosen display's stream may take to send its first picture.
constexpr std::chrono::milliseconds kStillPictureDeadline{3000};

// The screen that shows a display: the one under the middle of its frame, else the primary one.
QScreen* screenOf(const Display& display) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    std::vector<QRectF> geometries;
    for (const QScreen* screen : screens) {
        geometries.emplace_back(screen->geometry());
    }
    const std::optional<std::size_t> index = overlay::screenShowing(geometries, display.frame);
    return index ? screens[static_cast<qsizetype>(*index)] : QGuiApplication::primaryScreen();
}

// Where the desktop's dialog chooses the display: the dialog first, then the selector over a still
// picture of what it chose, on the screen that shows it.
QCoro::Task<MaybeError> selectRegionOnChosenDisplay(RecordingManager& manager, Platform platform) {
    const QPointer<RecordingManager> alive(&manager);
    QCoro::Task<Expected<ShareableContent, CaptureError>> asking = manager.chosenContent(ContentKind::region);
    const Expected<ShareableContent, CaptureError> chosen = co_await asking;
    if (!alive || (!chosen && chosen.error().kind == CaptureError::Kind::cancelled)) {
        co_return std::nullopt;
    }
    if (!chosen) {
        co_return asError(chosen.error());
    }
    if (chosen.value().displays.empty()) {
        co_return Error(QStringLiteral("No display found."));
    }
    const Display display = chosen.value().displays.front();
    QCoro::Task<Expected<QImage, CaptureError>> taking =
        takeStillPicture(*platform.capture, display, kStillPictureDeadline);
    const Expected<QImage, CaptureError> picture = co_await taking;
    if (!alive) {
        co_return std::nullopt;
    }
    if (!picture) {
        co_return asError(picture.error());
    }

    const QPointer<QScreen> screen = screenOf(display);
    const std::shared_ptr<RegionSelectorCoordinator> coordinator =
        RegionSelectorCoordinator::create(std::make_shared<StillScreenPicture>(picture.value()), [screen] {
            return screen ? QList<QScreen*>{screen.data()} : QList<QScreen*>();
        });
    QCoro::Task<std::optional<RegionSelection>> selection = coordinator->selectRegion();
    // Its one panel is the active one, wherever the focus is.
    if (!coordinator->panels().empty()) {
        coordinator->activate(coordinator->panels().front().get());
    }
    const std::optional<RegionSelection> selected = co_await std::move(selection);
    if (!selected || !selected->screen || !alive) {
        co_return std::nullopt;
    }
    // Through the view's own size: the compositor decides where a window goes and how large it is.
    const QRectF rect = overlay::viewRectOnPicture(selected->rect, selected->viewSize, display.frame.size());
    if (rect.isEmpty()) {
        co_return std::nullopt;
    }
    manager.setCaptureTarget(CaptureTarget::region(rect, display));
    co_return std::nullopt;
}

} // namespace

QCoro::Task<MaybeError> selectRegionTarget(RecordingManager& manager, Platform platform) {
    if (platform.capture->choosesContentInDialog()) {
        QCoro::Task<MaybeError> choosing = selectRegionOnChosenDisplay(manager, platform);
        co_return co_await choosing;
    }
    const QPointer<RecordingManager> alive(&manager);
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

    const Expected<ShareableContent, CaptureError> content = co_await manager.shareableContent();
    if (!content) {
        co_return asError(content.error());
    }
    if (!alive) {
        co_return std::nullopt;
    }
    const std::optional<Display> display = displayForScreen(content.value().displays, screenName);
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
