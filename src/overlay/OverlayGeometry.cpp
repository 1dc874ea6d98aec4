#include "overlay/OverlayGeometry.h"

#include <algorithm>
#include <cmath>

namespace backreel::overlay {

namespace {
constexpr double kLabelGap = 6;          // between a rectangle and its label
constexpr double kLabelMargin = 4;       // between a label and the edges of the screen
constexpr double kPillPaddingX = 6;      // around the text of a label, at the sides
constexpr double kPillPaddingY = 3;      // and above and below it
constexpr double kPickerHintTop = 24;    // between the top edge and the picker's hint
constexpr double kRegionHintGap = 16;    // between the region hint and the middle of the view
constexpr double kCrosshairDrop = 10;    // between the middle of the view and the crosshair
constexpr double kCrosshairArm = 18;     // half the length of each crosshair line
constexpr double kCornerDotRadius = 4;   // half the size of a corner dot
constexpr double kMinimumSelection = 10; // a selection must be larger than this each way

double validScale(double scale) {
    return scale > 0 && std::isfinite(scale) ? scale : 1.0;
}
} // namespace

QRectF ScreenPlacement::windowServerRect() const {
    const double factor = validScale(scale);
    return QRectF(geometry.topLeft(), geometry.size() * factor);
}

bool containsPoint(const QRectF& rect, QPointF point) {
    const QRectF r = rect.normalized();
    return point.x() >= r.left() && point.x() < r.right() && point.y() >= r.top() && point.y() < r.bottom();
}

QRectF windowServerRectToView(const QRectF& rect, const ScreenPlacement& screen) {
    const double factor = validScale(screen.scale);
    const QPointF origin = screen.geometry.topLeft();
    return QRectF((rect.topLeft() - origin) / factor, rect.size() / factor);
}

QPointF globalToWindowServer(QPointF point, const std::vector<ScreenPlacement>& screens) {
    for (const ScreenPlacement& screen : screens) {
        if (containsPoint(screen.geometry, point)) {
            const QPointF origin = screen.geometry.topLeft();
            return origin + (point - origin) * validScale(screen.scale);
        }
    }
    return point;
}

QRectF viewRectToDisplay(const QRectF& rect, double scale) {
    const double factor = validScale(scale);
    return QRectF(rect.topLeft() * factor, rect.size() * factor);
}

QRectF viewRectOnPicture(const QRectF& rect, QSizeF viewSize, QSizeF pictureSize) {
    if (viewSize.isEmpty() || pictureSize.isEmpty()) {
        return {};
    }
    const double scaleX = pictureSize.width() / viewSize.width();
    const double scaleY = pictureSize.height() / viewSize.height();
    const QRectF scaled(rect.x() * scaleX, rect.y() * scaleY, rect.width() * scaleX, rect.height() * scaleY);
    return scaled.intersected(QRectF(QPointF(0, 0), pictureSize));
}

std::optional<std::size_t> screenShowing(const std::vector<QRectF>& screenGeometries, const QRectF& frame) {
    for (std::size_t index = 0; index < screenGeometries.size(); ++index) {
        if (containsPoint(screenGeometries[index], frame.center())) {
            return index;
        }
    }
    return std::nullopt;
}

QRectF dragRect(QPointF start, QPointF current) {
    return QRectF(std::min(start.x(), current.x()), std::min(start.y(), current.y()),
                  std::abs(current.x() - start.x()), std::abs(current.y() - start.y()));
}

bool isLargeEnoughSelection(const QRectF& rect) {
    return rect.width() > kMinimumSelection && rect.height() > kMinimumSelection;
}

QString sizeLabelText(const QRectF& rect) {
    return QStringLiteral("%1 × %2")
        .arg(static_cast<long>(rect.width()))
        .arg(static_cast<long>(rect.height()));
}

QRectF labelPillRect(const QRectF& target, QSizeF pillSize, const QRectF& bounds, HorizontalFit fit) {
    double y = target.bottom() + kLabelGap;
    if (bounds.bottom() - (y + pillSize.height()) < kLabelMargin) {
        y = target.top() - kLabelGap - pillSize.height();
    }
    double x = target.center().x() - pillSize.width() / 2;
    if (fit == HorizontalFit::keepInside) {
        x = std::min(x, bounds.right() - pillSize.width() - kLabelMargin);
        x = std::max(x, bounds.left() + kLabelMargin);
    }
    return QRectF(QPointF(x, y), pillSize);
}

QSizeF pillSizeForText(QSizeF textSize) {
    return QSizeF(textSize.width() + 2 * kPillPaddingX, textSize.height() + 2 * kPillPaddingY);
}

QRectF textRectInPill(const QRectF& pill) {
    return pill.adjusted(kPillPaddingX, kPillPaddingY, -kPillPaddingX, -kPillPaddingY);
}

QRectF pickerHintRect(QSizeF textSize, const QRectF& bounds) {
    return QRectF(QPointF(bounds.center().x() - textSize.width() / 2, bounds.top() + kPickerHintTop),
                  textSize);
}

QRectF regionHintRect(QSizeF textSize, const QRectF& bounds) {
    const QPointF centre = bounds.center();
    return QRectF(QPointF(centre.x() - textSize.width() / 2, centre.y() - kRegionHintGap - textSize.height()),
                  textSize);
}

std::array<QLineF, 2> crosshairLines(const QRectF& bounds) {
    const QPointF centre = bounds.center() + QPointF(0, kCrosshairDrop);
    return {QLineF(centre.x() - kCrosshairArm, centre.y(), centre.x() + kCrosshairArm, centre.y()),
            QLineF(centre.x(), centre.y() - kCrosshairArm, centre.x(), centre.y() + kCrosshairArm)};
}

std::array<QRectF, 4> cornerDotRects(const QRectF& selection) {
    const QSizeF size(2 * kCornerDotRadius, 2 * kCornerDotRadius);
    const QPointF offset(kCornerDotRadius, kCornerDotRadius);
    return {QRectF(selection.topLeft() - offset, size), QRectF(selection.topRight() - offset, size),
            QRectF(selection.bottomLeft() - offset, size), QRectF(selection.bottomRight() - offset, size)};
}

} // namespace backreel::overlay
