#include "ui/SymbolImage.h"

#include <algorithm>
#include <cmath>
#include <QPainter>
#include <QPainterPath>

namespace backreel {

namespace {

// Every symbol is drawn in a square of side `s` centred in the image.
void drawDot(QPainter& painter, const QRectF& square) {
    painter.drawEllipse(square);
}

void drawRecordFill(QPainter& painter, const QRectF& square, const QColor& color) {
    const qreal s = square.width();
    const QPointF centre = square.center();
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    // Solid to the edge but for a thin ring around the middle: at tray sizes it must not pass for
    // the outline's ring and dot.
    painter.drawEllipse(square);
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color, std::max(1.0, s * 0.06)));
    painter.drawEllipse(centre, s * 0.3, s * 0.3);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void drawCheckmarkCircle(QPainter& painter, const QRectF& square, const QColor& color) {
    const qreal s = square.width();
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(square);
    QPainterPath check;
    check.moveTo(square.left() + s * 0.28, square.top() + s * 0.52);
    check.lineTo(square.left() + s * 0.44, square.top() + s * 0.68);
    check.lineTo(square.left() + s * 0.73, square.top() + s * 0.35);
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.strokePath(check,
                       QPen(Qt::black, std::max(1.0, s * 0.12), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void drawExclamationTriangle(QPainter& painter, const QRectF& square, const QColor& color) {
    const qreal s = square.width();
    const qreal r = s * 0.08;
    QPainterPath triangle;
    triangle.moveTo(square.left() + s * 0.5, square.top() + s * 0.06);
    triangle.lineTo(square.right() - s * 0.02, square.bottom() - s * 0.08);
    triangle.lineTo(square.left() + s * 0.02, square.bottom() - s * 0.08);
    triangle.closeSubpath();
    painter.setPen(QPen(color, 2 * r, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(color);
    painter.drawPath(triangle);

    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    const qreal bar = std::max(1.0, s * 0.11);
    painter.setPen(QPen(Qt::black, bar, Qt::SolidLine, Qt::RoundCap));
    const qreal x = square.left() + s * 0.5;
    painter.drawLine(QPointF(x, square.top() + s * 0.36), QPointF(x, square.top() + s * 0.60));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(QPointF(x, square.top() + s * 0.75), bar * 0.6, bar * 0.6);
}

} // namespace

QImage renderSymbol(Symbol symbol, QSize logicalSize, qreal devicePixelRatio, const QColor& color) {
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QSize pixels(static_cast<int>(std::ceil(logicalSize.width() * ratio)),
                       static_cast<int>(std::ceil(logicalSize.height() * ratio)));
    QImage image(pixels.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(logicalSize.width(), logicalSize.height());
    const QRectF square((logicalSize.width() - side) / 2.0, (logicalSize.height() - side) / 2.0, side, side);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);

    switch (symbol) {
    case Symbol::dot:
        drawDot(painter, square);
        break;
    case Symbol::recordCircle: {
        const qreal stroke = std::max(1.0, side * 0.09);
        painter.setPen(QPen(color, stroke));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(square.adjusted(stroke / 2, stroke / 2, -stroke / 2, -stroke / 2));
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(square.center(), side * 0.26, side * 0.26);
        break;
    }
    case Symbol::recordCircleFill:
        drawRecordFill(painter, square, color);
        break;
    case Symbol::checkmarkCircleFill:
        drawCheckmarkCircle(painter, square, color);
        break;
    case Symbol::exclamationmarkTriangleFill:
        drawExclamationTriangle(painter, square, color);
        break;
    }
    return image;
}

} // namespace backreel
