// The two flows with the synthetic platform, off screen: what a failing query, or a desktop
// without displays or screens, does to them.

#include "overlay/OverlayTargetPicker.h"
#include "overlay/RegionSelectorCoordinator.h"
#include "overlay/RegionSelectorView.h"
#include "overlay/WindowPickerCoordinator.h"
#include "OverlayTestSupport.h"

namespace backreel::test {
namespace {

const Error kQueryFailed = Error::backreel(-3801, QStringLiteral("The user declined capture."));
const Window kEditor{5, QStringLiteral("Editor"), std::nullopt, QRectF(0, 0, 300, 200), 0, true};

class TargetSelectionTest : public ::testing::Test {
protected:
    void start(SyntheticOptions options) {
        state = std::make_shared<SyntheticState>(std::move(options));
        manager = std::make_unique<RecordingManager>(makeSyntheticPlatform(state), nullptr);
        // A target and a picked window from before, which only a successful pick replaces.
        manager->setCaptureTarget(CaptureTarget::window(ContentFilter::desktopIndependentWindow(kEditor)));
        manager->setSelectedWindowInfo(
            WindowPickInfo{QStringLiteral("Editor"), QString(), kEditor.frame, 5, true});
        before = manager->captureTarget();
    }

    static RegionSelectorView* activeView() {
        for (QWidget* panel : visiblePanels(QStringLiteral("perScreenSelectorPanel"))) {
            if (auto* view = panel->findChild<RegionSelectorView*>(); view != nullptr && view->isActive()) {
                return view;
            }
        }
        return nullptr;
    }

    std::shared_ptr<SyntheticState> state;
    std::unique_ptr<RecordingManager> manager;
    CaptureTarget before = CaptureTarget::display();
};

TEST_F(TargetSelectionTest, AFailingQueryEndsThePickBeforeAnythingIsShownAndShowsInTheStatusLine) {
    SyntheticOptions options;
    options.contentError = kQueryFailed;
    options.content.windows = {kEditor};
    start(options);
    RunningFlow flow(*manager, RunningFlow::Kind::pickWindow);
    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
    EXPECT_EQ(flow.result(), kQueryFailed);
    EXPECT_TRUE(visiblePanels(QStringLiteral("windowPickerPanel")).empty());
    EXPECT_EQ(manager->captureTarget(), before);
    EXPECT_TRUE(manager->selectedWindowInfo());

    // The main window's picker shows the failure, unless a recording's status is on show.
    OverlayTargetPicker picker(*manager);
    QCoro::waitFor(picker.pickWindowTarget());
    EXPECT_EQ(manager->status(), RecordingStatus::error(kQueryFailed.description));
    manager->setStatus(RecordingStatus::buffering());
    QCoro::waitFor(picker.pickWindowTarget());
    EXPECT_EQ(manager->status(), RecordingStatus::buffering());
}

// The overlay comes first, the query after the drag: a failing one, or one without displays,
// ends the selection with the target unchanged.
TEST_F(TargetSelectionTest, ASelectionWithoutDisplaysChangesNothing) {
    for (const bool failing : {true, false}) {
        SyntheticOptions options;
        options.contentError = failing ? std::optional(kQueryFailed) : std::nullopt;
        start(options);
        RunningFlow flow(*manager, RunningFlow::Kind::selectRegion);
        BACKREEL_EVENTUALLY_TRUE(activeView() != nullptr);
        const std::vector<std::string> journal = state->journal();
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "getShareableContent"), 0);
        sendDrag(activeView(), QPointF(100, 100), QPointF(300, 200));
        BACKREEL_EVENTUALLY_TRUE(flow.isDone());
        EXPECT_TRUE(visiblePanels(QStringLiteral("perScreenSelectorPanel")).empty());
        EXPECT_EQ(flow.result(), failing ? MaybeError(kQueryFailed) : MaybeError());
        EXPECT_EQ(manager->captureTarget(), before);
    }
}

TEST_F(TargetSelectionTest, WithoutScreensBothOverlaysEndAtOnceWithNothing) {
    start(SyntheticOptions{});
    const auto noScreens = [] {
        return QList<QScreen*>();
    };
    const Platform& platform = manager->platform();
    const auto picker =
        WindowPickerCoordinator::create(platform.windowServer, platform.screenPictures, noScreens);
    QCoro::Task<std::optional<Window>> pick = picker->pickWindow({kEditor});
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
