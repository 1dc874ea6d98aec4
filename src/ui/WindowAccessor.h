#pragma once

#include <functional>
#include <optional>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWindow>

class QWidget;

namespace backreel {

// Turns the window that hosts a widget into a borderless, movable panel and tells the widget which
// window that is. Attached to the widget, it:
// - makes the window frameless and transparent outside what the widget paints (before the window
//   exists, as the toolkit needs to know when it creates it);
// - lets the user move the window by dragging any part of it that does not use the pointer itself
//   (through the window manager when it offers that, else by moving the window along);
// - each time the window is shown, hands its native window to `onWindow`, one trip through the event
//   loop later, once the show has finished (or none when the widget is gone by then).
//
// Thread contract: main thread only.
class WindowAccessor final : public QObject {
    Q_OBJECT

public:
    using WindowCallback = std::function<void(QWindow*)>;

    WindowAccessor(QWidget* host, WindowCallback onWindow);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void configure(QWidget* window);
    void handOverWindow();

    QPointer<QWidget> host_;
    WindowCallback onWindow_;
    // Where the pointer grabbed the window, relative to its top-left, while moving it by hand.
    std::optional<QPoint> pressPoint_; // where the button went down on the background
    std::optional<QPoint> dragOffset_; // moving by hand, where the window manager does not
};

} // namespace backreel
