#include "overlay/WindowPickerView.h"

#include "overlay/OverlayDrawing.h"
#include "overlay/OverlayPanel.h"
#include "overlay/WindowPickerCoordinator.h"
#include "ui/SystemColors.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace backreel {

namespace {
constexpr double kDimOpacity = 0.3;
constexpr double kCutOutRadius = 10;
constexpr double kRingOutset = 2;
constexpr double kRingRadius = 12;
constexpr double kRingWidth = 3;
constexpr double kRingOpacity = 0.9;
constexpr double kLabelOpacity = 0.75;
constexpr int kLabelFontSize = 12;
constexpr int kHintFontSize = 14;
const QString kHint = QStringLiteral("Click a window to capture  •  Esc to cancel");
} // namespace

WindowPickerView::WindowPickerView(QScreen* screen, std::weak_ptr<WindowPickerCoordinator> coordinator,
                                   QImage backdrop)
    : placement_(screen != nullptr ? overlay::placementOf(*screen) : overlay::ScreenPlacement{})
    , coordinator_(std::move(coordinator))
    , backdrop_(std::move(backdrop)) {
    setObjectName(QStringLiteral("windowPickerView"));
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
}

QColor WindowPickerView::ringColor(const QPalette& palette) {
    QColor color = system_colors::accent(palette);
    color.setAlphaF(static_cast<float>(kRingOpacity));
    return color;
}

void WindowPickerView::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (const auto coordinator = coordinator_.lock()) {
        coordinator->finish(std::nullopt);
    }
}

void WindowPickerView::mouseMoveEvent(QMouseEvent*) {
    if (const auto coordinator = coordinator_.lock()) {
        coordinator->updateHover();
    }
}

void WindowPickerView::enterEvent(QEnterEvent*) {
    // The screen under the pointer gets the keyboard, so that Esc works wherever the user is.
    if (auto* panel = qobject_cast<OverlayPanel*>(window())) {
        panel->bringToFrontAndMakeKey();
    }
    if (const auto coordinator = coordinator_.lock()) {
        coordinator->updateHover();
    }
}

void WindowPickerView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    // The hover of the last move decides; a click where nothing is highlighted does nothing.
    if (const auto coordinator = coordinator_.lock()) {
        if (std::optional<Window> hovered = coordinator->hoveredWindow()) {
            coordinator->finish(std::move(hovered));
        }
    }
}

void WindowPickerView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!painter.isActive()) {
        return;
    }
    const QRectF bounds = rect();
    overlay::paintBackdrop(painter, bounds, backdrop_);
    painter.fillRect(bounds, QColor::fromRgbF(0, 0, 0, static_cast<float>(kDimOpacity)));

    const auto coordinator = coordinator_.lock();
    const std::optional<Window> hovered = coordinator ? coordinator->hoveredWindow() : std::nullopt;
    const std::optional<QRectF> hoveredBounds = coordinator ? coordinator->hoveredCGBounds() : std::nullopt;
    if (hovered && hoveredBounds) {
        const QRectF local = overlay::windowServerRectToView(*hoveredBounds, placement_);
        if (local.intersects(bounds)) {
            painter.setRenderHint(QPainter::Antialiasing);
            QPainterPath shape;
            shape.addRoundedRect(local, kCutOutRadius, kCutOutRadius);
            overlay::cutOut(painter, shape, bounds, backdrop_);

            painter.setPen(QPen(ringColor(palette()), kRingWidth));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(local.adjusted(-kRingOutset, -kRingOutset, kRingOutset, kRingOutset),
                                    kRingRadius, kRingRadius);
            drawLabel(painter, *hovered, local);
        }
    }
    drawHint(painter);
}

void WindowPickerView::drawLabel(QPainter& painter, const Window& window, const QRectF& local) {
    const QString text = overlay::windowLabelText(window);
    const QFont font = overlay::overlayFont(kLabelFontSize, QFont::DemiBold);
    const QSizeF pillSize = overlay::pillSizeForText(overlay::textSize(text, font));
    const QRectF pill = overlay::labelPillRect(local, pillSize, rect(), overlay::HorizontalFit::keepInside);
    overlay::drawLabelPill(painter, pill, text, font, kLabelOpacity);
}

void WindowPickerView::drawHint(QPainter& painter) {
    const QFont font = overlay::overlayFont(kHintFontSize, QFont::Medium);
    const QRectF place = overlay::pickerHintRect(overlay::textSize(kHint, font), rect());
    overlay::drawWhiteText(painter, place, kHint, font, overlay::TextShadow::soft);
}

} // namespace backreel
