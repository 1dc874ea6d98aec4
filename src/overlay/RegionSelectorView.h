#pragma once

#include <functional>
#include <optional>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QWidget>

namespace backreel {

// The region selector on one screen: while active it draws the dim with a hint and, during a drag,
// the selection cut out of the dim with its border, corner dots and size label. Positions are the
// view's own (its screen's top-left origin, logical points). Main thread.
class RegionSelectorView final : public QWidget {
    Q_OBJECT

public:
    explicit RegionSelectorView(QImage backdrop = {});

    bool isActive() const { return isActive_; }
    void setActive(bool active) { isActive_ = active; }
    const std::optional<QPointF>& startPoint() const { return startPoint_; }
    const std::optional<QRectF>& selectionRect() const { return selectionRect_; }
    bool isDrawing() const { return isDrawing_; }

    std::function<void()> onActivate;
    std::function<void(const QRectF&)> onSelect;
    std::function<void()> onCancel;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void drawSelection(QPainter& painter, const QRectF& selection);
    void drawSizeLabel(QPainter& painter, const QRectF& selection);
    void drawHint(QPainter& painter);

    const QImage backdrop_;
    bool isActive_ = false;
    std::optional<QPointF> startPoint_;
    std::optional<QRectF> selectionRect_;
    bool isDrawing_ = false;
};

} // namespace backreel
