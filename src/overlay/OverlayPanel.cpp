#include "overlay/OverlayPanel.h"

#include <QGuiApplication>
#include <QVBoxLayout>

namespace backreel {

OverlayPanel::OverlayPanel(QScreen* screen, QWidget* contentView)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::NoDropShadowWindowHint)
    , targetScreen_(screen)
    , contentView_(contentView) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(contentView_);
    contentView_->setFocusPolicy(Qt::StrongFocus);
    if (screen != nullptr) {
        setScreen(screen);
        setGeometry(screen->geometry());
    }
}

OverlayPanel::~OverlayPanel() = default;

void OverlayPanel::bringToFrontAndMakeKey() {
    // On Wayland only the compositor places windows, and a tiling one (sway) tiles a window it is
    // merely given the screen's geometry: full screen is the one way to cover the output. On X11
    // the window manager is bypassed and the geometry holds.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        showFullScreen();
    } else {
        show();
    }
    raise();
    activateWindow();
    contentView_->setFocus(Qt::ActiveWindowFocusReason);
    // Without this the window manager may keep the focus where it was, since it never sees us.
    contentView_->grabKeyboard();
}

void OverlayPanel::hideEvent(QHideEvent* event) {
    if (QWidget::keyboardGrabber() == contentView_) {
        contentView_->releaseKeyboard();
    }
    QWidget::hideEvent(event);
}

namespace overlay {

ScreenPlacement placementOf(const QScreen& screen) {
    return ScreenPlacement{QRectF(screen.geometry()), screen.devicePixelRatio()};
}

} // namespace overlay

} // namespace backreel
