#include "capture/RecordingManager.h"
#include "platform/Settings.h"
#include "support/synthetic/SyntheticPlatform.h"
#include "support/SaveFlowStandIn.h"
#include "support/WidgetTest.h"
#include "ui/CaptureTargetSection.h"
#include "ui/ContentView.h"
#include "ui/RecordingStatusView.h"
#include "ui/TargetPicker.h"
#include "ui/ViewTransition.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QImage>
#include <QTest>

using namespace backreel;

// Renders the main window and its status line in each status to PNG files under
// <build>/screenshots, for people to look at; the checks only make sure the pictures were made.
namespace {

class NoPicker final : public TargetPicker {
public:
    QCoro::Task<> pickWindowTarget() override { co_return; }
    QCoro::Task<> selectRegionTarget() override { co_return; }
};

struct Scene {
    const char* name;
    RecordingStatus status;
};

class ScreenshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        BACKREEL_REQUIRE_DISPLAY();
        Settings::setBoolValue(Settings::kAlwaysOnTopKey, false);
        Settings::setBoolValue(Settings::kMuteNotificationsKey, false);
        setViewTransitionsEnabled(false);
        directory = QDir(QStringLiteral(BACKREEL_BUILD_DIR "/screenshots"));
        ASSERT_TRUE(directory.mkpath(QStringLiteral(".")));
        SyntheticOptions options;
        options.content.displays = {
            backreel::Display{1, 1920, 1080, QRectF(0, 0, 1920, 1080), QStringLiteral("VIRT-1")},
            backreel::Display{2, 1920, 1080, QRectF(1920, 0, 1920, 1080), QStringLiteral("VIRT-2")}};
        options.mainDisplayID = 1;
        state = std::make_shared<SyntheticState>(options);
        manager = std::make_unique<RecordingManager>(makeSyntheticPlatform(state),
                                                     std::make_shared<test::SaveFlowStandIn>(state));
    }
    void TearDown() override {
        setViewTransitionsEnabled(true);
        manager.reset();
    }

    void save(QWidget& widget, const QString& name) {
        const QString path = directory.filePath(name + QStringLiteral(".png"));
        const QImage picture = widget.grab().toImage();
        ASSERT_FALSE(picture.isNull());
        ASSERT_TRUE(picture.save(path)) << path.toStdString();
        EXPECT_GT(QFileInfo(path).size(), 0);
    }

    static std::vector<Scene> scenes() {
        return {
            {"idle", RecordingStatus::idle()},
            {"buffering", RecordingStatus::buffering()},
            {"saving", RecordingStatus::saving()},
            {"saved", RecordingStatus::saved(QUrl::fromLocalFile(
                          QStringLiteral("/home/me/Videos/loopvane-2024-05-01-101500.mp4")))},
            {"error", RecordingStatus::error(RecordingManager::kPermissionMessage)},
        };
    }

    QDir directory;
    std::shared_ptr<SyntheticState> state;
    std::unique_ptr<RecordingManager> manager;
    NoPicker picker;
};

} // namespace

TEST_F(ScreenshotTest, MainWindowInEachStatus) {
    ContentView view(*manager, picker, std::make_unique<test::ManualTimer>());
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    BACKREEL_EVENTUALLY_EQ(manager->availableDisplays().size(), 2u);
    for (const Scene& scene : scenes()) {
        manager->setStatus(scene.status);
        QTest::qWait(30);
        save(view, QStringLiteral("main-window-%1").arg(QLatin1String(scene.name)));
        EXPECT_EQ(view.width(), ContentView::kWidth);
    }
}

TEST_F(ScreenshotTest, StatusLineInEachStatus) {
    RecordingStatusView line(*manager, std::make_unique<test::ManualTimer>());
    line.setFixedWidth(RecordingStatusView::kDefaultWidth);
    line.setAutoFillBackground(true);
    line.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&line));
    for (const Scene& scene : scenes()) {
        manager->setStatus(scene.status);
        line.adjustSize();
        QTest::qWait(30);
        save(line, QStringLiteral("status-%1").arg(QLatin1String(scene.name)));
    }
}

TEST_F(ScreenshotTest, MainWindowWithAPickedWindowAndARegion) {
    ContentView view(*manager, picker, std::make_unique<test::ManualTimer>());
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    BACKREEL_EVENTUALLY_EQ(manager->availableDisplays().size(), 2u);

    const backreel::Window window{42,
                                  QStringLiteral("Notes"),
                                  RunningApplication{QStringLiteral("Notes"), QString(), 77},
                                  QRectF(10, 10, 300, 200),
                                  0,
                                  true};
    manager->setCaptureTarget(CaptureTarget::window(ContentFilter::desktopIndependentWindow(window)));
    manager->setSelectedWindowInfo(
        WindowPickInfo{QStringLiteral("Notes"), QStringLiteral("Notes"), QRectF(10, 10, 300, 200), 42, true});
    view.captureSection()->chooseCaptureMode(CaptureModeSelection::window);
    QTest::qWait(30);
    save(view, QStringLiteral("main-window-window-target"));

    manager->setCaptureTarget(
        CaptureTarget::region(QRectF(100, 100, 1280.9, 720.2), manager->availableDisplays()[0]));
    view.captureSection()->chooseCaptureMode(CaptureModeSelection::region);
    QTest::qWait(30);
    save(view, QStringLiteral("main-window-region-target"));
}
