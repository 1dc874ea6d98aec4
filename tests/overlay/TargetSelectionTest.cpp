// The two flows with the synthetic platform, off screen: what a failing query does, and which
// display a selection lands on.

#include "overlay/OverlayTargetPicker.h"
#include "overlay/RegionSelectorCoordinator.h"
#include "overlay/RegionSelectorView.h"
#include "overlay/WindowPickerCoordinator.h"
#include "OverlayTestSupport.h"
#include "support/synthetic/SyntheticPlatform.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>
#include <QKeyEvent>

namespace backreel::test {
namespace {

const Error kQueryFailed = Error::backreel(-3801, QStringLiteral("The user declined capture."));

class TargetSelectionTest : public ::testing::Test {
protected:
    void start(SyntheticOptions options) {
        state = std::make_shared<SyntheticState>(std::move(options));
        manager = std::make_unique<RecordingManager>(makeSyntheticPlatform(state), nullptr);
    }

    static RegionSelectorView* activeView() {
        for (QWidget* panel : visiblePanels(QStringLiteral("perScreenSelectorPanel"))) {
            auto* view = panel->findChild<RegionSelectorView*>();
            if (view != nullptr && view->isActive()) {
                return view;
            }
        }
        return nullptr;
    }

    static Display display(std::uint32_t id, const QString& name) {
        return Display{id, 1920, 1080, QRectF(0, 0, 1920, 1080), name};
    }

    std::shared_ptr<SyntheticState> state;
    std::unique_ptr<RecordingManager> manager;
};

TEST_F(TargetSelectionTest, AFailingQueryEndsThePickBeforeAnythingIsShown) {
    SyntheticOptions options;
    options.contentError = kQueryFailed;
    options.content.windows = {
        Window{5, QStringLiteral("Editor"), std::nullopt, QRectF(0, 0, 300, 200), 0, true}};
    start(options);
    const WindowPickInfo earlier{QStringLiteral("Old"), QStringLiteral("old"), QRectF(1, 2, 3, 4), 9, true};
    manager->setCaptureTarget(CaptureTarget::window(ContentFilter::desktopIndependentWindow(
        Window{9, QStringLiteral("Old"), std::nullopt, QRectF(1, 2, 3, 4), 0, true})));
    manager->setSelectedWindowInfo(earlier);
    const CaptureTarget before = manager->captureTarget();

    LogCapture log;
    RunningFlow flow(*manager, RunningFlow::Kind::pickWindow);
    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
    EXPECT_EQ(flow.result(), kQueryFailed);
    EXPECT_TRUE(visiblePanels(QStringLiteral("windowPickerPanel")).empty());
    EXPECT_EQ(manager->captureTarget(), before);
    EXPECT_EQ(manager->selectedWindowInfo(), earlier);
    EXPECT_TRUE(log.texts().empty());
}

TEST_F(TargetSelectionTest, TheMainWindowsPickerShowsAFailedQueryInTheStatusLine) {
    SyntheticOptions options;
    options.contentError = kQueryFailed;
    start(options);
    OverlayTargetPicker picker(*manager);
    QCoro::waitFor(picker.pickWindowTarget());
    EXPECT_EQ(manager->status(), RecordingStatus::error(kQueryFailed.description));

    // While a recording buffers, the status line is the recording's.
    manager->setStatus(RecordingStatus::buffering());
    QCoro::waitFor(picker.pickWindowTarget());
    EXPECT_EQ(manager->status(), RecordingStatus::buffering());
}

TEST_F(TargetSelectionTest, EscEndsThePickWithNothingChangedButTheListLogged) {
    SyntheticOptions options;
    options.content.windows = {
        Window{5, QStringLiteral("Editor"), std::nullopt, QRectF(0, 0, 300, 200), 0, true},
        Window{6, std::nullopt, std::nullopt, QRectF(0, 0, 1, 1), 0, true}};
    start(options);
    const CaptureTarget before = manager->captureTarget();

    LogCapture log;
    RunningFlow flow(*manager, RunningFlow::Kind::pickWindow);
    BACKREEL_EVENTUALLY_EQ(visiblePanels(QStringLiteral("windowPickerPanel")).size(), screenCount());
    QWidget* view = visiblePanels(QStringLiteral("windowPickerPanel"))
                        .back()
                        ->findChild<QWidget*>(QStringLiteral("windowPickerView"));
    ASSERT_NE(view, nullptr);
    // Other keys do nothing.
    QTest::keyClick(view, Qt::Key_Return);
    QTest::qWait(50);
    EXPECT_FALSE(flow.isDone());
    QTest::keyClick(view, Qt::Key_Escape);
    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
    EXPECT_FALSE(flow.result());
    EXPECT_TRUE(visiblePanels(QStringLiteral("windowPickerPanel")).empty());
    EXPECT_EQ(manager->captureTarget(), before);
    EXPECT_FALSE(manager->selectedWindowInfo());
    EXPECT_EQ(log.count(QStringLiteral("=== Window picker: 2 candidate windows ===")), 1);
    EXPECT_EQ(log.countStartingWith(QStringLiteral("Picked:")), 0);
}

TEST_F(TargetSelectionTest, AFailingQueryEndsTheSelectionAfterTheOverlayClosed) {
    SyntheticOptions options;
    options.contentError = kQueryFailed;
    start(options);
    const CaptureTarget before = manager->captureTarget();

    RunningFlow flow(*manager, RunningFlow::Kind::selectRegion);
    BACKREEL_EVENTUALLY_TRUE(activeView() != nullptr);
    // The overlay comes first: nothing has been asked yet.
    const std::vector<std::string> journal = state->journal();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "getShareableContent"), 0);
    sendDrag(activeView(), QPointF(100, 100), QPointF(300, 200));
    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
    EXPECT_EQ(flow.result(), kQueryFailed);
    EXPECT_TRUE(visiblePanels(QStringLiteral("perScreenSelectorPanel")).empty());
    EXPECT_EQ(manager->captureTarget(), before);
}

// Off screen the screen has no name: then the first display is taken.
TEST_F(TargetSelectionTest, ASelectionLandsOnTheDisplayOfItsScreenElseTheFirstOne) {
    const QString screenName = QGuiApplication::primaryScreen()->name();
    SyntheticOptions options;
    options.content.displays = {display(1, QStringLiteral("elsewhere")), display(2, screenName)};
    start(options);
    const WindowPickInfo picked{QStringLiteral("Old"), QStringLiteral("old"), QRectF(1, 2, 3, 4), 9, true};
    manager->setSelectedWindowInfo(picked);

    RunningFlow flow(*manager, RunningFlow::Kind::selectRegion);
    BACKREEL_EVENTUALLY_TRUE(activeView() != nullptr);
    // Beyond the screen's left edge: nothing is clipped.
    sendDrag(activeView(), QPointF(300, 250), QPointF(-20, 50.5));
    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
    EXPECT_FALSE(flow.result());
    const double scale = QGuiApplication::primaryScreen()->devicePixelRatio();
    ASSERT_NE(manager->captureTarget().asRegion(), nullptr);
    EXPECT_EQ(manager->captureTarget().asRegion()->rect,
              QRectF(-20 * scale, 50.5 * scale, 320 * scale, 199.5 * scale));
    EXPECT_EQ(manager->captureTarget().asRegion()->display,
              screenName.isEmpty() ? display(1, QStringLiteral("elsewhere")) : display(2, screenName));
    EXPECT_FALSE(manager->selectedWindowInfo()); // a region target has no picked window
}

TEST_F(TargetSelectionTest, ASelectionWithoutDisplaysChangesNothing) {
    start(SyntheticOptions{});
    const CaptureTarget before = manager->captureTarget();
    RunningFlow flow(*manager, RunningFlow::Kind::selectRegion);
    BACKREEL_EVENTUALLY_TRUE(activeView() != nullptr);
    sendDrag(activeView(), QPointF(100, 100), QPointF(300, 200));
    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
    EXPECT_FALSE(flow.result());
    EXPECT_EQ(manager->captureTarget(), before);
}

TEST_F(TargetSelectionTest, WithoutScreensBothOverlaysEndAtOnceWithNothing) {
    start(SyntheticOptions{});
    const auto noScreens = [] {
        return QList<QScreen*>();
    };
    const Platform& platform = manager->platform();

    const auto picker =
        WindowPickerCoordinator::create(platform.windowServer, platform.screenPictures, noScreens);
    QCoro::Task<std::optional<Window>> pick = picker->pickWindow(
        {Window{5, QStringLiteral("Editor"), std::nullopt, QRectF(0, 0, 300, 200), 0, true}});
    ASSERT_TRUE(pick.isReady());
    EXPECT_FALSE(QCoro::waitFor(pick));
    EXPECT_TRUE(picker->panels().empty());

    const auto selector = RegionSelectorCoordinator::create(platform.screenPictures, noScreens);
    QCoro::Task<std::optional<RegionSelection>> selection = selector->selectRegion();
    ASSERT_TRUE(selection.isReady());
    EXPECT_FALSE(QCoro::waitFor(selection));
    EXPECT_TRUE(selector->panels().empty());
}

} // namespace
} // namespace backreel::test
