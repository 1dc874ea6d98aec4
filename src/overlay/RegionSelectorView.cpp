#include "overlay/RegionSelectorView.h"

#include "overlay/OverlayDrawing.h"
#include "overlay/OverlayGeometry.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace backreel {

namespace {
constexpr double kDimOpacity = 0.45;
constexpr double kBorderOpacity = 0.9;
constexpr double kBorderWidth = 1.5;
constexpr double kLabelOpacity = 0.72;
constexpr double kCrosshairOpacity = 0.55;
constexpr double kCrosshairWidth = 2;
constexpr int kLabelFontSize = 12;
constexpr int kHintFontSize = 14;
const QString kHint = QStringLiteral("Drag to select a region  •  Esc to cancel");
} // namespace

RegionSelectorView::RegionSelectorView(QImage backdrop)
    : backdrop_(std::move(backdrop)) {
    setObjectName(QStringLiteral("regionSelectorView"));
    setCursor(Qt::ArrowCursor);
}

void RegionSelectorView::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (onCancel) {
        onCancel();
    }
}

void RegionSelectorView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    if (!isActive_ && onActivate) {
        onActivate(); // the pressed screen becomes the active one, and the drag starts there
    }
    startPoint_ = event->position();
    selectionRect_.reset();
    isDrawing_ = true;
    update();
}

void RegionSelectorView::mouseMoveEvent(QMouseEvent* event) {
    if (!startPoint_ || !(event->buttons() & Qt::LeftButton)) {
        return;
    }
    // Positions beyond the screen's edges count as they are: the selection is never clipped.
    selectionRect_ = overlay::dragRect(*startPoint_, event->position());
    update();
}

void RegionSelectorView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    isDrawing_ = false;
    // The rectangle of the last drag event counts, not the release position.
    if (selectionRect_ && overlay::isLargeEnoughSelection(*selectionRect_)) {
        if (onSelect) {
            onSelect(*selectionRect_);
        }
        return;
    }
    startPoint_.reset();
    selectionRect_.reset();
    update();
}

void RegionSelectorView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!painter.isActive()) {
        return;
    }
    const QRectF bounds = rect();
    // An inactive screen stays as it is; without a compositing manager that takes its picture.
    overlay::paintBackdrop(painter, bounds, backdrop_);
    if (!isActive_) {
        return;
    }
    painter.fillRect(bounds, QColor::fromRgbF(0, 0, 0, static_cast<float>(kDimOpacity)));
    if (selectionRect_) {
        drawSelection(painter, *selectionRect_);
    } else if (!isDrawing_) {
        drawHint(painter);
    }
}

void RegionSelectorView::drawSelection(QPainter& painter, const QRectF& selection) {
    QPainterPath shape;
    shape.addRect(selection);
    overlay::cutOut(painter, shape, rect(), backdrop_);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, static_cast<float>(kBorderOpacity)), kBorderWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(selection);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    for (const QRectF& dot : overlay::cornerDotRects(selection)) {
        painter.drawEllipse(dot);
    }
    painter.restore();
    drawSizeLabel(painter, selection);
}

void RegionSelectorView::drawSizeLabel(QPainter& painter, const QRectF& selection) {
    const QString text = overlay::sizeLabelText(selection);
    const QFont font = overlay::overlayFixedFont(kLabelFontSize, QFont::DemiBold);
    const QSizeF pillSize = overlay::pillSizeForText(overlay::textSize(text, font));
    const QRectF pill = overlay::labelPillRect(selection, pillSize, rect(), overlay::HorizontalFit::free);
    overlay::drawLabelPill(painter, pill, text, font, kLabelOpacity);
}

void RegionSelectorView::drawHint(QPainter& painter) {
    const QFont font = overlay::overlayFont(kHintFontSize, QFont::Medium);
    const QRectF place = overlay::regionHintRect(overlay::textSize(kHint, font), rect());
    overlay::drawWhiteText(painter, place, kHint, font, overlay::TextShadow::none);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, static_cast<float>(kCrosshairOpacity)), kCrosshairWidth));
    for (const QLineF& line : overlay::crosshairLines(rect())) {
        painter.drawLine(line);
    }
    painter.restore();
}

} // namespace backreel
