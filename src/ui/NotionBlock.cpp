#include "ui/NotionBlock.h"

#include "ui/SystemColors.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace backreel {

NotionBlock::NotionBlock(QWidget* content, QWidget* parent)
    : QWidget(parent)
    , content_(content) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    layout->setSpacing(0);
    layout->addWidget(content_);
    content_->setSizePolicy(QSizePolicy::Expanding, content_->sizePolicy().verticalPolicy());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void NotionBlock::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The border is drawn inside the shape: its 1-point stroke is centred half a point in.
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(system_colors::separator(palette()), 1.0));
    painter.setBrush(system_colors::controlBackground(palette()));
    painter.drawRoundedRect(shape, kCornerRadius - 0.5, kCornerRadius - 0.5);
}

} // namespace backreel
