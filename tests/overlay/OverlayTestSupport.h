#pragma once

#include "overlay/TargetSelection.h"
#include "platform/ScreenPictureService.h"
#include "platform/x11/XcbTestWindow.h"
#include "support/Await.h"
#include "support/WidgetTest.h"

#include <cmath>

namespace backreel::test {

// Input in root window pixels; the events are made when xdotool exits, and the sync handles them.
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

inline const QColor kBackground(0x4f, 0x7c, 0xac);

inline QPointF spot(const QRectF& frame, double x, double y) {
    return frame.topLeft() + QPointF(frame.width() * x, frame.height() * y);
}

// The window of this title once the manager lists it on screen.
inline std::optional<Window> listedWindow(RecordingManager& manager, const QString& title) {
    std::optional<Window> found;
    static_cast<void>(QTest::qWaitFor(
        [&] {
            const Expected<ShareableContent, CaptureError> content = await(manager.shareableContent());
            for (const Window& window : content ? content.value().windows : std::vector<Window>{}) {
                if (window.title == title && window.isOnScreen) {
                    found = window;
                }
            }
            return found.has_value();
        },
        5000));
    return found;
}

// The overlays on the virtual desktop's two monitors with the real platform, input and pixels; the
// overlay's panels have this name (kSelector, kPicker).
template <const QString& kPanel> class OverlayDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        BACKREEL_REQUIRE_DISPLAY();
        if (screenCount() < 2) {
            GTEST_SKIP() << "needs two monitors: run under scripts/virtual-desktop --dual --wm";
        }
        ASSERT_TRUE(movePointer(QPointF(1900, 1060)));
    }
    void TearDown() override {
        closeOverlays(); // a failed test may leave its overlay up
    }

    std::vector<QWidget*> panels() const { return visiblePanels(kPanel); }

    // Every screen's panel, mapped and covering its screen.
    void waitForOverlay() {
        BACKREEL_EVENTUALLY_EQ(panels().size(), screenCount());
        for (QWidget* panel : panels()) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(panel) &&
                        panel->geometry() == panel->screen()->geometry());
        }
    }

    QColor screenPixel(QPointF point) const {
        const QImage picture = platform.screenPictures->picture(QRect(point.toPoint(), QSize(1, 1)));
        return picture.isNull() ? QColor() : QColor(picture.pixel(0, 0));
    }

    static bool paintDesktopBackground() {
        return runProgram({"xsetroot", "-solid", kBackground.name().toStdString()});
    }

    Platform platform = loadPlatform();
    std::unique_ptr<RecordingManager> manager =
        std::make_unique<RecordingManager>(platform, nullptr, std::make_shared<RecorderSettings>());
};

} // namespace backreel::test
