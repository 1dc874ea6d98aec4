#include "capture/LastTarget.h"

#include "core/Settings.h"

#include <algorithm>
#include <QStringList>

namespace backreel {

namespace {
const QString kKindKey = QStringLiteral("lastTarget/kind");
const QString kDisplayKey = QStringLiteral("lastTarget/display");
const QString kRegionKey = QStringLiteral("lastTarget/region");

QString nameOfDisplayAround(const QRectF& frame, const std::vector<Display>& displays) {
    const auto around = std::ranges::find_if(
        displays, [&](const Display& display) { return display.frame.contains(frame.center()); });
    return around == displays.end() ? QString() : around->name;
}

std::optional<Display> displayNamed(const QString& name, const std::vector<Display>& displays) {
    const auto named = std::ranges::find(displays, name, &Display::name);
    return named == displays.end() || name.isEmpty() ? std::nullopt : std::optional(*named);
}
} // namespace

LastTarget lastTargetOf(const CaptureTarget& target, const std::vector<Display>& displays) {
    if (const auto* window = target.asWindow()) {
        return {LastTarget::Kind::window, nameOfDisplayAround(window->filter.contentRect(), displays), {}};
    }
    if (const auto* region = target.asRegion()) {
        return {LastTarget::Kind::region, region->display.name, region->rect};
    }
    const auto* display = target.asDisplay();
    return {LastTarget::Kind::display, display->display ? display->display->name : QString(), {}};
}

RestoredTarget restoreTarget(const std::optional<LastTarget>& last, const std::vector<Display>& displays,
                             std::uint32_t mainDisplayID) {
    const auto main = std::ranges::find(displays, mainDisplayID, &Display::displayID);
    const CaptureTarget mainTarget =
        CaptureTarget::display(main == displays.end() ? std::nullopt : std::optional(*main));
    if (!last) {
        return {mainTarget, {}};
    }
    const std::optional<Display> display = displayNamed(last->displayName, displays);
    switch (last->kind) {
    case LastTarget::Kind::window:
        return {display ? CaptureTarget::display(display) : mainTarget,
                QStringLiteral("the last window cannot come back: recording its display")};
    case LastTarget::Kind::region:
        if (display && !last->region.isEmpty()) {
            return {CaptureTarget::region(last->region, *display), {}};
        }
        break;
    case LastTarget::Kind::display:
        if (display || last->displayName.isEmpty()) {
            return {display ? CaptureTarget::display(display) : mainTarget, {}};
        }
        break;
    }
    return {mainTarget, QStringLiteral("the last display is gone: recording the main display")};
}

std::optional<LastTarget> loadLastTarget() {
    const std::optional<QString> kind = Settings::stringValue(kKindKey);
    if (!kind) {
        return std::nullopt;
    }
    LastTarget target;
    target.kind = *kind == QLatin1String("window")   ? LastTarget::Kind::window
                  : *kind == QLatin1String("region") ? LastTarget::Kind::region
                                                     : LastTarget::Kind::display;
    target.displayName = Settings::stringValue(kDisplayKey).value_or(QString());
    const QStringList rect = Settings::stringValue(kRegionKey).value_or(QString()).split(QLatin1Char(','));
    if (rect.size() == 4) {
        target.region =
            QRectF(rect[0].toDouble(), rect[1].toDouble(), rect[2].toDouble(), rect[3].toDouble());
    }
    return target;
}

void storeLastTarget(const LastTarget& target) {
    static const char* const kinds[] = {"display", "window", "region"};
    Settings::setStringValue(kKindKey, QLatin1String(kinds[static_cast<int>(target.kind)]));
    Settings::setStringValue(kDisplayKey, target.displayName);
    const QRectF& r = target.region;
    Settings::setStringValue(
        kRegionKey, QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
}

} // namespace backreel
