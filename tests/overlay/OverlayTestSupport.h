#pragma once

// The overlays on the virtual desktop's X server: real pointer and key events through xdotool,
// windows of another process, and the screen's pixels.

#include "capture/RecordingManager.h"
#include "overlay/TargetSelection.h"
#include "platform/Platform.h"
#include "platform/ScreenPictureService.h"
#include "platform/ShareableContent.h"
#include "support/ChildProcess.h"
#include "support/WidgetTest.h"

#include <cmath>
#include <optional>
#include <QDir>
#include <string>
#include <vector>

namespace backreel::test {

// Input in the X root window's coordinates (device pixels). The X server has made the events by
// the time xdotool exits; the sync fetches and handles them.
inline bool xdotool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "xdotool");
    const bool ok = runProgram(arguments);
    QGuiApplication::sync();
    return ok;
}
inline bool movePointer(QPointF to) {
    return xdotool({"mousemove", std::to_string(std::lround(to.x())), std::to_string(std::lround(to.y()))});
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

inline QPointF spot(const QRectF& frame, double x, double y) {
    return frame.topLeft() + QPointF(frame.width() * x, frame.height() * y);
}

// A window of another process (tests/platform/x11/PatternWindowHelper.cpp): red, green, blue and
// white quadrants from the top left; or a yellow panel ("dock"); or one kept "above" the others.
class PatternWindow {
public:
    PatternWindow(QRect frame, const std::string& title, const char* kind = "")
        : title_(QString::fromStdString(title)) {
        process_.start({BACKREEL_PATTERN_WINDOW_HELPER, std::to_string(frame.x()), std::to_string(frame.y()),
                        std::to_string(frame.width()), std::to_string(frame.height()), title, kind});
    }

    // The window as the shareable content lists it, once it is on screen.
    std::optional<Window> listed(RecordingManager& manager) const {
        std::optional<Window> found;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                for (const Window& window : shareableContentNow(manager).windows) {
                    if (window.title == title_ && window.isOnScreen) {
                        found = window;
                    }
                }
                return found.has_value();
            },
            5000));
        return found;
    }

private:
    QString title_;
    ChildProcess process_;
};

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

    // One pixel of the screen (root coordinates), as the X server shows it.
    QColor screenPixel(QPointF point) const {
        const QImage picture = platform.screenPictures->picture(QRect(point.toPoint(), QSize(1, 1)));
        return picture.isNull() ? QColor() : QColor(picture.pixel(0, 0));
    }

    // The whole desktop under <build>/screenshots, on a background of one colour that shows the dim.
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

    Platform platform = loadPlatform();
    std::unique_ptr<RecordingManager> manager = std::make_unique<RecordingManager>(platform, nullptr);

private:
    QString panelName_;
};

} // namespace backreel::test
