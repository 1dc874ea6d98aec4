#include "ui/LinkButton.h"

#include "ui/SystemColors.h"

#include <QPainter>
#include <QStyleOptionButton>

namespace backreel {

LinkButton::LinkButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent) {
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize LinkButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 4, metrics.height() + 2};
}

void LinkButton::paintEvent(QPaintEvent*) {
    QStyleOptionButton option;
    initStyleOption(&option);
    QFont textFont = font();
    textFont.setUnderline(isEnabled() && (option.state & QStyle::State_MouseOver));

    QPainter painter(this);
    painter.setFont(textFont);
    QColor color = isEnabled() ? system_colors::link(palette()) : system_colors::secondaryText(palette());
    if (isDown()) {
        color = color.darker(130);
    }
    painter.setPen(color);
    painter.drawText(rect(), Qt::AlignCenter, text());
    if (option.state & QStyle::State_HasFocus) {
        painter.setPen(QPen(system_colors::accent(palette()), 1.0, Qt::DotLine));
        painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

} // namespace backreel
