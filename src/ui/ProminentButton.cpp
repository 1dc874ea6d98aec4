#include "ui/ProminentButton.h"

#include "ui/SystemColors.h"
#include "ui/TextStyle.h"

#include <QPainter>
#include <QStyleOptionButton>

namespace backreel {

namespace {
constexpr int kVerticalPadding = 6;
constexpr int kHorizontalPadding = 12;
constexpr qreal kCornerRadius = 6;
} // namespace

ProminentButton::ProminentButton(QWidget* parent)
    : QPushButton(parent) {
    setFont(textStyleFont(TextStyle::callout, QFont::Medium));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
}

QSize ProminentButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 * kHorizontalPadding,
            metrics.height() + 2 * kVerticalPadding};
}

QSize ProminentButton::minimumSizeHint() const {
    return {2 * kHorizontalPadding, sizeHint().height()};
}

void ProminentButton::paintEvent(QPaintEvent*) {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QPalette& colors = palette();

    QColor fill = system_colors::accent(colors);
    QColor label = colors.color(QPalette::HighlightedText);
    if (!isEnabled()) {
        fill.setAlphaF(0.35f);
        label.setAlphaF(0.7f);
    } else if (isDown()) {
        fill = fill.darker(120);
    } else if (option.state & QStyle::State_MouseOver) {
        fill = fill.lighter(108);
    }

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(shape, kCornerRadius, kCornerRadius);
    if (option.state & QStyle::State_HasFocus) {
        painter.setPen(QPen(colors.color(QPalette::HighlightedText), 1.0, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(shape.adjusted(2, 2, -2, -2), kCornerRadius - 2, kCornerRadius - 2);
    }
    painter.setPen(label);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, text());
}

} // namespace backreel
