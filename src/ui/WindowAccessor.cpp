#include "ui/WindowAccessor.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

namespace backreel {

WindowAccessor::WindowAccessor(QWidget* host, WindowCallback onWindow)
    : QObject(host)
    , host_(host)
    , onWindow_(std::move(onWindow)) {
    configure(host->window());
    host->window()->installEventFilter(this);
}

void WindowAccessor::configure(QWidget* window) {
    // No title bar and no frame: the panel draws its own rounded shape...
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    // ...and everything outside that shape shows what is behind the window.
    window->setAttribute(Qt::WA_TranslucentBackground, true);
    window->setAttribute(Qt::WA_NoSystemBackground, true);
}

void WindowAccessor::handOverWindow() {
    // Like a view that reports its window after the move into it has finished: later, on the
    // event loop, and only if the view still exists.
    QTimer::singleShot(0, this, [this] {
        if (onWindow_) {
            onWindow_(host_ ? host_->window()->windowHandle() : nullptr);
        }
    });
}

bool WindowAccessor::eventFilter(QObject* watched, QEvent* event) {
    auto* window = qobject_cast<QWidget*>(watched);
    if (window == nullptr || host_ == nullptr || window != host_->window()) {
        return false;
    }
    switch (event->type()) {
    case QEvent::Show:
        handOverWindow();
        break;
    case QEvent::MouseButtonPress: {
        // Only presses no control took reach the window itself: those on its background. A move
        // starts only once the pointer has gone the platform's drag distance with the button held:
        // a click or a tap (press and release at once) moves nothing.
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() != Qt::LeftButton) {
            break;
        }
        pressPoint_ = press->globalPosition().toPoint();
        dragOffset_.reset();
        return true;
    }
    case QEvent::MouseMove: {
        auto* move = static_cast<QMouseEvent*>(event);
        if (!pressPoint_ || !(move->buttons() & Qt::LeftButton)) {
            pressPoint_.reset();
            dragOffset_.reset();
            break;
        }
        const QPoint now = move->globalPosition().toPoint();
        if (!dragOffset_) {
            if ((now - *pressPoint_).manhattanLength() < QApplication::startDragDistance()) {
                return true;
            }
            QWindow* handle = window->windowHandle();
            if (handle != nullptr && handle->startSystemMove()) {
                pressPoint_.reset(); // the window manager moves it from here on
                return true;
            }
            dragOffset_ = *pressPoint_ - window->frameGeometry().topLeft();
        }
        window->move(now - *dragOffset_);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (pressPoint_ || dragOffset_) {
            pressPoint_.reset();
            dragOffset_.reset();
            return true;
        }
        break;
    default:
        break;
    }
    return false;
}

} // namespace backreel
