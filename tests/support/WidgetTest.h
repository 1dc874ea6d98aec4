#pragma once

// What the widget tests share: the synthetic recorder, the widgets they look at, a hand-driven timer.

#include "support/SyntheticRecorder.h"
#include "ui/OneShotTimer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <utility>

namespace backreel::test {

inline std::size_t screenCount() {
    return static_cast<std::size_t>(QGuiApplication::screens().size());
}

// The visible top-level widgets with this object name (the overlays' panels), in screen order.
inline std::vector<QWidget*> visiblePanels(const QString& name) {
    std::vector<QWidget*> panels;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == name && widget->isVisible()) {
            panels.push_back(widget);
        }
    }
    std::ranges::sort(
        panels, {}, [](const QWidget* panel) { return QGuiApplication::screens().indexOf(panel->screen()); });
    return panels;
}

inline const QString kSelector = QStringLiteral("perScreenSelectorPanel");
inline const QString kPicker = QStringLiteral("windowPickerPanel");

// The views of an overlay's visible panels (kSelector, kPicker), in screen order.
inline std::vector<QWidget*> overlayViews(const QString& panelName) {
    std::vector<QWidget*> views;
    for (QWidget* panel : visiblePanels(panelName)) {
        views.push_back(panel->findChild<QWidget*>(panelName == kPicker
                                                       ? QStringLiteral("windowPickerView")
                                                       : QStringLiteral("regionSelectorView")));
    }
    return views;
}

// Esc on every overlay still up: a test that failed may leave one.
inline void closeOverlays() {
    for (const QString& name : {kSelector, kPicker}) {
        for (QWidget* view : overlayViews(name)) {
            QTest::keyClick(view, Qt::Key_Escape);
        }
    }
}

// A menu as the user sees it: one line per visible item, "-" for a separator.
inline QStringList menuLines(const QMenu& menu) {
    QStringList lines;
    for (const QAction* action : menu.actions()) {
        if (action->isVisible()) {
            lines << (action->isSeparator()
                          ? QStringLiteral("-")
                          : QString(action->text()).replace(QStringLiteral("&&"), QStringLiteral("&")));
        }
    }
    return lines;
}

// A timer whose clock moves only when the test says so.
class ManualTimer final : public OneShotTimer {
public:
    void start(std::chrono::milliseconds delay, std::function<void()> fired) override {
        remaining_ = delay;
        fired_ = std::move(fired);
    }
    void cancel() override { fired_ = nullptr; }
    bool isActive() const override { return static_cast<bool>(fired_); }
    void advance(std::chrono::milliseconds step) {
        remaining_ -= step;
        if (fired_ && remaining_ <= std::chrono::milliseconds(0)) {
            std::exchange(fired_, nullptr)();
        }
    }
    std::chrono::milliseconds remaining() const { return fired_ ? remaining_ : std::chrono::milliseconds(0); }

private:
    std::chrono::milliseconds remaining_{0};
    std::function<void()> fired_;
};

} // namespace backreel::test

// Skips a test that needs real windows: widget tests run off screen without a DISPLAY.
#define BACKREEL_REQUIRE_DISPLAY()                                                                           \
    do {                                                                                                     \
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {                                       \
            GTEST_SKIP() << "needs an X server: run under scripts/virtual-desktop";                          \
        }                                                                                                    \
    } while (false)

// Runs the event loop until the condition holds, for at most five seconds, then asserts it.
#define BACKREEL_EVENTUALLY_TRUE(condition)                                                                  \
    do {                                                                                                     \
        static_cast<void>(QTest::qWaitFor([&] { return static_cast<bool>(condition); }, 5000));              \
        ASSERT_TRUE(condition);                                                                              \
    } while (false)
#define BACKREEL_EVENTUALLY_EQ(actual, expected)                                                             \
    do {                                                                                                     \
        static_cast<void>(QTest::qWaitFor([&] { return (actual) == (expected); }, 5000));                    \
        ASSERT_EQ(actual, expected);                                                                         \
    } while (false)
