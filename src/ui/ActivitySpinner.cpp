#include "ui/ActivitySpinner.h"

#include "ui/SystemColors.h"

#include <QPainter>

namespace backreel {

namespace {
constexpr int kSpokes = 12;
}

ActivitySpinner::ActivitySpinner(QWidget* parent)
    : QWidget(parent) {
    setFixedSize(kSize, kSize);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    rotation_.setStartValue(0);
    rotation_.setEndValue(kSpokes);
    rotation_.setDuration(1000);
    rotation_.setLoopCount(-1);
    connect(&rotation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const int step = value.toInt() % kSpokes;
        if (step != step_) {
            step_ = step;
            update();
        }
    });
}

void ActivitySpinner::showEvent(QShowEvent*) {
    rotation_.start();
}

void ActivitySpinner::hideEvent(QHideEvent*) {
    rotation_.stop();
}

void ActivitySpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(kSize / 2.0, kSize / 2.0);
    QColor color = system_colors::secondaryText(palette());
    for (int spoke = 0; spoke < kSpokes; ++spoke) {
        // The spoke at the current step is the brightest; the ones behind it fade out.
        const int age = (step_ - spoke + kSpokes) % kSpokes;
        color.setAlphaF(static_cast<float>(1.0 - 0.75 * age / (kSpokes - 1)));
        painter.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap));
        painter.save();
        painter.rotate(360.0 * spoke / kSpokes);
        painter.drawLine(QPointF(0, -kSize * 0.22), QPointF(0, -kSize * 0.44));
        painter.restore();
    }
}

} // namespace backreel
