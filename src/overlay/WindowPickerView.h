#pragma once

#include "overlay/OverlayGeometry.h"
#include "platform/ShareableContent.h"

#include <memory>
#include <QImage>
#include <QWidget>

namespace backreel {

class WindowPickerCoordinator;

// Draws the window picker on one screen: the dim, the hovered window cut out of it with its ring
// and label, and the hint; and hands the pointer and the keyboard to the coordinator. Once the
// coordinator is gone it draws only the dim and the hint and ignores events. Main thread.
class WindowPickerView final : public QWidget {
    Q_OBJECT

public:
    WindowPickerView(QScreen* screen, std::weak_ptr<WindowPickerCoordinator> coordinator, QImage backdrop);

    // The ring colour of the hovered window.
    static QColor ringColor(const QPalette& palette);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void drawLabel(QPainter& painter, const Window& window, const QRectF& local);
    void drawHint(QPainter& painter);

    const overlay::ScreenPlacement placement_;
    const std::weak_ptr<WindowPickerCoordinator> coordinator_;
    const QImage backdrop_;
};

} // namespace backreel
