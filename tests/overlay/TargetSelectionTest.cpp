#include "overlay/OverlayTargetPicker.h"
#include "overlay/RegionSelectorCoordinator.h"
#include "overlay/WindowPickerCoordinator.h"
#include "support/WidgetTest.h"

namespace backreel::test {

const CaptureError kQueryFailure = CaptureError::failed(QStringLiteral("The user declined capture."));
// As the flows pass it on.
const Error kQueryFailed = Error(kQueryFailure.message);
const Window kEditor{5, QStringLiteral("Editor"), std::nullopt, QRectF(0, 0, 300, 200), 0, true};
const Logger kPickLog = Logger::windowPicker();

// The synthetic platform with the editor's window, whose content query fails when asked to.
static SyntheticRecorder editorDesktop(bool failing) {
    SyntheticRecorder recorder({}, {kEditor});
    recorder.state->changeOptions(
        [&](SyntheticOptions& o) { o.contentError = failing ? std::optional(kQueryFailure) : std::nullopt; });
    return recorder;
}

// A failing query ends the pick before anything shows; the selection queries after its drag, and a
// failing query or one without displays ends it too.
TEST(TargetSelection, WithoutContentOrScreensTheFlowsEndWithTheTargetUnchanged) {
    for (const auto& [selecting, failing] :
         {std::pair{false, true}, std::pair{true, true}, std::pair{true, false}}) {
        SCOPED_TRACE(testing::Message() << "selecting " << selecting << ", failing " << failing);
        const SyntheticRecorder recorder = editorDesktop(failing);
        const std::unique_ptr<RecordingManager> manager = recorder.makeManager();
        manager->setCaptureTarget(CaptureTarget::window(ContentFilter::window(kEditor)));
        manager->setSelectedWindowInfo(
            WindowPickInfo{QStringLiteral("Editor"), QString(), kEditor.frame, 5, true});
        const CaptureTarget before = manager->captureTarget();
        QCoro::Task<MaybeError> flow = selecting ? selectRegionTarget(*manager, recorder.platform)
                                                 : pickWindowTarget(*manager, recorder.platform, kPickLog);
        if (selecting) {
            BACKREEL_EVENTUALLY_EQ(overlayViews(kSelector).size(), 1u);
            EXPECT_EQ(std::ranges::count(recorder.state->journal(), "getShareableContent"), 0);
            QWidget* view = overlayViews(kSelector).front();
            QTest::mousePress(view, Qt::LeftButton, {}, QPoint(100, 100));
            QTest::mouseMove(view, QPoint(300, 200));
            QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(300, 200));
        }
        BACKREEL_EVENTUALLY_TRUE(flow.isReady());
        EXPECT_EQ(QCoro::waitFor(flow), failing ? MaybeError(kQueryFailed) : MaybeError());
        EXPECT_TRUE(visiblePanels(kSelector).empty() && visiblePanels(kPicker).empty());
        EXPECT_EQ(manager->captureTarget(), before);
        EXPECT_TRUE(manager->selectedWindowInfo());
    }

    const std::function<QList<QScreen*>()> noScreens = [] {
        return QList<QScreen*>();
    };
    const auto picker = WindowPickerCoordinator::create(nullptr, nullptr, noScreens);
    QCoro::Task<std::optional<Window>> pick = picker->pickWindow({kEditor});
    const auto selector = RegionSelectorCoordinator::create(nullptr, noScreens);
    QCoro::Task<std::optional<RegionSelection>> selection = selector->selectRegion();
    ASSERT_TRUE(pick.isReady() && selection.isReady());
    EXPECT_FALSE(QCoro::waitFor(pick) || QCoro::waitFor(selection));
}

TEST(TargetSelection, APickEndsQuietlyWithoutItsPickerAndShowsAFailureInTheStatusLine) {
    for (const bool failing : {true, false}) {
        const SyntheticRecorder recorder = editorDesktop(failing);
        std::unique_ptr<RecordingManager> manager = recorder.makeManager();
        auto picker = std::make_unique<OverlayTargetPicker>(*manager, recorder.platform, kPickLog);
        QCoro::Task<> pick = picker->pickWindowTarget();
        picker.reset();
        manager.reset();
        // An answer that came at once may have put the overlay up already: the user leaves it.
        closeOverlays();
        BACKREEL_EVENTUALLY_TRUE(pick.isReady());
        EXPECT_TRUE(visiblePanels(kPicker).empty());
    }

    const SyntheticRecorder recorder = editorDesktop(true);
    const std::unique_ptr<RecordingManager> manager = recorder.makeManager();
    OverlayTargetPicker picker(*manager, recorder.platform, kPickLog);
    QCoro::waitFor(picker.pickWindowTarget());
    EXPECT_EQ(manager->status(), RecordingStatus::error(kQueryFailed.description));
    manager->setStatus(RecordingStatus::buffering());
    QCoro::waitFor(picker.pickWindowTarget());
    EXPECT_EQ(manager->status(), RecordingStatus::buffering());
}

} // namespace backreel::test
