#include "ui/WindowAccessor.h"

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
        // Only presses no control took reach the window itself: those on its background.
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() != Qt::LeftButton) {
            break;
        }
        QWindow* handle = window->windowHandle();
        if (handle != nullptr && handle->startSystemMove()) {
            return true;
        }
        dragOffset_ = press->globalPosition().toPoint() - window->frameGeometry().topLeft();
        return true;
    }
    case QEvent::MouseMove:
        if (dragOffset_) {
            auto* move = static_cast<QMouseEvent*>(event);
            window->move(move->globalPosition().toPoint() - *dragOffset_);
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
        if (dragOffset_) {
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
