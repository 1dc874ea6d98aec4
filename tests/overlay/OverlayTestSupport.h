#pragma once

// What the overlay tests on the virtual desktop share: real pointer and key events through
// xdotool, a window of another process, the screen's pixels, and the flows run to their end.

#include "capture/RecordingManager.h"
#include "overlay/TargetSelection.h"
#include "platform/Platform.h"
#include "platform/ScreenPictureService.h"
#include "platform/ShareableContent.h"
#include "support/ChildProcess.h"
#include "support/WidgetTest.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <QApplication>
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <string>
#include <vector>

namespace backreel::test {

// Real input through the XTEST extension, in the X root window's coordinates (device pixels).
inline bool xdotool(const std::vector<std::string>& arguments) {
    std::vector<std::string> command{"xdotool"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const bool ok = runProgram(command);
    QTest::qWait(60); // lets the events arrive and be handled before the next step
    return ok;
}
inline bool movePointer(double x, double y) {
    return xdotool({"mousemove", std::to_string(static_cast<int>(x)), std::to_string(static_cast<int>(y))});
}
inline bool pressButton() {
    return xdotool({"mousedown", "1"});
}
inline bool releaseButton() {
    return xdotool({"mouseup", "1"});
}
inline bool click() {
    return xdotool({"click", "1"});
}
inline bool pressKey(const std::string& key) {
    return xdotool({"key", key});
}
// A drag with the left button from one place to another, through a point in between.
inline bool drag(QPointF from, QPointF to) {
    const QPointF middle = (from + to) / 2;
    return movePointer(from.x(), from.y()) && pressButton() && movePointer(middle.x(), middle.y()) &&
           movePointer(to.x(), to.y()) && releaseButton();
}

// The colour of one pixel of the screen (root coordinates), as the X server shows it.
inline QColor screenPixel(QPoint point) {
    const QImage picture = loadPlatform().screenPictures->picture(QRect(point, QSize(1, 1)));
    return picture.isNull() ? QColor() : QColor(picture.pixel(0, 0));
}

// Whether a pixel shows a colour under the overlay's dim of the given opacity (within a few steps
// of rounding).
inline bool isDimmed(const QColor& seen, const QColor& original, double opacity) {
    const auto near = [](int value, double expected) {
        return std::abs(value - expected) <= 3;
    };
    const double keep = 1.0 - opacity;
    return near(seen.red(), original.red() * keep) && near(seen.green(), original.green() * keep) &&
           near(seen.blue(), original.blue() * keep);
}

// A desktop background of one colour, so that pictures show the dim.
inline bool paintDesktopBackground() {
    return runProgram({"xsetroot", "-solid", "#4f7cac"});
}

// The whole desktop (every screen, in root pixels) as one picture, saved under <build>/screenshots.
inline bool saveDesktopScreenshot(const QString& name) {
    QDir directory(QStringLiteral(BACKREEL_BUILD_DIR "/screenshots"));
    if (!directory.mkpath(QStringLiteral("."))) {
        return false;
    }
    QRect desktop;
    for (const QScreen* screen : QGuiApplication::screens()) {
        desktop |=
            QRect(screen->geometry().topLeft(), screen->geometry().size() * screen->devicePixelRatio());
    }
    const QImage picture = loadPlatform().screenPictures->picture(desktop);
    // Runs where Qt scales the screens keep pictures of their own.
    const double scale = QGuiApplication::primaryScreen()->devicePixelRatio();
    const QString suffix = scale == 1.0 ? QString() : QStringLiteral("@%1x").arg(scale);
    return !picture.isNull() && picture.save(directory.filePath(name + suffix + QStringLiteral(".png")));
}

// The shareable content, waited for; none when the query failed. The answer may come on any thread.
inline std::optional<ShareableContent> shareableContentNow(CaptureService& capture) {
    struct Box {
        std::mutex mutex;
        std::optional<Expected<ShareableContent>> answer;
    };
    const auto box = std::make_shared<Box>();
    capture.getShareableContent([box](Expected<ShareableContent> content) {
        std::lock_guard lock(box->mutex);
        box->answer = std::move(content);
    });
    std::optional<Expected<ShareableContent>> answer;
    static_cast<void>(QTest::qWaitFor(
        [&] {
            std::lock_guard lock(box->mutex);
            answer = box->answer;
            return answer.has_value();
        },
        5000));
    if (!answer || !*answer) {
        return std::nullopt;
    }
    return std::move(*answer).value();
}

// A window of another process (tests/platform/x11/PatternWindowHelper.cpp): four quadrants, red
// at the top left, green at the top right, blue at the bottom left, white at the bottom right; or
// a yellow panel; or a window kept above the others.
class PatternWindow {
public:
    enum class Kind { normal, dock, above };

    PatternWindow(int x, int y, int width, int height, const std::string& title, Kind kind = Kind::normal)
        : title_(title) {
        std::vector<std::string> arguments{
            BACKREEL_PATTERN_WINDOW_HELPER, std::to_string(x),      std::to_string(y),
            std::to_string(width),          std::to_string(height), title};
        if (kind != Kind::normal) {
            arguments.emplace_back(kind == Kind::dock ? "dock" : "above");
        }
        process_.start(arguments);
    }

    // The window as the shareable content lists it, once it is on screen.
    std::optional<Window> listed(CaptureService& capture) const {
        std::optional<Window> found;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                if (const std::optional<ShareableContent> content = shareableContentNow(capture)) {
                    for (const Window& window : content->windows) {
                        if (window.title == QString::fromStdString(title_) && window.isOnScreen) {
                            found = window;
                        }
                    }
                }
                return found.has_value();
            },
            5000));
        return found;
    }

private:
    std::string title_;
    ChildProcess process_;
};

// A flow run to its end while the test sends events. Its outcome is shared with the flow, which
// may end after the test has given up on it.
class RunningFlow {
public:
    enum class Kind { pickWindow, selectRegion };

    RunningFlow(RecordingManager& manager, Kind kind)
        : outcome_(std::make_shared<Outcome>())
        , task_(run(manager, kind, outcome_)) {}
    RunningFlow(const RunningFlow&) = delete;
    RunningFlow& operator=(const RunningFlow&) = delete;

    bool isDone() const { return outcome_->done; }
    const MaybeError& result() const { return outcome_->result; }

private:
    struct Outcome {
        MaybeError result;
        bool done = false;
    };

    static QCoro::Task<> run(RecordingManager& manager, Kind kind, std::shared_ptr<Outcome> outcome) {
        QCoro::Task<MaybeError> flow =
            kind == Kind::pickWindow ? pickWindowTarget(manager) : selectRegionTarget(manager);
        outcome->result = co_await std::move(flow);
        outcome->done = true;
    }

    std::shared_ptr<Outcome> outcome_;
    QCoro::Task<> task_;
};

// A drag delivered to the real view as Qt's mouse events, for positions between whole pixels.
inline void sendDrag(QWidget* view, QPointF from, QPointF to) {
    const QPointF origin = view->mapToGlobal(QPointF(0, 0));
    QMouseEvent press(QEvent::MouseButtonPress, from, origin + from, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(view, &press);
    QMouseEvent move(QEvent::MouseMove, to, origin + to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, origin + to, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(view, &release);
}

inline std::size_t screenCount() {
    return static_cast<std::size_t>(QGuiApplication::screens().size());
}

// The visible overlay panels with the given object name, in screen order.
inline std::vector<QWidget*> visiblePanels(const QString& name) {
    std::vector<QWidget*> panels;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == name && widget->isVisible()) {
            panels.push_back(widget);
        }
    }
    std::sort(panels.begin(), panels.end(), [](const QWidget* a, const QWidget* b) {
        return QGuiApplication::screens().indexOf(a->screen()) <
               QGuiApplication::screens().indexOf(b->screen());
    });
    return panels;
}

} // namespace backreel::test
