#pragma once

// What the overlay tests share: real pointer and key events through xdotool, windows of another
// process, the screen's pixels, and the flows run to their end while the test sends events.

#include "capture/RecordingManager.h"
#include "overlay/TargetSelection.h"
#include "platform/Platform.h"
#include "platform/ScreenPictureService.h"
#include "platform/ShareableContent.h"
#include "support/ChildProcess.h"
#include "support/WidgetTest.h"

#include <cmath>
#include <memory>
#include <optional>
#include <QDir>
#include <QMouseEvent>
#include <string>
#include <vector>

namespace backreel::test {

// Real input through the XTEST extension, in the X root window's coordinates (device pixels). The
// X server has made the events by the time xdotool exits; the sync fetches and handles them.
inline bool xdotool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "xdotool");
    const bool ok = runProgram(arguments);
    QGuiApplication::sync();
    return ok;
}
inline bool movePointer(QPointF to) {
    return xdotool({"mousemove", std::to_string(std::lround(to.x())), std::to_string(std::lround(to.y()))});
}
inline bool drag(QPointF from, QPointF to) {
    return movePointer(from) && xdotool({"mousedown", "1"}) && movePointer((from + to) / 2) &&
           movePointer(to) && xdotool({"mouseup", "1"});
}

// Whether a pixel shows `original` under a dim of the given opacity (within rounding).
inline bool isDimmed(const QColor& seen, const QColor& original, double opacity) {
    const auto near = [&](int value, int unDimmed) {
        return std::abs(value - unDimmed * (1.0 - opacity)) <= 3;
    };
    return near(seen.red(), original.red()) && near(seen.green(), original.green()) &&
           near(seen.blue(), original.blue());
}

// The shareable content as the manager gets it; empty when the query failed.
inline ShareableContent shareableContentNow(RecordingManager& manager) {
    const auto query = [](RecordingManager& asked) -> QCoro::Task<ShareableContent> {
        QCoro::Task<Expected<ShareableContent>> answer = asked.shareableContent();
        const Expected<ShareableContent> content = co_await std::move(answer);
        co_return content ? content.value() : ShareableContent{};
    };
    return QCoro::waitFor(query(manager));
}

// A window of another process (tests/platform/x11/PatternWindowHelper.cpp): four quadrants, red
// at the top left, green at the top right, blue at the bottom left, white at the bottom right; or
// a yellow panel ("dock"); or a window kept "above" the others.
class PatternWindow {
public:
    PatternWindow(QRect frame, const std::string& title, const char* kind = nullptr)
        : title_(title) {
        std::vector<std::string> arguments{BACKREEL_PATTERN_WINDOW_HELPER, std::to_string(frame.x()),
                                           std::to_string(frame.y()),      std::to_string(frame.width()),
                                           std::to_string(frame.height()), title};
        if (kind != nullptr) {
            arguments.emplace_back(kind);
        }
        process_.start(arguments);
    }

    // The window as the shareable content lists it, once it is on screen.
    std::optional<Window> listed(RecordingManager& manager) const {
        std::optional<Window> found;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                for (const Window& window : shareableContentNow(manager).windows) {
                    if (window.title == QString::fromStdString(title_) && window.isOnScreen) {
                        found = window;
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

// A drag delivered to a view as Qt's mouse events, for positions between whole pixels.
inline void sendDrag(QWidget* view, QPointF from, QPointF to) {
    const QPointF origin = view->mapToGlobal(QPointF(0, 0));
    const auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, origin + at, button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

// The overlays on the virtual desktop's two monitors, with the real platform.
class OverlayDesktopTest : public ::testing::Test {
protected:
    explicit OverlayDesktopTest(const char* panelName)
        : panelName_(QString::fromLatin1(panelName)) {}

    void SetUp() override {
        BACKREEL_REQUIRE_DISPLAY();
        if (screenCount() < 2) {
            GTEST_SKIP() << "needs two monitors: run under scripts/virtual-desktop --dual --wm";
        }
        platform = loadPlatform();
        manager = std::make_unique<RecordingManager>(platform, nullptr);
        // The pointer waits in the bottom right corner of the primary screen, away from every window.
        ASSERT_TRUE(movePointer(QPointF(1900, 1060)));
    }

    void TearDown() override {
        // A failed test may leave its overlay up: Esc takes it down before the next one.
        if (!panels().empty()) {
            xdotool({"key", "Escape"});
            BACKREEL_EVENTUALLY_TRUE(panels().empty());
        }
    }

    std::vector<QWidget*> panels() const { return visiblePanels(panelName_); }

    // Every screen's panel, mapped and covering its screen.
    std::vector<QWidget*> waitForOverlay() {
        static_cast<void>(QTest::qWaitFor([&] { return panels().size() == screenCount(); }, 5000));
        for (QWidget* panel : panels()) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(panel));
            EXPECT_EQ(panel->geometry(), panel->screen()->geometry());
        }
        EXPECT_EQ(panels().size(), screenCount());
        return panels();
    }

    // The colour of one pixel of the screen (root coordinates), as the X server shows it.
    QColor screenPixel(QPointF point) const {
        const QImage picture = platform.screenPictures->picture(QRect(point.toPoint(), QSize(1, 1)));
        return picture.isNull() ? QColor() : QColor(picture.pixel(0, 0));
    }

    // The whole desktop (every screen, in root pixels) under <build>/screenshots, on a desktop
    // background of one colour so that the pictures show the dim.
    bool saveDesktopScreenshot(const QString& name) const {
        QRect desktop;
        for (const QScreen* screen : QGuiApplication::screens()) {
            desktop |=
                QRect(screen->geometry().topLeft(), screen->geometry().size() * screen->devicePixelRatio());
        }
        const QImage picture = platform.screenPictures->picture(desktop);
        // Runs where Qt scales the screens keep pictures of their own.
        const double scale = QGuiApplication::primaryScreen()->devicePixelRatio();
        const QString suffix = scale == 1.0 ? QString() : QStringLiteral("@%1x").arg(scale);
        const QDir directory(QStringLiteral(BACKREEL_BUILD_DIR "/screenshots"));
        return directory.mkpath(QStringLiteral(".")) && !picture.isNull() &&
               picture.save(directory.filePath(name + suffix + QStringLiteral(".png")));
    }
    static bool paintDesktopBackground() { return runProgram({"xsetroot", "-solid", "#4f7cac"}); }

    Platform platform;
    std::unique_ptr<RecordingManager> manager;

private:
    QString panelName_;
};

} // namespace backreel::test
