#pragma once

#include <QEasingCurve>
#include <QGraphicsEffect>
#include <QPointer>

class QVariantAnimation;

namespace backreel {

// How a view comes and goes: a fade over `durationMs` with an ease-in-out curve, optionally
// combined with a scale from `scaleFrom` anchored at the view's top edge.
struct ViewTransition {
    int durationMs = 150;
    qreal scaleFrom = 1.0;

    static ViewTransition fade(int durationMs) { return {durationMs, 1.0}; }
    static ViewTransition fadeAndScale(int durationMs, qreal scaleFrom) { return {durationMs, scaleFrom}; }
};

// Draws a widget faded to `progress` (0 invisible, 1 as it is) and scaled from its top centre by
// scaleFrom + (1 - scaleFrom) * progress. Main thread.
class TransitionEffect final : public QGraphicsEffect {
    Q_OBJECT

public:
    TransitionEffect(qreal scaleFrom, QObject* parent = nullptr);

    qreal progress() const { return progress_; }
    void setProgress(qreal progress);

protected:
    void draw(QPainter* painter) override;

private:
    qreal scaleFrom_;
    qreal progress_ = 1.0;
};

// Shows `widget` and animates it in. Returns the running animation (owned by the widget), or null
// when animations are off. Main thread.
QVariantAnimation* animateInsertion(QWidget* widget, const ViewTransition& transition);

// Hides `widget` at once, letting a still picture of it fade out where it was. Returns the running
// animation (owned by the picture, which deletes itself at the end), or null when `widget` was not
// visible. Main thread.
QVariantAnimation* animateRemoval(QWidget* widget, const ViewTransition& transition);

// Turns every transition off (e.g. for rendering reference pictures), or back on. Main thread.
void setViewTransitionsEnabled(bool enabled);
bool viewTransitionsEnabled();

} // namespace backreel
