#include "ui/InfoRow.h"

#include "ui/LinkButton.h"
#include "ui/SystemColors.h"
#include "ui/TextStyle.h"

#include <algorithm>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace backreel {

InfoRow::InfoRow(const QString& buttonText, QWidget* parent)
    : QWidget(parent)
    , label_(new QLabel(this))
    , button_(new LinkButton(buttonText, this)) {
    label_->setObjectName(QStringLiteral("infoText"));
    label_->setFont(textStyleFont(TextStyle::callout, QFont::Medium));
    label_->setForegroundRole(QPalette::WindowText);
    label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    button_->setFont(textStyleFont(TextStyle::caption));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    layout->setSpacing(kSpacing);
    layout->addWidget(label_, 1, Qt::AlignVCenter);
    layout->addWidget(button_, 0, Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    connect(button_, &QPushButton::clicked, this, &InfoRow::buttonClicked);
}

QString InfoRow::text() const {
    return text_;
}

void InfoRow::setText(const QString& text) {
    text_ = text;
    updateShownText();
}

void InfoRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateShownText();
}

void InfoRow::updateShownText() {
    // One line: what does not fit ends in "…".
    const int width = std::max(label_->width(), 0);
    label_->setText(width > 0 ? QFontMetrics(label_->font()).elidedText(text_, Qt::ElideRight, width)
                              : text_);
    label_->setToolTip(text_);
}

void InfoRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(system_colors::separator(palette()), 1.0));
    painter.setBrush(system_colors::quaternaryFill(palette()));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius - 0.5,
                            kCornerRadius - 0.5);
}

} // namespace backreel
