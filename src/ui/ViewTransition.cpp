#include "ui/ViewTransition.h"

#include <QLabel>
#include <QPainter>
#include <QVariantAnimation>
#include <QWidget>

namespace backreel {

namespace {
bool transitionsEnabled = true;

QVariantAnimation* makeAnimation(QObject* owner, const ViewTransition& transition, qreal from, qreal to) {
    auto* animation = new QVariantAnimation(owner);
    animation->setDuration(transition.durationMs);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setStartValue(from);
    animation->setEndValue(to);
    return animation;
}
} // namespace

TransitionEffect::TransitionEffect(qreal scaleFrom, QObject* parent)
    : QGraphicsEffect(parent)
    , scaleFrom_(scaleFrom) {}

void TransitionEffect::setProgress(qreal progress) {
    progress_ = progress;
    update();
}

void TransitionEffect::draw(QPainter* painter) {
    QPoint offset;
    const QPixmap source =
        sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::PadToEffectiveBoundingRect);
    if (source.isNull()) {
        return;
    }
    const qreal scale = scaleFrom_ + (1.0 - scaleFrom_) * progress_;
    const QRectF bounds = boundingRect();
    painter->save();
    painter->setOpacity(painter->opacity() * progress_);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    // Scale about the middle of the top edge, so the view grows downwards from where it starts.
    painter->translate(bounds.center().x(), bounds.top());
    painter->scale(scale, scale);
    painter->translate(-bounds.center().x(), -bounds.top());
    painter->drawPixmap(offset, source);
    painter->restore();
}

QVariantAnimation* animateInsertion(QWidget* widget, const ViewTransition& transition) {
    widget->show();
    if (!transitionsEnabled || transition.durationMs <= 0) {
        return nullptr;
    }
    auto* effect = new TransitionEffect(transition.scaleFrom);
    effect->setProgress(0.0);
    widget->setGraphicsEffect(effect);
    QVariantAnimation* animation = makeAnimation(widget, transition, 0.0, 1.0);
    const QPointer<TransitionEffect> guardedEffect = effect;
    QObject::connect(animation, &QVariantAnimation::valueChanged, effect,
                     [effect](const QVariant& value) { effect->setProgress(value.toReal()); });
    QObject::connect(animation, &QVariantAnimation::finished, widget, [widget, guardedEffect] {
        // The effect renders through an off-screen picture; once in place the view draws itself.
        if (guardedEffect && widget->graphicsEffect() == guardedEffect) {
            widget->setGraphicsEffect(nullptr);
        }
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    return animation;
}

QVariantAnimation* animateRemoval(QWidget* widget, const ViewTransition& transition) {
    const bool wasVisible = widget->isVisible();
    QWidget* parent = widget->parentWidget();
    if (!wasVisible || parent == nullptr || !transitionsEnabled || transition.durationMs <= 0) {
        widget->hide();
        return nullptr;
    }
    // A view still fading in is pictured as it will be, not half transparent.
    if (qobject_cast<TransitionEffect*>(widget->graphicsEffect()) != nullptr) {
        widget->setGraphicsEffect(nullptr);
    }
    // A picture of the view takes its place and fades, while the layout moves on without it.
    auto* picture = new QLabel(parent);
    picture->setObjectName(QStringLiteral("transitionPicture"));
    picture->setAttribute(Qt::WA_TransparentForMouseEvents);
    picture->setPixmap(widget->grab());
    picture->setGeometry(widget->geometry());
    widget->hide();
    picture->show();
    picture->raise();

    auto* effect = new TransitionEffect(transition.scaleFrom);
    picture->setGraphicsEffect(effect);
    QVariantAnimation* animation = makeAnimation(picture, transition, 1.0, 0.0);
    QObject::connect(animation, &QVariantAnimation::valueChanged, effect,
                     [effect](const QVariant& value) { effect->setProgress(value.toReal()); });
    QObject::connect(animation, &QVariantAnimation::finished, picture, &QObject::deleteLater);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    return animation;
}

void setViewTransitionsEnabled(bool enabled) {
    transitionsEnabled = enabled;
}

bool viewTransitionsEnabled() {
    return transitionsEnabled;
}

} // namespace backreel
